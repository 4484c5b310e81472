#include "windows/FileChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct Seam
{
    bool recording = false;
    QList<QString> answers;
    QList<FileChooser::Request> requests;
};

Seam& seam()
{
    static Seam s;
    return s;
}

QString answer(const FileChooser::Request& request)
{
    seam().requests.append(request);
    return seam().answers.isEmpty() ? QString() : seam().answers.takeFirst();
}

/// Qt's own dialog, which speaks the program's language through its translations whatever the desktop offers.
QFileDialog::Options dialogOptions()
{
    return QFileDialog::DontUseNativeDialog;
}

} // namespace

QString FileChooser::openFile(const QString& caption, const QString& filter)
{
    if (seam().recording)
        return answer(Request{false, caption, QString(), filter});
    return QFileDialog::getOpenFileName(nullptr, caption, QString(), filter, nullptr, dialogOptions());
}

QString FileChooser::saveFile(const QString& caption, const QString& suggested, const QString& filter)
{
    QString path = seam().recording
        ? answer(Request{true, caption, suggested, filter})
        : QFileDialog::getSaveFileName(nullptr, caption, suggested, filter, nullptr, dialogOptions());
    // The suffix of the filter's first pattern: "CSV文件 (*.csv)" gives ".csv".
    static const QRegularExpression pattern(u"\\*(\\.\\w+)"_s);
    const QRegularExpressionMatch suffix = pattern.match(filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && suffix.hasMatch())
        path += suffix.captured(1);
    return path;
}

void FileChooser::startRecording()
{
    seam() = Seam{true, {}, {}};
}

void FileChooser::stopRecording()
{
    seam() = Seam{};
}

void FileChooser::setNextAnswer(const QString& path)
{
    seam().answers.append(path);
}

QList<FileChooser::Request> FileChooser::requests()
{
    return seam().requests;
}

} // namespace ovelta
