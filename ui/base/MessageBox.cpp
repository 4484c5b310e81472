#include "ui/base/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct Seam
{
    bool recording = false;
    QQueue<MessageBox::Answer> answers;
    QList<MessageBox::Record> shown;
};

Seam& seam()
{
    static Seam s;
    return s;
}

QMessageBox::Icon qtIcon(MessageBox::Icon icon)
{
    switch (icon) {
    case MessageBox::Information:
        return QMessageBox::Information;
    case MessageBox::Warning:
        return QMessageBox::Warning;
    case MessageBox::Stop:
        return QMessageBox::Critical;
    case MessageBox::Question:
        return QMessageBox::Question;
    case MessageBox::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonFace
{
    QMessageBox::ButtonRole role;
    QString caption;
};

ButtonFace faceOf(MessageBox::Answer answer)
{
    switch (answer) {
    case MessageBox::Ok:
        return {QMessageBox::AcceptRole, u"确定"_s};
    case MessageBox::Cancel:
        return {QMessageBox::RejectRole, u"取消"_s};
    case MessageBox::Abort:
        return {QMessageBox::RejectRole, u"中止(&A)"_s};
    case MessageBox::Retry:
        return {QMessageBox::AcceptRole, u"重试(&R)"_s};
    case MessageBox::Ignore:
        return {QMessageBox::AcceptRole, u"忽略(&I)"_s};
    case MessageBox::Yes:
        return {QMessageBox::YesRole, u"是(&Y)"_s};
    case MessageBox::No:
        return {QMessageBox::NoRole, u"否(&N)"_s};
    }
    return {QMessageBox::AcceptRole, u"确定"_s};
}

/// A box whose buttons hold no cancelling answer (Yes and No) has no escape answer either: Esc and the window
/// manager's close box do nothing there, so a reflex cannot answer the question. QMessageBox would take No for it.
class Box : public QMessageBox
{
public:
    Box(Icon icon, const QString& title, const QString& text, bool escapable)
        : QMessageBox(icon, title, text)
        , m_escapable(escapable)
    {
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!m_escapable && event->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (!m_escapable) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool m_escapable;
};

} // namespace

QString MessageBox::defaultTitle()
{
    return u"信息："_s;
}

QList<MessageBox::Answer> MessageBox::buttonsOf(Buttons buttons)
{
    switch (buttons) {
    case OkOnly:
        return {Ok};
    case OkCancel:
        return {Ok, Cancel};
    case YesNo:
        return {Yes, No};
    case YesNoCancel:
        return {Yes, No, Cancel};
    case RetryCancel:
        return {Retry, Cancel};
    }
    return {Ok};
}

MessageBox::Answer MessageBox::show(const QString& text, const QString& title, Buttons buttons, Icon icon,
                                    int defaultIndex)
{
    const QList<Answer> answers = buttonsOf(buttons);
    const Answer defaultAnswer = answers.value(defaultIndex, answers.first());
    Record record{text, title.isEmpty() ? defaultTitle() : title, buttons, icon, defaultAnswer, defaultAnswer};

    Seam& s = seam();
    if (s.recording) {
        if (!s.answers.isEmpty())
            record.answer = s.answers.dequeue();
        s.shown.append(record);
        return record.answer;
    }

    // The escape answer is the box's cancelling button; a box without one answers its single button.
    Box box(qtIcon(icon), record.title, text, answers.contains(Cancel) || answers.size() == 1);
    box.setWindowModality(Qt::ApplicationModal);
    QAbstractButton* escape = nullptr;
    QList<QPair<QAbstractButton*, Answer>> map;
    for (Answer a : answers) {
        const ButtonFace face = faceOf(a);
        QPushButton* b = box.addButton(face.caption, face.role);
        map.append({b, a});
        if (a == defaultAnswer)
            box.setDefaultButton(b);
        if (a == Cancel)
            escape = b;
    }
    if (escape == nullptr && answers.size() == 1)
        escape = map.first().first;
    if (escape != nullptr)
        box.setEscapeButton(escape);
    box.exec();
    for (const auto& [button, a] : map) {
        if (box.clickedButton() == button)
            return a;
    }
    return answers.contains(Cancel) ? Cancel : (answers.contains(No) ? No : answers.first());
}

void MessageBox::startRecording()
{
    Seam& s = seam();
    s.recording = true;
    s.answers.clear();
    s.shown.clear();
}

void MessageBox::stopRecording()
{
    seam() = Seam{};
}

bool MessageBox::isRecording()
{
    return seam().recording;
}

void MessageBox::setNextAnswer(Answer answer)
{
    seam().answers.enqueue(answer);
}

QList<MessageBox::Record> MessageBox::shown()
{
    return seam().shown;
}

MessageBox::Record MessageBox::last()
{
    return seam().shown.isEmpty() ? Record{} : seam().shown.last();
}

void MessageBox::clearShown()
{
    seam().shown.clear();
}

} // namespace ovelta
