// The session-end tests answer their boxes with a prompt that pumps events in place of a
// box. This one shows real message boxes, as the program does (QMessageBox::exec, offscreen),
// and answers them with keys: the end of a session under a box is handled the same way.
#include "mainwindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "messageboxprompt.h"
#include "mlink.h"
#include "mserver.h"
#include "routine.h"
#include "routines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace mserver;

// The message box in front, if it is up and has the keys.
QMessageBox *boxWithKeys()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return nullptr;
    box->activateWindow();
    QWidget *focus = QApplication::focusWidget();
    return focus && (focus == box || box->isAncestorOf(focus)) ? box : nullptr;
}

// Return, to the box's focus widget: the box's default button answers.
void answerWithDefault()
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

class SessionEndRealBoxTest : public StartedMainWindowTest
{
protected:
    void SetUp() override
    {
        StartedMainWindowTest::SetUp();
        setUserPrompt(std::make_shared<MessageBoxPrompt>(QStringLiteral("Vantrel")));
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        window->link()->setMsPerTimeoutSecond(20);
    }

    QWidget *toolButton(const QString &commandId) const
    {
        for (QToolBar *bar : window->cmdMgr()->toolBars()) {
            for (QAction *action : bar->actions()) {
                QWidget *button = bar->widgetForAction(action);
                const auto *ui = button ? button->findChild<CommandUI *>() : nullptr;
                if (ui && ui->command() && ui->command()->id() == commandId)
                    return button;
            }
        }
        return nullptr;
    }

    bool free() const
    {
        return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending();
    }
};

// Server A has DEMO open for editing, with the user's edit in it, when the user clicks
// Disconnect: "Save modified routine(s) before disconnecting?" comes, and A's link is reset
// under it. The abrupt-end box comes over it with the preserved routine's name; once it is
// answered DEMO is kept read-only and the task listens again, and server B connects and is
// greeted, all under the first box. Answered last, with its default, that box leaves B's
// session as it is.
TEST_F(SessionEndRealBoxTest, ALinkDroppedUnderARealBoxEndsTheSessionAndTheNextServerIsServed)
{
    const QString text = DemoLines.join("\r\n");
    const QString firstBoxText = "Save modified routine(s) before disconnecting?";
    std::atomic<bool> boxUp{false};
    std::atomic<bool> bDone{false};
    MServer a({
        send({"ED", "1", "DEMO", "USER"}),
        expectAck(),
        answer({"SIG", "1", "DEMO", "USER", "**"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        expectAck(),
        waitUntil(boxUp, "box"),
        reset(),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);

    ASSERT_TRUE(pumpUntil([] { return Routines::instance().Active() && Routines::instance().Active()->Rtn() == "DEMO"; },
                          20000))
        << a.failure().toStdString();
    const RoutineDocPtr demo = Routines::instance().Active();
    auto routine = Routine::from(demo);
    ASSERT_NE(routine, nullptr);
    const QString demoName = routine->DisplayName() + " from USER";
    QCoreApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), "Z");
    ASSERT_TRUE(demo->Modified());

    // The user's part while the boxes are up, step by step from the boxes' event loops.
    enum class Stage { FirstBox, AbruptEndBox, Listening, BGreeted, Done };
    Stage stage = Stage::FirstBox;
    QString abruptTitle, abruptText, expectedAbruptText;
    bool listenedAgain = false;
    std::unique_ptr<MServer> b;
    const QList<Step> bGreeting = QList<Step>{
        connectTo(taskPort),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "4712", "BNS"}),
        expectAck(),
    } + greetingAnswer("BNS");
    const int bFrames = 2 + greetingAnswer("BNS").size();
    QTimer user;
    user.setInterval(10);
    QElapsedTimer sinceStart;
    sinceStart.start();
    QObject::connect(&user, &QTimer::timeout, [&] {
        // A stage that never comes must not leave a box up for good: the test fails instead.
        if (sinceStart.elapsed() > 60000) {
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
            return;
        }
        switch (stage) {
        case Stage::FirstBox:
            if (QMessageBox *box = boxWithKeys(); box && box->text() == firstBoxText) {
                boxUp = true;
                stage = Stage::AbruptEndBox;
            }
            break;
        case Stage::AbruptEndBox:
            if (QMessageBox *box = boxWithKeys(); box && box->text() != firstBoxText) {
                abruptTitle = box->windowTitle();
                abruptText = box->text();
                const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                expectedAbruptText = MessageBoxPrompt::withTabsLaidOut(
                    MessageBoxPrompt::forDisplay(frmMDI::abruptEndText({demoName})),
                    QFontMetrics(label ? label->font() : box->font()));
                stage = Stage::Listening;
                answerWithDefault();
            }
            break;
        case Stage::Listening:
            if (free()) {
                listenedAgain = !listening.empty() && listening.back();
                b = std::make_unique<MServer>(bGreeting + QList<Step>{waitUntil(bDone, "end of the checks"), close()});
                b->setStepTimeoutMs(10000);
                b->start();
                stage = Stage::BGreeted;
            }
            break;
        case Stage::BGreeted:
            if (QMessageBox *box = boxWithKeys();
                box && box->text() == firstBoxText && b->received().size() >= bFrames) {
                stage = Stage::Done;
                answerWithDefault();
            }
            break;
        case Stage::Done:
            break;
        }
    });
    user.start();

    // Disconnect, from its button: the question comes, and A's link drops under it.
    QWidget *disconnect = toolButton("DbgDisconnect");
    ASSERT_NE(disconnect, nullptr);
    QTest::mouseClick(disconnect, Qt::LeftButton, {}, disconnect->rect().center());
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return stage == Stage::Done && !QApplication::activeModalWidget(); }, 30000))
        << "stopped at stage " << int(stage);
    user.stop();
    // From here on no box may wait for a user that is not there.
    setUserPrompt(prompt);
    QCoreApplication::processEvents();

    EXPECT_EQ(abruptTitle, "Vantrel Server Disconnected Abruptly");
    EXPECT_EQ(abruptText, expectedAbruptText);
    EXPECT_TRUE(window->isPreservedDocument(demo.get()));
    EXPECT_TRUE(demo->ReadOnly());
    EXPECT_TRUE(listenedAgain) << "the Sentry was not told that the task is free";

    // B's session, untouched by the end of A's and by the first box's answer.
    EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job 4712 in BNS on Cach")) << window->windowTitle().toStdString();
    EXPECT_EQ(window->MState(), -2);
    EXPECT_TRUE(window->link()->IsConnected());
    ASSERT_FALSE(listening.empty());
    EXPECT_FALSE(listening.back());
    bDone = true;
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->wait(20000)) << b->failure().toStdString();
    EXPECT_EQ(b->received().size(), bFrames) << b->received().value(bFrames).join('|').toStdString();

    ASSERT_TRUE(pumpUntil([&] { return free(); }, 20000));
    for (const RoutineDocPtr &doc : Routines::instance().documents())
        Routines::instance().Remove(doc->Key(), false, true);
    while (window->preservedDocuments().count() > 0)
        window->releasePreservedDocument(window->preservedDocuments().item(1).get());
}

} // namespace
