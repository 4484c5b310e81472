#pragma once

#include <QList>
#include <QString>

namespace ovelta {

/// Every message, question and error of the program goes through this facade. A box has no owner window and is
/// modal for the whole program. Answers use the numbering the windows compare against (0 OK ... 6 No).
///
/// Test seam: after startRecording() no box is shown; each call is recorded and answered from a queue
/// (setNextAnswer), or with its default button when the queue is empty.
class MessageBox
{
public:
    enum Answer { Ok = 0, Cancel = 1, Abort = 2, Retry = 3, Ignore = 4, Yes = 5, No = 6 };
    enum Buttons { OkOnly, OkCancel, YesNo, YesNoCancel, RetryCancel };
    enum Icon { NoIcon, Information, Warning, Stop, Question };

    struct Record
    {
        QString text;
        QString title;
        Buttons buttons = OkOnly;
        Icon icon = NoIcon;
        Answer defaultButton = Ok;
        Answer answer = Ok;
    };

    /// Shows a box and returns the answer. An empty title becomes "信息：". defaultIndex picks the default
    /// button by its position (0 = first, 1 = second, ...).
    static Answer show(const QString& text, const QString& title = QString(), Buttons buttons = OkOnly,
                       Icon icon = NoIcon, int defaultIndex = 0);

    /// The buttons of a set, in their order on the box.
    static QList<Answer> buttonsOf(Buttons buttons);
    static QString defaultTitle();

    // Test seam.
    static void startRecording();
    static void stopRecording();
    static bool isRecording();
    static void setNextAnswer(Answer answer);
    static QList<Record> shown();
    static Record last();
    static void clearShown();
};

} // namespace ovelta
