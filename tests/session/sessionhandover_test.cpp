// One session, one server: a box (any nested event loop) lets the world go on, so server
// A may drop the link under it and server B connect before it is answered. Whatever was
// due to A afterwards never reaches B, and A's end never undoes B's session.
#include "mainwindowfixture.h"

#include "frmcode.h"
#include "frmfileopen.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "mainmenus.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "mserver.h"
#include "routine.h"
#include "routinenavigator.h"
#include "routines.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace {

using namespace mserver;

const QStringList DemoLines = {
    "DEMO ; a routine to stop in",
    "START S X=1",
    " S Y=2 W X+Y",
    " Q",
};

// Runs `action` from the event loop as soon as `ready` holds: a user who acts while a
// modal dialog (with its own event loop) is up.
void whenReady(std::function<bool()> ready, std::function<void()> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ready = std::move(ready), action = std::move(action)] {
        if (!ready())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

// A step of the server's script that waits, on the server's thread, until `flag` is set.
Step waitFor(const std::atomic<bool> &flag, const QString &what)
{
    return call(what, [&flag, what](Peer &, QString &why) {
        for (int i = 0; i < 2000 && !flag; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        why = QStringLiteral("no ") + what;
        return bool(flag);
    });
}

class SessionHandoverTest : public StartedMainWindowTest
{
protected:
    void SetUp() override
    {
        StartedMainWindowTest::SetUp();
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        window->link()->setMsPerTimeoutSecond(20);
    }

    // The main window may take the next server: the last one's end is over.
    bool free() const
    {
        return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending();
    }

    // The routine `name` open for editing twice in the current session, the older copy
    // modified and so frozen behind the newer: a third copy has no room.
    void openTwiceModified(const QString &name)
    {
        for (int i = 0; i < 2; ++i) {
            QString rtn = name, env = "USER", text = DemoLines.join("\r\n"), line = "+1";
            bool readOnly = false;
            RoutineDocPtr doc = Routines::instance().Add(window->docLink(), rtn, env, text, readOnly, line, 1, 0);
            if (i == 0)
                Routine::from(doc)->document()->SetModified(true);
        }
    }

    void releasePreserved()
    {
        while (window->preservedDocuments().count() > 0)
            window->releasePreservedDocument(window->preservedDocuments().item(1).get());
    }
};

// Every place where something is due to server A after a box. A's link dies while the box
// is up; as soon as the task may take a server, B connects and is greeted; then the box is
// answered. B hears its own greeting exchange and nothing else, and its caption, state and
// booking are intact. Where A's end is still being handled under the box (its abrupt-end
// box), B is turned away unanswered instead, and the task is free once the box is answered.
TEST_F(SessionHandoverTest, NothingOfAnEndedSessionReachesTheServerThatConnectedUnderItsBox)
{
    struct Row
    {
        const char *name;
        QString boxText;                 // the box under which A ends
        std::function<QList<Step>()> a;  // A's part, the link already accepted
        std::function<void()> act;       // what leads to the box, posted to the event loop
        bool bTaken = true;              // B is greeted while the box is up
    };
    const QString text = DemoLines.join("\r\n");
    std::atomic<bool> boxUp{false};
    std::atomic<bool> stopped{false};   // the window shows A's session suspended
    const Fields sigDemo = {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"};
    auto edit = [&] {
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc);
    };
    auto show = [&](int level) {
        RoutineDocPtr doc;
        window->navigator()->ShowRoutine("DEMO", "USER", level, "+1", true, 1, doc);
    };
    auto typeInActive = [&](const QString &typed) {
        auto routine = Routine::from(Routines::instance().Active());
        ASSERT_NE(routine, nullptr);
        auto *code = dynamic_cast<frmCode *>(routine->Window());
        ASSERT_NE(code, nullptr);
        code->SourceView1()->setFocus();
        QTest::keyClicks(code->SourceView1(), typed);
    };
    auto openDialog = [&] {
        // With no routine open the keys go to the window itself.
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window, Qt::Key_O, Qt::ControlModifier);
    };

    const QList<Row> rows = {
        {"a failed save", "awaiting reply",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, sigDemo), expectAck(),
                                  expect({"!SIP", "**"}), reset()}; },
         [&] {
             edit();
             QCoreApplication::processEvents();
             typeInActive("Z");
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
         }},
        {"\"SIM\" on a read-only open", "Read refused",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIM", "0", "Read refused"}),
                                  waitFor(boxUp, "box"), reset()}; },
         [&] { show(0); }},
        {"\"SIM\" on a refresh", "Refresh refused",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIG", "1", "DEMO", "USER", "0", text, "b1"}),
                                  expectAck(),
                                  answer({"SIR", "1", "DEMO", "USER", "b1"}, {"SIM", "0", "Refresh refused"}),
                                  waitFor(boxUp, "box"), reset()}; },
         [&] {
             show(0);
             show(0);
         }},
        {"the navigator's error box", "still open in the execution stack",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIG", "1", "OTHER", "USER", "0", text, "b1"}),
                                  waitFor(boxUp, "box"), reset()}; },
         [&] {
             openTwiceModified("OTHER");
             show(0);
         }},
        {"EditRoutine's error path and its \"SIU\"", "still open in the execution stack",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "OTHER", "USER", "0", text, "b1"}),
                                  waitFor(boxUp, "box"), reset()}; },
         [&] {
             openTwiceModified("OTHER");
             edit();
         }},
        {"the browse dialog's opening \"-\"", "Failed to get initial namespace",
         [&] { return QList<Step>{expect({"+"}), answer({"NS"}, {"MSG", "No namespace"}), expectAck(),
                                  waitFor(boxUp, "box"), reset()}; },
         openDialog},
        {"the browse dialog's closing \"-\"", "Failed to restore initial namespace",
         [&] { return QList<Step>{expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck(),
                                  answer({"NSL"}, {"NSL", "Namespaces", ",USER,SAMPLES"}), expectAck(),
                                  expect({"NSS", "USER"}), expect({"SIL", "**"}),
                                  expectAck(), expectAck(), expect({"!NSS", "USER"}), reset()}; },
         [&] {
             frmFileOpen *dialog = window->fileOpenDialog();
             // Esc, once the dialog is up and has the keys.
             whenReady([dialog] {
                 if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog)
                     return false;
                 dialog->activateWindow();
                 return QApplication::focusWidget() && dialog->isAncestorOf(QApplication::focusWidget());
             }, [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
             openDialog();
         }},
        {"the \"STKtop\" handler", "awaiting reply for Transact !SIG",
         [&] { return QList<Step>{waitFor(stopped, "suspended state"),
                                  send({"STKtop", "1", "USER", "DEMO", "START", "0", "7"}),
                                  expect({"!SIG", "1", "DEMO", "USER", "1"}), reset()}; },
         nullptr},
        {"the abrupt-end box", "Vantrel Server Disconnected Abruptly",
         [&] { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, sigDemo), expectAck(),
                                  waitFor(boxUp, "edited routine"), reset()}; },
         [&] {
             edit();
             QCoreApplication::processEvents();
             typeInActive("Z");
             boxUp = true;   // the script goes on once the routine is modified
         },
         false},
    };

    int round = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ++round;
        boxUp = false;
        stopped = false;
        std::atomic<bool> bDone{false};
        auto prompt = std::make_shared<BoxWithLifePrompt>();
        setUserPrompt(prompt);
        // The abrupt-end box names its title, not its text.
        prompt->trigger = row.bTaken ? row.boxText : QStringLiteral("To reapply the changes");
        std::unique_ptr<MServer> b;
        const QString bJob = QString::number(100 + round);
        int bFrames = 0;
        prompt->whileUp = [&] {
            boxUp = true;
            if (row.bTaken) {
                EXPECT_TRUE(pumpUntil([&] { return free(); }, 10000)) << "A's session did not end under the box";
                b = std::make_unique<MServer>(QList<Step>{
                    connectTo(taskPort),
                    send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
                    expectAck(),
                    send({"HI2", "", bJob, "BNS"}),
                    expectAck(),
                } + greetingAnswer("BNS") + QList<Step>{
                    expectSilence(1500),
                    waitFor(bDone, "end of the checks"),
                    close(),
                });
                bFrames = 2 + greetingAnswer("BNS").size();
                b->setStepTimeoutMs(10000);
                b->start();
                EXPECT_TRUE(pumpUntil([&] { return b->received().size() >= bFrames; }, 10000))
                    << b->failure().toStdString();
            } else {
                EXPECT_TRUE(pumpUntil([&] { return !window->link()->IsConnected(); }, 10000));
                b = std::make_unique<MServer>(QList<Step>{connectTo(taskPort), expectClose()});
                b->setStepTimeoutMs(3000);
                b->start();
                pumpUntil([&] { return b->finished(); }, 5000);
            }
        };

        MServer a(row.a());
        a.setStepTimeoutMs(20000);
        ASSERT_TRUE(a.startAccepted(*window->link()));
        window->setMState(1);
        stopped = true;
        if (row.act)
            QTimer::singleShot(0, window, row.act);
        ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
        ASSERT_TRUE(pumpUntil([&] { return b && !prompt->asked.empty(); }, 20000)) << "no box, or B never came";
        EXPECT_TRUE(prompt->asked.front().text.contains(row.bTaken ? row.boxText : QStringLiteral("To reapply")))
            << prompt->asked.front().text.toStdString();

        if (row.bTaken) {
            // Whatever A's box, handler or dialog still had to do is done.
            ASSERT_TRUE(pumpUntil([&] { return QApplication::activeModalWidget() == nullptr; }, 10000));
            QCoreApplication::processEvents();
            EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job " + bJob + " in BNS on Cach"))
                << window->windowTitle().toStdString();
            EXPECT_EQ(window->MState(), -2);
            EXPECT_TRUE(window->link()->IsConnected());
            // B has reported no stack: nothing of A's is shown as B's.
            if (frmStack *stack = window->stackPane())
                EXPECT_EQ(stack->Stack()->topLevelItemCount(), 0);
            ASSERT_FALSE(listening.empty());
            EXPECT_FALSE(listening.back()) << "the Sentry was told the task is free while B is served";
            bDone = true;
            EXPECT_TRUE(b->wait(20000)) << b->failure().toStdString();
            EXPECT_EQ(b->received().size(), bFrames) << b->received().value(bFrames).join('|').toStdString();
        } else {
            // B was turned away unanswered; A's end then ran to its end, and the task is free.
            EXPECT_TRUE(b->wait(5000)) << b->failure().toStdString();
            EXPECT_TRUE(b->received().isEmpty()) << b->received().value(0).join('|').toStdString();
            ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000));
            // The caption is the program's own again (a preserved routine shown maximised adds its name).
            EXPECT_TRUE(window->windowTitle().startsWith("Vantrel")) << window->windowTitle().toStdString();
            EXPECT_FALSE(window->windowTitle().contains("Job")) << window->windowTitle().toStdString();
            ASSERT_FALSE(listening.empty());
            EXPECT_TRUE(listening.back());
        }
        ASSERT_TRUE(pumpUntil([&] { return free(); }, 20000));
        const std::vector<RoutineDocPtr> left = Routines::instance().documents();
        for (const RoutineDocPtr &doc : left)
            Routines::instance().Remove(doc->Key(), false, true);
        releasePreserved();
        QCoreApplication::processEvents();
    }
}

// A routine edited in session A is preserved when A's link drops, and still remembers A's
// edit lock. Closed by the user while server B is served, it releases nothing on B: B's
// user may hold that very lock.
TEST_F(SessionHandoverTest, APreservedRoutineClosedUnderTheNextServerReleasesNoLockThere)
{
    std::atomic<bool> typed{false};
    std::atomic<bool> closed{false};
    MServer a({
        answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", DemoLines.join("\r\n"), "CACHE"}),
        expectAck(),
        waitFor(typed, "edited routine"),
        reset(),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    RoutineDocPtr doc;
    bool wasReadOnly = false;
    ASSERT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
    auto *code = dynamic_cast<frmCode *>(Routine::from(doc)->Window());
    ASSERT_NE(code, nullptr);
    code->SourceView1()->setFocus();
    QTest::keyClicks(code->SourceView1(), "Z");
    typed = true;
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000));
    ASSERT_TRUE(window->isPreservedDocument(doc.get()));
    ASSERT_TRUE(doc->HoldsLock());

    const QList<Step> greeting = QList<Step>{
        connectTo(taskPort),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "200", "BNS"}),
        expectAck(),
    } + greetingAnswer("BNS");
    MServer b(greeting + QList<Step>{waitFor(closed, "the close"), expectSilence(1000), close()});
    b.setStepTimeoutMs(10000);
    b.start();
    ASSERT_TRUE(pumpUntil([&] { return b.received().size() >= greeting.size() - 3; }, 10000)) << b.failure().toStdString();

    // The window's own close, as its title bar's button does it; the user confirms.
    prompt->answers = {IUserPrompt::Answer::Yes};
    QMdiSubWindow *frame = nullptr;
    for (QWidget *w = code; w && !frame; w = w->parentWidget())
        frame = qobject_cast<QMdiSubWindow *>(w);
    ASSERT_NE(frame, nullptr);
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isPreservedDocument(doc.get()));
    closed = true;
    EXPECT_TRUE(b.wait(20000)) << b.failure().toStdString();
}

// Debug > Break, chosen from the menu bar while an immediate command's output floods in,
// stops that output: the pane says so below what came, the session is suspended again,
// and the server's process, already suspended, is not sent "BRK".
TEST_F(SessionHandoverTest, BreakFromTheMenuStopsAFloodingImmediateCommand)
{
    MServer a({
        expect({"XEC", "*", "F  W 1"}),
        connectChannel(),
        sendChannel("x"),
        streamChannel("1\r\n", -1),
        expectSilence(1000),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);

    SourceView *io = clickIntoImmediateExecute(window);
    ASSERT_EQ(QApplication::focusWidget(), io);
    QTest::keyClicks(QApplication::focusWidget(), "F  W 1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return io->Document()->NumLines() > 200; }, 20000)) << a.failure().toStdString();
    ASSERT_EQ(window->MState(), frmImmediate::ExecutingState);

    // The Debug menu from the bar, then its Break item, clicked where they are drawn.
    QMenuBar *bar = window->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(window->menuItem("mnuDebug")).center());
    QMenu *debug = window->menus()->menu("mnuDebug");
    ASSERT_TRUE(pumpUntil([&] { return debug->isVisible(); }, 5000));
    QAction *breakItem = window->menuItem("mnuDebugBreak");
    ASSERT_TRUE(breakItem->isEnabled());
    QTest::mouseClick(debug, Qt::LeftButton, {}, debug->actionGeometry(breakItem).center());

    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return window->MState() == 1; }, 10000));
    const QStringList lines = io->Document()->Text().split("\r\n");
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({"[output stopped]", ""}));
    for (const Fields &f : a.received())
        EXPECT_NE(f.value(0), "BRK");
}

} // namespace
