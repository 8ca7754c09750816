#include "mainwindowfixture.h"

#include "frmbreakpoints.h"
#include "frmcode.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "gridcontrol.h"
#include "mlink.h"
#include "mserver.h"
#include "panedock.h"
#include "requestclient.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <atomic>
#include <thread>
#include <utility>

namespace {

// A server that connects to the task's port, greets and leaves: true when the task took
// it and answered the greeting.
bool greetsAndLeaves(quint16 port, QString &failure)
{
    using namespace mserver;
    MServer server({
        connectTo(port),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        close(),
    });
    server.setStepTimeoutMs(20000);
    server.start();
    const bool passed = server.wait(20000);
    failure = server.failure();
    return passed;
}

struct Mode
{
    const char *name;
    bool unicode;
};

void PrintTo(const Mode &mode, std::ostream *os)
{
    *os << mode.name;
}

// The program's main window in this process booked with a real Sentry process, the test
// playing the server.
using SentryBookedTest = SentryBookedMainWindowTest;

// The road of a session, in each frame mode.
class DebugSessionTest : public SentryBookedTest, public ::testing::WithParamInterface<Mode>
{
};

TEST_P(DebugSessionTest, AServerGreetsStopsIsSteppedAndLeaves)
{
    using namespace mserver;
    const bool unicode = GetParam().unicode;
    const quint16 port = readyTaskPort(sentryPort);
    ASSERT_NE(port, 0);
    ASSERT_EQ(port, window->booking()->Port());

    const QString text = DemoLines.join("\r\n");
    MServer server(QList<Step>{
        connectTo(port),
        // Feature 16 offers linewise stepping, 4 variables per level; 1 switches to Unicode.
        send({"HI", "CACHE", "Vantrel:1:7", unicode ? "21" : "20", "NT"}),
        expectAck(),
        unicode ? mserver::unicode(true) : pause(0),
        send({"HI2", "", "4711", "USER"}),
        expectAck(),
    } + greetingAnswer() + QList<Step>{
        // The stop: its level first, then the stop itself.
        send({"STKtop", "1", "USER", "DEMO", "START", "0", "7"}),
        answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        answer({"PPG"}, {"PPG", "lenLABEL", "31"}),   // the document asks for its parser's limits
        expectAck(),
        expectAck(),
        expectAck(),
        send({"STP", "1"}),
        expectAck(),
        expect({"VAR*", "1", "*", ""}),
        send({"VAR+", "X", "1", "0", "1", "0", "X", "1", "", "X"}),
        send({"VAR+", "Y", "2", "0", "2", "0", "Y", "1", "X", "Y"}),
        send({"VARend"}),
        expectAck(),
        // F8 in the code window: exactly one step request.
        expect({"STPin"}),
        expectSilence(300),
        send({"STP", "1"}),
        expectAck(),
        expect({"VAR*", "1", "*", ""}),
        send({"VARend"}),
        expectAck(),
        // A click in the margin of line 3.
        expect({"BP", "+", "**"}),
        send({"BYE", "0"}),
        expectClose(),
    });
    server.setStepTimeoutMs(20000);
    server.start();

    // Stopped: the routine is shown at the stopping command, with the execution point.
    ASSERT_TRUE(waitUntil([&] { return window->MState() == 1 && window->varsPane()->SelectedList()
                                       && window->varsPane()->SelectedList()->model()->rowCount() == 2; },
                          20000))
        << server.failure().toStdString();
    // A maximised code window adds its own name to the caption, as document frames do.
    EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job 4711 in USER on Caché at 127.0.0.1"))
        << window->windowTitle().toStdString();
    EXPECT_EQ(window->link()->IsUnicode(), unicode);
    EXPECT_EQ(window->link()->Env(), "USER");
    auto doc = Routine::from(Routines::instance().Active());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->Rtn(), "DEMO");
    EXPECT_TRUE(doc->ReadOnly());
    EXPECT_EQ(doc->GetLineFlags(2) & 3, 3);   // a stack level and the current line
    auto *code = dynamic_cast<frmCode *>(doc->Window());
    ASSERT_NE(code, nullptr);
    SourceView *view = code->SourceView1();
    EXPECT_EQ(view->CaretLine(), 1);
    EXPECT_EQ(window->stackPane()->Stack()->topLevelItemCount(), 1);
    const QAbstractItemModel *vars = window->varsPane()->SelectedList()->model();
    EXPECT_EQ(vars->index(0, 0).data().toString(), "X");
    EXPECT_EQ(vars->index(1, 1).data().toString(), "2");

    // The command line has the window colour while commands can be typed, and only then.
    const QColor canType = QApplication::palette().color(QPalette::Base);
    const QColor cannotType = QApplication::palette().color(QPalette::Button);
    ASSERT_NE(canType, cannotType);
    EXPECT_EQ(window->immediatePane()->IO()->BackColor(), canType);

    // F8 as a real key in the code window: one step in.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F8);
    EXPECT_EQ(window->MState(), -3);
    EXPECT_EQ(window->immediatePane()->IO()->BackColor(), cannotType);
    ASSERT_TRUE(waitUntil([&] { return window->MState() == 1; }, 20000)) << server.failure().toStdString();
    EXPECT_EQ(window->immediatePane()->IO()->BackColor(), canType);

    // A margin click on the third line asks the server for a breakpoint.
    view->SetCaret(0, 2);
    view->ensureCursorVisible();
    QCoreApplication::processEvents();
    int x = 0, y = 0;
    view->DocToDevice(0, 2, x, y);
    int button = 1, shift = 0, mx = 2, my = y + view->CharHeight() / 2;
    emit view->MouseDown(button, shift, mx, my);
    emit view->Click();

    // "BYE": the session ends in order and the task is free again.
    EXPECT_TRUE(server.wait(20000)) << server.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
    EXPECT_EQ(window->immediatePane()->IO()->BackColor(), cannotType);
    EXPECT_EQ(window->windowTitle(), "Vantrel");
    EXPECT_FALSE(doc->Visible());   // released: kept loaded, hidden, for a quick return
    EXPECT_EQ(readyTaskPort(sentryPort), port);
}

INSTANTIATE_TEST_SUITE_P(Modes, DebugSessionTest,
                         ::testing::Values(Mode{"Ansi", false}, Mode{"Unicode", true}),
                         [](const ::testing::TestParamInfo<Mode> &info) { return std::string(info.param.name); });

// Answers like RecordingPrompt after its event loop has run for a while, as a real box's
// does while the user reads it. A box whose text holds `unread` runs `whileUp` first, as
// long as the user has not come to it yet.
class ReadingPrompt : public RecordingPrompt
{
public:
    Answer ask(const Question &question) override
    {
        if (!unread.isEmpty() && question.text.contains(unread) && whileUp)
            whileUp();
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return RecordingPrompt::ask(question);
    }

    QString unread;
    std::function<void()> whileUp;
};

// The server asks the task to open a routine ("ED"); the task acknowledges and sends its
// "!SIG", and the link dies before the reply. Whichever way it dies, the session ends
// once, the task listens again and the Sentry offers its port again, so that the next
// server is greeted. Where the link died inside the wait, the box that says the request
// failed does not hold the task: it is free before the user has answered it.
TEST_F(SentryBookedTest, ALinkThatDiesInsideATransactionEndsTheSessionOnceAndFreesTheTask)
{
    using namespace mserver;
    struct Death
    {
        const char *name;
        QList<Step> steps;
        bool failureBox;   // dies inside the wait: the failed request's box says so
    };
    const QList<Death> deaths = {
        {"reset", {reset()}, true},
        {"orderly close", {close()}, true},
        {"drop request", {send({"<DSCON>"}), expectClose()}, true},
        {"malformed frame", {sendRaw(QByteArray::fromHex("000000000001060000000000")), expectClose()}, true},
        // 20 "seconds" of 10 ms each, then the reply the task gave up on, then the close.
        {"time-out, then a close", {pause(400), send({"!SIG"}), close()}, false},
    };
    // Every box stays up a moment, its event loop running, as a user reads it.
    auto reading = std::make_shared<ReadingPrompt>();
    setUserPrompt(reading);
    const quint16 port = readyTaskPort(sentryPort);
    ASSERT_NE(port, 0);
    int failureBoxes = 0;
    bool freeUnderTheBox = false;
    reading->unread = QStringLiteral("awaiting reply for Transact !SIG\r");
    reading->whileUp = [&] {
        ++failureBoxes;
        freeUnderTheBox = readyTaskPort(sentryPort, 3000) == port;
    };
    window->link()->setMsPerTimeoutSecond(10);
    int closes = 0;
    QObject::connect(window->link(), &MLink::OnClose, window, [&] { ++closes; });

    for (const Death &death : deaths) {
        SCOPED_TRACE(death.name);
        closes = 0;
        failureBoxes = 0;
        freeUnderTheBox = false;
        MServer server(QList<Step>{
            connectTo(port),
            send({"HI", "CACHE", "Vantrel:1:7", "21", "NT"}),
            expectAck(),
            mserver::unicode(true),
            send({"HI2", "", "4711", "USER"}),
            expectAck(),
        } + greetingAnswer() + QList<Step>{
            send({"ED", "1", "DEMO", "USER"}),
            expectAck(),
            expect({"!SIG", "**"}),
        } + death.steps);
        server.setStepTimeoutMs(20000);
        server.start();
        ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && closes > 0; }, 10000)) << closes;
        // Offered once: under the failed request's box where there is one, else now.
        EXPECT_EQ(failureBoxes, death.failureBox ? 1 : 0);
        EXPECT_TRUE(death.failureBox ? freeUnderTheBox : readyTaskPort(sentryPort) == port);
        QTest::qWait(100);   // a second end would come with the next turns of the loop
        EXPECT_EQ(closes, 1);

        QString failure;
        EXPECT_TRUE(greetsAndLeaves(port, failure)) << failure.toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && closes == 2; }, 10000)) << closes;
        ASSERT_EQ(readyTaskPort(sentryPort), port);
    }
}

// A session of a fake booking, for what needs no Sentry.
class SessionEndTest : public StartedMainWindowTest
{
protected:
    // The server's DEMO opened for editing in the session just accepted, and a key typed
    // into its code window as a user would: the routine is modified.
    RoutineDocPtr editDemoAndType(const QString &typed)
    {
        window->setMState(1);
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        EXPECT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
        auto *code = doc ? dynamic_cast<frmCode *>(Routine::from(doc)->Window()) : nullptr;
        EXPECT_NE(code, nullptr);
        if (!code)
            return doc;
        code->SourceView1()->setFocus();
        QTest::keyClicks(code->SourceView1(), typed);
        return doc;
    }
};

TEST_F(SessionEndTest, AnAbruptEndKeepsEditedRoutinesReadOnlyWithEveryTypedCharacter)
{
    using namespace mserver;
    const QString text = DemoLines.join("\r\n");
    MServer server({
        answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        expectAck(),
        answer({"SIG", "1", "NEW", "USER", "0"}, {"SIG", "1", "NEW", "USER", "0", text, "CACHE"}),
        expectAck(),
        close(),
    });
    server.setStepTimeoutMs(20000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);

    auto edit = [&](const QString &name, const QString &typed) {
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        EXPECT_TRUE(window->navigator()->EditRoutine(name, "USER", wasReadOnly, 1, doc));
        auto routine = Routine::from(doc);
        auto *code = dynamic_cast<frmCode *>(routine->Window());
        SourceView *view = code->SourceView1();
        view->setFocus();
        view->SetCaret(view->Document()->GetLine(2).size(), 2);
        QTest::keyClicks(view, typed);
        EXPECT_TRUE(routine->Modified());
        return routine;
    };
    auto demo = edit("DEMO", " S Z=3");
    auto other = edit("NEW", " K Z");

    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
    for (const auto &routine : {demo, other}) {
        EXPECT_TRUE(routine->ReadOnly());
        EXPECT_TRUE(routine->Window() != nullptr);
    }
    EXPECT_TRUE(demo->saveText().contains("S Y=2 W X+Y S Z=3"));
    EXPECT_TRUE(other->saveText().contains("S Y=2 W X+Y K Z"));
    ASSERT_FALSE(prompt->asked.empty());
    const auto &box = prompt->asked.back();
    EXPECT_EQ(box.title, "Vantrel Server Disconnected Abruptly");
    EXPECT_EQ(box.icon, IUserPrompt::Icon::Exclamation);
    EXPECT_EQ(box.text, frmMDI::abruptEndText({"DEMO from USER", "NEW from USER"}));
    EXPECT_TRUE(box.text.startsWith("The following modified routines have been preserved as read-only documents:"));
    EXPECT_EQ(window->preservedDocuments().count(), 2);
    EXPECT_EQ(window->statusText().left(18), "Listening on port ");
}

TEST_F(SessionEndTest, ASecondDropPreservesTheSameRoutineAgainUnderAKeyOfItsOwn)
{
    using namespace mserver;
    const QString text = DemoLines.join("\r\n");
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        MServer server({
            answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
            expectAck(),
            close(),
        });
        server.setStepTimeoutMs(20000);
        ASSERT_TRUE(server.startAccepted(*window->link()));
        const RoutineDocPtr doc = editDemoAndType("X");
        ASSERT_TRUE(doc);
        ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
        EXPECT_EQ(window->preservedDocuments().count(), round);
        EXPECT_EQ(prompt->asked.back().text, frmMDI::abruptEndText({"DEMO from USER"}));
    }
    // Each preserved copy is its own: closing one leaves the other.
    const RoutineDocPtr first = window->preservedDocuments().item(1);
    EXPECT_TRUE(window->isPreservedDocument(first.get()));
    window->releasePreservedDocument(first.get());
    EXPECT_EQ(window->preservedDocuments().count(), 1);
}

// A box raised by a message of server A stays up while A drops the link and server B
// connects. A's end is handled first (its edited routine preserved, the user told), and
// nothing the box's handler does afterwards reaches B.
TEST_F(SessionEndTest, ABoxOfAnEndedSessionNeverActsOnTheNextServer)
{
    using namespace mserver;
    struct Box
    {
        const char *name;
        Fields message;
        QString boxText;
        IUserPrompt::Answer answer;
    };
    const QList<Box> boxes = {
        {"BYE question", {"BYE", "0"}, "Save modified routine(s) before disconnecting?", IUserPrompt::Answer::Yes},
        {"ERR box", {"ERR", "1", "<UNDEFINED>", "START+1^DEMO", " S X=Y"}, "UNDEFINED", IUserPrompt::Answer::Ok},
        {"MSG box", {"MSG", "Look here"}, "Look here", IUserPrompt::Answer::Ok},
    };
    const QString text = DemoLines.join("\r\n");
    window->link()->setMsPerTimeoutSecond(10);
    for (const Box &box : boxes) {
        SCOPED_TRACE(box.name);
        auto prompt = std::make_shared<BoxWithLifePrompt>();
        setUserPrompt(prompt);
        std::atomic<bool> boxUp{false};
        std::unique_ptr<MServer> b;
        prompt->trigger = box.boxText;
        prompt->triggerAnswer = box.answer;
        prompt->whileUp = [&] {
            boxUp = true;
            EXPECT_TRUE(pumpUntil([&] { return !window->link()->IsConnected(); }, 10000));
            // B only connects: the task may close it before a greeting could be sent.
            b = std::make_unique<MServer>(QList<Step>{
                connectTo(taskPort),
                expectClose(),
            });
            b->setStepTimeoutMs(3000);
            b->start();
            pumpUntil([&] { return b->finished(); }, 5000);
        };
        MServer a({
            answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
            expectAck(),
            send(box.message),
            waitUntil(boxUp, "the box is up"),
            reset(),
        });
        a.setStepTimeoutMs(20000);
        ASSERT_TRUE(a.startAccepted(*window->link()));
        const RoutineDocPtr doc = editDemoAndType("X");
        ASSERT_TRUE(doc && doc->Modified());

        ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && b && b->finished(); }, 20000));
        QTest::qWait(100);

        // B was turned away unanswered: its connection closed with nothing said to it.
        EXPECT_TRUE(b->wait(5000)) << b->failure().toStdString();
        EXPECT_TRUE(b->received().isEmpty()) << b->received().value(0).join('|').toStdString();
        ASSERT_FALSE(prompt->asked.empty());
        EXPECT_EQ(prompt->asked.back().title, "Vantrel Server Disconnected Abruptly");
        EXPECT_TRUE(prompt->asked.back().text.contains("\tDEMO")) << prompt->asked.back().text.toStdString();
        EXPECT_TRUE(doc->ReadOnly());
        EXPECT_TRUE(Routine::from(doc)->saveText().contains("X"));

        // Free again: the next server is greeted.
        QString failure;
        EXPECT_TRUE(greetsAndLeaves(taskPort, failure)) << failure.toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && !window->link()->IsConnected(); }, 10000));
        while (window->preservedDocuments().count() > 0)
            window->releasePreservedDocument(window->preservedDocuments().item(1).get());
    }
}

// A session of a fake booking in a shown, active main window, driven by keys.
using ActiveSessionTest = ActiveMainWindowTest;

// Keys go on after every transaction started from the window: the one that had the
// keyboard before gets it back.
TEST_F(ActiveSessionTest, TheKeyboardComesBackAfterASave)
{
    using namespace mserver;
    const QString text = DemoLines.join("\r\n");
    MServer server({
        answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        expectAck(),
        answer({"SIP", "**"}, {"SIP"}),
        expectAck(),
        answer({"SIP", "**"}, {"SIP"}),
        expectAck(),
    });
    server.setStepTimeoutMs(20000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);
    RoutineDocPtr doc;
    bool wasReadOnly = false;
    ASSERT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
    QCoreApplication::processEvents();

    auto typeAndSave = [&](const QString &typed) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "no widget has the keyboard";
        QTest::keyClicks(focus, typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    };
    typeAndSave("ZQ1");
    typeAndSave("ZQ2");
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    QStringList saved;
    for (const Fields &f : server.received())
        if (f.value(0) == "!SIP")
            saved << f.value(4);
    ASSERT_EQ(saved.size(), 2);
    EXPECT_TRUE(saved[0].contains("ZQ1") && !saved[0].contains("ZQ2")) << saved[0].toStdString();
    EXPECT_TRUE(saved[1].contains("ZQ1ZQ2")) << saved[1].toStdString();
}

// While the window waits for the server's reply it takes no input: the pointer over it
// says so. The server sends a frame ahead of its echo, which the wait hands on at once;
// what the user sees then is what the test records.
TEST_F(ActiveSessionTest, ThePointerIsBusyWhileTheWindowWaitsForAReply)
{
    using namespace mserver;
    const QString text = DemoLines.join("\r\n");
    const auto heldBack = [](const Fields &request, const Fields &reply) {
        return QList<Step>{expect(QStringList{"!" + request.value(0)} + request.mid(1)),
                           send({"TIP", "held", "back"}), expectAck(), pause(100), send({"!" + request.value(0)}),
                           send(reply), expectAck()};
    };
    MServer server(heldBack({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"})
                   + heldBack({"SIP", "**"}, {"SIP"}));
    server.setStepTimeoutMs(20000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);

    struct Seen
    {
        bool enabled = true;
        Qt::CursorShape pointer = Qt::ArrowCursor;
    };
    QList<Seen> seen;
    QObject::connect(window->link(), &MLink::OnMessage, window, [&](const QStringList &m) {
        if (m.value(1) != QLatin1String("held"))
            return;
        const QCursor *busy = QGuiApplication::overrideCursor();
        seen.append({window->isEnabled(), busy ? busy->shape() : Qt::ArrowCursor});
    });

    RoutineDocPtr doc;
    bool wasReadOnly = false;
    ASSERT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
    QCoreApplication::processEvents();
    QWidget *focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClicks(focus, "ZQ1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();

    ASSERT_EQ(seen.size(), 2);
    for (const Seen &s : seen) {
        EXPECT_FALSE(s.enabled);
        EXPECT_EQ(s.pointer, Qt::WaitCursor);
    }
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The same for a command of the Immediate pane on a link this side opened, where the
// command goes as a transaction: the second command is typed where the first was.
TEST_F(ActiveSessionTest, TheKeyboardComesBackAfterAnImmediateCommand)
{
    using namespace mserver;
    // The output starts with the server's lead character, which the pane does not show.
    const auto command = [](const char *text, const QByteArray &output) {
        return QList<Step>{
            answer({"XEC2", "*", text}, {"OK"}),
            acceptChannel(),
            sendChannel(output),
            closeChannel(),
        };
    };
    MServer server(QList<Step>{
        acceptRequest("S1"),
        redirect("K1"),
        acceptJob("K1"),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
    } + command("W 1", "x1\r\n") + command("W 2", "x2\r\n"));
    server.setStepTimeoutMs(20000);
    server.start();
    window->link()->ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
    ASSERT_TRUE(waitUntil([&] { return window->link()->IsOutbound() && window->link()->ProtocolVersion() == 7; },
                          20000))
        << server.failure().toStdString();
    window->setMState(1);

    SourceView *io = clickIntoImmediateExecute(window);
    ASSERT_EQ(QApplication::focusWidget(), io);

    // Typed at the focus, run with Enter; done when the output stands above the next line.
    auto run = [&](const char *text, const char *output) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "no widget has the keyboard";
        QTest::keyClicks(focus, text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return window->MState() == 1 && io->Document()->Text().endsWith(output); },
                              20000))
            << server.failure().toStdString();
    };
    run("W 1", "W 1\r\n1\r\n");
    run("W 2", "W 2\r\n2\r\n");
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    QStringList commands;
    for (const Fields &f : server.received())
        if (f.value(0) == "!XEC2")
            commands << f.value(2);
    EXPECT_EQ(commands, (QStringList{"W 1", "W 2"}));
}

// The same for a breakpoint typed into the Breakpoints pane: its commit asks the server
// for the namespace, and the next breakpoint is typed at once.
TEST_F(ActiveSessionTest, TheKeyboardComesBackAfterATypedBreakpointIsCommitted)
{
    using namespace mserver;
    MServer server({
        answer({"NS"}, {"NS", "USER"}),
        expectAck(),
        expect({"BP", "+", "START", "DEMO", "1", "**"}),
        answer({"NS"}, {"NS", "USER"}),
        expectAck(),
        expect({"BP", "+", "START+1", "DEMO", "1", "**"}),
    });
    server.setStepTimeoutMs(20000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);

    frmBreakpoints *pane = window->breakpointsPane();
    GridControl *grid = pane->bpGrid();
    pane->ShowMe();
    QCoreApplication::processEvents();
    ASSERT_EQ(grid->rowCount(), 1);
    // The entry row, on its Line column.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    ASSERT_EQ(QApplication::focusWidget(), grid);

    auto typeBreakpoint = [&](const char *line) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QTest::keyClicks(QApplication::focusWidget(), line);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCoreApplication::processEvents();
        QTest::keyClicks(QApplication::focusWidget(), "DEMO");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
    };
    typeBreakpoint("START");
    ASSERT_EQ(grid->rowCount(), 2);
    ASSERT_NE(QApplication::focusWidget(), nullptr) << "no widget has the keyboard";
    // Down to the entry row, and the next one.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    typeBreakpoint("START+1");
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    EXPECT_EQ(grid->rowCount(), 3);
}

// A floating Breakpoints pane walked with the arrows: the row the user clicks shows its
// routine (fetched from the server, in a code window of the main window), and the keys
// stay in the list, so that Down goes on to the next row.
TEST_F(ActiveSessionTest, AFloatingBreakpointListKeepsTheKeyboardWhileItsRowsShowTheirRoutine)
{
    using namespace mserver;
    frmBreakpoints *pane = window->breakpointsPane();
    GridControl *grid = pane->bpGrid();
    for (const char *line : {"START", "START+1"}) {
        auto bp = std::make_shared<Breakpoint>();
        bp->Line = line;
        bp->Rtn = "DEMO";
        bp->Env = "USER";
        bp->Cmd = 1;
        bp->Enabled = true;
        pane->SetBP(bp);
    }
    ASSERT_EQ(grid->rowCount(), 3);
    const QString text = DemoLines.join("\r\n");
    MServer server({
        answer({"SIG", "1", "DEMO", "USER", "**"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        expectAck(),
    });
    server.setStepTimeoutMs(20000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);

    pane->ShowMe();
    PaneDock *dock = pane->dock();
    dock->SetState(PaneDock::StateFloating);
    ASSERT_TRUE(dock->isFloating());
    // Waited for by name: a floating tool window counts as active whenever the main window
    // is, which is not where the keys go.
    dock->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == dock; }, 5000));

    // On the Routine column: the first column is the check box, which a click toggles.
    const QRect first = grid->visualRect(grid->model()->index(0, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, first.center());
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    QCoreApplication::processEvents();
    auto shown = Routine::from(Routines::instance().Active());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Rtn(), "DEMO");
    EXPECT_EQ(grid->selectedRows(), QList<int>{0});
    EXPECT_EQ(QApplication::activeWindow(), dock);
    EXPECT_EQ(QApplication::focusWidget(), grid);

    // Down twice: the next row, then the entry row. (The code window, had it the keys,
    // would follow its caret onto the next breakpoint's line, and stop there.)
    for (const int next : {1, 2}) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->selectedRows(), QList<int>{next});
        EXPECT_EQ(QApplication::activeWindow(), dock);
        EXPECT_EQ(QApplication::focusWidget(), grid);
    }
    dock->SetState(PaneDock::StateDocked);
}

// The user's save fails: server A resets the link before it replies. While the box
// saying so is up, A's session ends and server B connects and is greeted; the save's
// acknowledgement, due once the box is answered, was A's and never reaches B.
TEST_F(ActiveSessionTest, AFailedSavesAcknowledgementNeverReachesTheNextServer)
{
    using namespace mserver;
    auto prompt = std::make_shared<BoxWithLifePrompt>();
    setUserPrompt(prompt);
    std::unique_ptr<MServer> b;
    prompt->trigger = QStringLiteral("awaiting reply");
    prompt->whileUp = [&] {
        EXPECT_TRUE(pumpUntil([&] { return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending(); }, 10000));
        b = std::make_unique<MServer>(QList<Step>{
            connectTo(taskPort),
            send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
            expectAck(),
            expectSilence(1000),
            close(),
        });
        b->setStepTimeoutMs(5000);
        b->start();
        EXPECT_TRUE(pumpUntil([&] { return !b->received().isEmpty(); }, 10000));
    };
    const QString text = DemoLines.join("\r\n");
    MServer a({
        send({"ED", "1", "DEMO", "USER"}),
        expectAck(),
        answer({"SIG", "1", "DEMO", "USER", "**"}, {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"}),
        expectAck(),
        expect({"!SIP", "**"}),
        reset(),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    ASSERT_TRUE(waitUntil([&] { return Routines::instance().Active() && Routines::instance().Active()->Rtn() == "DEMO"; },
                          20000));
    QCoreApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), "Z");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_FALSE(prompt->asked.empty());
    EXPECT_TRUE(prompt->asked.front().text.contains("awaiting reply")) << prompt->asked.front().text.toStdString();
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->wait(10000)) << b->failure().toStdString();
    EXPECT_EQ(b->received().size(), 1) << b->received().value(1).join('|').toStdString();
}

// The type field of the server's routine: one outside INT, MAC and INC (or no number)
// keeps the type asked for, and that is what the routine is saved as; a status beyond the
// pictures gives the window none. The server opens the routine ("ED"), the user types and
// saves with Ctrl+S.
TEST_F(ActiveSessionTest, AServerTypeOutsideTheRoutineTypesKeepsTheTypeAskedFor)
{
    using namespace mserver;
    struct Case
    {
        QString typeField;
        QString status;
        QString savedType;
    };
    const QList<Case> cases = {
        {"2147483647", "2147483647", "1"},
        {"-2147483648", "-1", "1"},
        {"4", "4", "1"},
        {"1e12", "99999999999", "1"},
        {"INT", "x", "1"},
        {"3", "2", "3"},
    };
    const QString text = DemoLines.join("\r\n");
    int round = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typeField.toStdString());
        const QString name = QStringLiteral("DEMO%1").arg(++round);
        MServer server({
            send({"ED", "1", name, "USER"}),
            expectAck(),
            answer({"SIG", "1", name, "USER", "**"}, {"SIG", c.typeField, name, "USER", c.status, text, "CACHE"}),
            expectAck(),
            answer({"SIP", "**"}, {"SIP"}),
            expectAck(),
            close(),
        });
        server.setStepTimeoutMs(20000);
        ASSERT_TRUE(server.startAccepted(*window->link()));
        window->setMState(1);
        ASSERT_TRUE(waitUntil([&] { return Routines::instance().Active() && Routines::instance().Active()->Rtn() == name; },
                              20000));
        auto routine = Routine::from(Routines::instance().Active());
        ASSERT_NE(routine, nullptr);
        auto *code = dynamic_cast<frmCode *>(routine->Window());
        ASSERT_NE(code, nullptr);
        QCoreApplication::processEvents();
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClicks(focus, "Z");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
        Fields saved;
        for (const Fields &f : server.received())
            if (f.value(0) == "!SIP")
                saved = f;
        EXPECT_EQ(saved.value(1), c.savedType);
        EXPECT_EQ(routine->Typ(), c.savedType.toInt());
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
    }
}

} // namespace
