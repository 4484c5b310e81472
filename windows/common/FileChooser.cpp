#include "windows/common/FileChooser.h"

#include "store/ledger/LedgerTransfer.h"
#include "ui/base/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct Seam
{
    bool recording = false;
    QList<FileChooser::Answer> answers;
    QList<FileChooser::Request> requests;
};

Seam& seam()
{
    static Seam s;
    return s;
}

FileChooser::Answer answer(const FileChooser::Request& request)
{
    seam().requests.append(request);
    return seam().answers.isEmpty() ? FileChooser::Answer() : seam().answers.takeFirst();
}

/// Qt's own dialog, which speaks the program's language through its translations whatever the desktop offers.
/// The program asks before replacing a file itself, about the file it finally writes.
QFileDialog::Options dialogOptions()
{
    return QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite;
}

/// Asks before the file at path is replaced; true when nothing is there or the user agrees.
bool mayReplace(const QString& path, const QString& caption)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) != 0)
        return true;
    const QString shown = QDir::toNativeSeparators(path);
    QString question;
    if (S_ISLNK(info.st_mode)) {
        const QByteArray target = LedgerTransfer::replacedFile(path);
        question = target == native
            ? u"“%1”是一个符号链接，它指向的文件不存在。\n要用新文件替换这个链接吗？"_s.arg(shown)
            : u"“%1”是一个符号链接，指向“%2”。\n要替换它指向的这个文件吗？"_s.arg(
                shown, QDir::toNativeSeparators(QFile::decodeName(target)));
    } else {
        question = u"“%1”已经存在。\n要替换它吗？"_s.arg(shown);
    }
    return MessageBox::show(question, caption, MessageBox::YesNo, MessageBox::Question, 1) == MessageBox::Yes;
}

} // namespace

QString FileChooser::startFolder()
{
    // The ledger's folder is the current one; a name that is no UTF-8 cannot be shown or chosen in the dialog,
    // which then starts in the home folder instead of a folder that does not exist.
    char native[PATH_MAX];
    const QString current = QDir::currentPath();
    if (::getcwd(native, sizeof native) && QFile::encodeName(current) == QByteArray(native))
        return current;
    return QDir::homePath();
}

QString FileChooser::openFile(const QString& caption, const QString& filter)
{
    if (seam().recording)
        return answer(Request{false, caption, QString(), filter, startFolder()}).path;
    return QFileDialog::getOpenFileName(nullptr, caption, startFolder(), filter, nullptr, dialogOptions());
}

QString FileChooser::saveFile(const QString& caption, const QString& suggested, const QString& filter)
{
    QString path, chosen;
    if (seam().recording) {
        const Answer given = answer(Request{true, caption, suggested, filter, startFolder()});
        path = given.path;
        chosen = given.filter;
    } else {
        path = QFileDialog::getSaveFileName(nullptr, caption, QDir(startFolder()).filePath(suggested), filter, &chosen,
                                            dialogOptions());
    }
    // The suffix of the chosen filter's first pattern: "CSV文件 (*.csv)" gives ".csv".
    static const QRegularExpression pattern(u"\\*(\\.\\w+)"_s);
    const QRegularExpressionMatch suffix = pattern.match(chosen.isEmpty() ? filter : chosen);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && suffix.hasMatch())
        path += suffix.captured(1);
    if (!path.isEmpty() && !mayReplace(path, caption))
        return QString();
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

void FileChooser::setNextAnswer(const QString& path, const QString& chosenFilter)
{
    seam().answers.append(Answer{path, chosenFilter});
}

QList<FileChooser::Request> FileChooser::requests()
{
    return seam().requests;
}

} // namespace ovelta
