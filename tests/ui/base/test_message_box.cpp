// The message-box facade: what a box shows, how answers come back, and the recording seam.

#include "ui/base/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using ovelta::MessageBox;

class TestMessageBox : public QObject
{
    Q_OBJECT

private:
    /// Finds the real box once it is up, hands it to inspect, then clicks the button with that caption.
    void whenShown(std::function<void(QMessageBox*)> inspect, const QString& click)
    {
        QTimer::singleShot(0, this, [this, inspect, click] {
            QMessageBox* box = nullptr;
            QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
            inspect(box);
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == click) {
                    b->click();
                    return;
                }
            }
            QFAIL(qPrintable(u"no button "_s + click));
        });
    }

private Q_SLOTS:
    void realBoxShowsChineseButtonsAndAnswers()
    {
        QString title;
        QString text;
        QStringList captions;
        QString defaultCaption;
        Qt::WindowModality modality = Qt::NonModal;
        whenShown(
            [&](QMessageBox* box) {
                title = box->windowTitle();
                text = box->text();
                for (QAbstractButton* b : box->buttons())
                    captions << b->text();
                defaultCaption = box->defaultButton() ? box->defaultButton()->text() : QString();
                modality = box->windowModality();
            },
            u"否(&N)"_s);
        const auto answer = MessageBox::show(u"退出系统？"_s, u"退出提示"_s, MessageBox::YesNo, MessageBox::Warning, 1);
        QCOMPARE(answer, MessageBox::No);
        QCOMPARE(title, u"退出提示"_s);
        QCOMPARE(text, u"退出系统？"_s);
        QCOMPARE(captions.size(), 2);
        QVERIFY(captions.contains(u"是(&Y)"_s));
        QCOMPARE(defaultCaption, u"否(&N)"_s);
        QCOMPARE(modality, Qt::ApplicationModal);
    }

    void boxWithoutTitleGetsTheDefaultTitle()
    {
        QString title;
        whenShown([&](QMessageBox* box) { title = box->windowTitle(); }, u"是(&Y)"_s);
        QCOMPARE(MessageBox::show(u"没有找到数据库,是否要重新创建数据库?"_s, QString(), MessageBox::YesNo,
                                  MessageBox::Warning),
                 MessageBox::Yes);
        QCOMPARE(title, u"信息："_s);
    }

    void recordingAnswersFromTheQueueThenWithTheDefault()
    {
        MessageBox::startRecording();
        MessageBox::setNextAnswer(MessageBox::Yes);
        QCOMPARE(MessageBox::show(u"a"_s, u"t"_s, MessageBox::YesNo, MessageBox::Question, 1), MessageBox::Yes);
        // Queue empty: the default button answers.
        QCOMPARE(MessageBox::show(u"b"_s, u"t"_s, MessageBox::YesNo, MessageBox::Question, 1), MessageBox::No);
        QCOMPARE(MessageBox::show(u"c"_s), MessageBox::Ok);
        const auto shown = MessageBox::shown();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0].defaultButton, MessageBox::No);
        QCOMPARE(shown[0].answer, MessageBox::Yes);
        QCOMPARE(shown[1].answer, MessageBox::No);
        QCOMPARE(shown[2].title, u"信息："_s);
        QCOMPARE(shown[2].buttons, MessageBox::OkOnly);
        QCOMPARE(shown[2].icon, MessageBox::NoIcon);
        MessageBox::stopRecording();
        QVERIFY(!MessageBox::isRecording());
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void answersKeepTheirNumbers()
    {
        // Callers compare against these values.
        QCOMPARE(int(MessageBox::Ok), 0);
        QCOMPARE(int(MessageBox::Cancel), 1);
        QCOMPARE(int(MessageBox::Yes), 5);
        QCOMPARE(int(MessageBox::No), 6);
        QCOMPARE(MessageBox::buttonsOf(MessageBox::YesNo),
                 (QList<MessageBox::Answer>{MessageBox::Yes, MessageBox::No}));
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
