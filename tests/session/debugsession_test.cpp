#include "mainwindowfixture.h"

#include "frmbreakpoints.h"
#include "frmcode.h"
#include "frmstack.h"
#include "frmvars.h"
#include "mlink.h"
#include "mserver.h"
#include "requestclient.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QAbstractItemModel>
#include <QTest>
#include <QTreeView>

namespace {

const QStringList DemoLines = {
    "DEMO ; a routine to stop in",
    "START S X=1",
    " S Y=2 W X+Y",
    " Q",
};

// The task's port as the Sentry hands it to a server that asks for a ready task ("+");
// 0 until the task has told the Sentry it listens.
quint16 readyTaskPort(quint16 sentryPort)
{
    quint16 port = 0;
    waitUntil([&] {
        RequestClient client(sentryPort);
        if (!client.waitConnected(1000))
            return false;
        const quint16 answer = replyPort(client.ask('+'));
        port = answer == 0xFFFF ? 0 : answer;
        return port != 0;
    }, 10000);
    return port;
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

// The road of a session, with the program's main window in this process booked with a
// real Sentry process, and the test playing the server.
class DebugSessionTest : public MainWindowTest, public ::testing::WithParamInterface<Mode>
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        useRealSentry();
        window = start("SQ0");
        ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
    }

    frmMDI *window = nullptr;
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

    // F8 as a real key in the code window: one step in.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F8);
    EXPECT_EQ(window->MState(), -3);
    ASSERT_TRUE(waitUntil([&] { return window->MState() == 1; }, 20000)) << server.failure().toStdString();

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
    EXPECT_EQ(window->windowTitle(), "Vantrel");
    EXPECT_FALSE(doc->Visible());   // released: kept loaded, hidden, for a quick return
    EXPECT_EQ(readyTaskPort(sentryPort), port);
}

INSTANTIATE_TEST_SUITE_P(Modes, DebugSessionTest,
                         ::testing::Values(Mode{"Ansi", false}, Mode{"Unicode", true}),
                         [](const ::testing::TestParamInfo<Mode> &info) { return std::string(info.param.name); });

// A session of a fake booking, for what needs no Sentry.
using SessionEndTest = StartedMainWindowTest;

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
    EXPECT_EQ(box.text, "The following modified routines have been preserved as read-only documents:\r"
                        "\r\tDEMO from USER\r\tNEW from USER\r\r"
                        "To reapply the changes to a routine:\r\r"
                        "1)\tRe-establish the connection.\r"
                        "2)\tRe-open the routine if it already exists.\r"
                        "3)\tUse Copy and Paste, taking account of any other changes\r"
                        "\tthat may have occurred in the intervening period.\r"
                        "4)\tSave the results of your editing.\r"
                        "5)\tClose the read-only document containing the original preserved changes.");
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
        window->setMState(1);
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        ASSERT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
        auto *code = dynamic_cast<frmCode *>(Routine::from(doc)->Window());
        code->SourceView1()->setFocus();
        QTest::keyClicks(code->SourceView1(), "X");
        ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
        EXPECT_EQ(window->preservedDocuments().count(), round);
        EXPECT_TRUE(prompt->asked.back().text.contains("routine has been preserved as a read-only document:\r"
                                                       "\r\tDEMO from USER\r\r"));
    }
    // Each preserved copy is its own: closing one leaves the other.
    const RoutineDocPtr first = window->preservedDocuments().item(1);
    EXPECT_TRUE(window->isPreservedDocument(first.get()));
    window->releasePreservedDocument(first.get());
    EXPECT_EQ(window->preservedDocuments().count(), 1);
}

} // namespace
