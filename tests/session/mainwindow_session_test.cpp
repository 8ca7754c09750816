#include "mainwindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "frmcode.h"
#include "mlink.h"
#include "mserver.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sourcedocument.h"
#include "sourceview.h"
#include "statusbar.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QString DemoText = QStringLiteral("DEMO ; a routine\r\nSTART S X=1\r\n Q");

class SessionTest : public StartedMainWindowTest
{
protected:
    // Opens DEMO for editing over the scripted session (the server's "SIG" comes with
    // the edit lock) and types into it when `modify` is set.
    RoutineDocPtr editDemo(bool modify)
    {
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        EXPECT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
        auto routine = Routine::from(doc);
        if (routine && modify) {
            SourceView *view = dynamic_cast<frmCode *>(routine->Window())->SourceView1();
            view->setFocus();
            QTest::keyClicks(view, "X");
        }
        return doc;
    }
};

TEST_F(SessionTest, ASessionIsAcceptedAndItsEndListensAgain)
{
    using namespace mserver;
    // The server says nothing and keeps the link until the connected window has been
    // looked at, however long a busy machine takes to get there.
    std::atomic<bool> looked{false};
    MServer server({expectSilence(200), waitUntil(looked, "the window was looked at", 60000),
                    close()});
    ASSERT_TRUE(server.startAccepted(*window->link()));
    EXPECT_EQ(window->MState(), -2);
    EXPECT_EQ(window->statusText(), "Connected with 127.0.0.1");
    ASSERT_FALSE(listening.empty());
    EXPECT_FALSE(listening.back());
    window->setCaption("Vantrel - Job 1 in USER on GTM at 127.0.0.1");
    looked = true;

    ASSERT_TRUE(server.wait(60000)) << server.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 60000));
    EXPECT_TRUE(listening.back());
    EXPECT_EQ(window->statusText(), QString("Listening on port %1 at 192.0.2.7").arg(taskPort));
    EXPECT_EQ(window->windowTitle(), "Vantrel");
    EXPECT_EQ(window->statusBarPanels()->statePanel()->pictureKey(), "Listening");
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(SessionTest, AFailedOutboundAttemptLeavesALaterSessionsEndAudible)
{
    // A request link that never connects leaves no pending identifier behind, so the close
    // of the next accepted session still runs the session's end.
    window->link()->setConnectTimeoutMs(200);
    window->link()->ConnectServer("127.0.0.1", QString::number(freeLoopbackPort()), "SID1");
    QTest::qWait(400);
    using namespace mserver;
    MServer server({close()});
    ASSERT_TRUE(server.startAccepted(*window->link()));
    ASSERT_TRUE(server.wait());
    EXPECT_TRUE(waitUntil([&] { return window->MState() == -1 && listening.back(); }, 5000));
}

TEST_F(SessionTest, DisconnectAsksWhatTheDocumentsAndTheSessionCallFor)
{
    using A = IUserPrompt::Answer;
    const QString advice = "\rIt might be busy processing application code.\rIn this situation it is "
                           "recommended you initiate disconnection from the server side if possible.\r\r";
    struct Case
    {
        const char *name;
        bool open, modified, busy, canCancel;
        std::vector<A> answers;
        QStringList questions;
        bool result;
    };
    const Case cases[] = {
        {"idle, nothing open", false, false, false, true, {}, {}, true},
        {"busy, a lock held", true, false, true, true, {A::No},
         {"Server is not currently able to release routine locks immediately." + advice
          + "Continue with this disconnect anyway?"},
         false},
        {"modified, cancelled", true, true, false, true, {A::Cancel},
         {"Save modified routine(s) before disconnecting?"}, false},
        {"modified, changes dropped", true, true, false, false, {A::No},
         {"Save modified routine(s) before disconnecting?"}, true},
        {"modified and busy", true, true, true, true, {A::Yes},
         {"Server is not currently able to save your modified routine(s),\rnor to release routine locks "
          "immediately."
          + advice + "Continue with this disconnect anyway, and lose changes?"},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        using namespace mserver;
        QList<Step> script;
        if (c.open) {
            script << answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", DemoText, "GTM"})
                   << expectAck();
        }
        script << expectSilence(100);
        MServer server(script);
        ASSERT_TRUE(server.startAccepted(*window->link()));
        window->setMState(1);
        RoutineDocPtr doc = c.open ? editDemo(c.modified) : nullptr;
        ASSERT_TRUE(server.wait());
        window->setMState(c.busy ? -3 : 1);
        prompt->asked.clear();
        prompt->answers.assign(c.answers.begin(), c.answers.end());

        EXPECT_EQ(window->Disconnect(c.canCancel), c.result);
        QStringList questions;
        for (const auto &q : prompt->asked)
            questions << q.text;
        EXPECT_EQ(questions, c.questions);
        if (!prompt->asked.empty() && c.modified && !c.busy) {
            EXPECT_EQ(prompt->asked[0].buttons,
                      c.canCancel ? IUserPrompt::Buttons::YesNoCancel : IUserPrompt::Buttons::YesNo);
        }
        EXPECT_EQ(window->link()->IsConnected(), !c.result);
        if (!c.result) {
            EXPECT_NE(window->statusText(), "Disconnecting...");
            // Declined: the session goes on with its documents; end it quietly for the next row.
            prompt->answers.assign(4, A::Yes);
            if (doc)
                Routine::from(doc)->document()->SetModified(false);
            EXPECT_TRUE(window->Disconnect(true));
        }
        EXPECT_EQ(window->MState(), -1);
        EXPECT_EQ(Routines::instance().Count(), 0);
    }
}

TEST_F(SessionTest, TheStatePanelSwitchesTheCommandCounter)
{
    using namespace mserver;
    MServer server({
        expectRaw(QByteArray::fromHex("000000120002000000064343000000062D31")),
        expectRaw(QByteArray::fromHex("0000001100020000000643430000000530")),
    });
    ASSERT_TRUE(server.startAccepted(*window->link()));
    programSettings().CommandCounter = true;
    StatusPanel *state = window->statusBarPanels()->statePanel();
    StatusPanel *message = window->statusBarPanels()->messagePanel();
    state->setPanelText("1234");
    emit window->statusBarPanels()->PanelClick(message);   // the other panel does nothing
    emit window->statusBarPanels()->PanelClick(state);
    EXPECT_FALSE(programSettings().CommandCounter);
    EXPECT_EQ(state->panelText(), "");
    EXPECT_EQ(state->bevel(), StatusPanel::NoBevel);
    emit window->statusBarPanels()->PanelClick(state);
    EXPECT_TRUE(programSettings().CommandCounter);
    EXPECT_EQ(state->bevel(), StatusPanel::Inset);
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// --- the main window's commands ----------------------------------------------------------------

struct Expect
{
    const char *id;
    bool enabled;
    int state;   // -1: not looked at
};

TEST_F(SessionTest, CommandsAreEnabledAndPressedByTheSessionState)
{
    using namespace mserver;
    MServer server({expectSilence(2000)});
    ASSERT_TRUE(server.startAccepted(*window->link()));
    MLink *link = window->link();
    struct Case
    {
        const char *name;
        int state;
        qint32 features;
        const char *version;   // for VersionCheck
        bool wine;
        int breakPressed;
        std::vector<Expect> expect;
    };
    const Case cases[] = {
        {"suspended", 1, 8 + 16, "x:0:7", false, 0,
         {{"DbgGo", true, 0}, {"DbgGoFast", true, 0}, {"DbgStepIn", true, 0}, {"DbgRunTo", true, 0},
          {"DbgBreak", false, -1}, {"DbgBonE", true, -1}, {"DbgLinewise", true, -1}, {"FlNew", true, -1},
          {"FlSaveAll", false, -1}, {"FlOpen", true, -1}, {"DbgConnect", false, -1}, {"DbgToggle", false, -1},
          {"VwStack", true, -1}}},
        {"running", -3, 8 + 16, "x:0:7", false, 0,
         {{"DbgGo", false, -1}, {"DbgGoFast", true, -1}, {"DbgStepIn", false, -1}, {"DbgBreak", true, -1}}},
        {"running, break pressed", -3, 8 + 16, "x:0:7", false, 1, {{"DbgBreak", false, 1}}},
        {"fast-forwarding", -4, 8 + 16, "x:0:7", false, 0,
         {{"DbgGoFast", false, -1}, {"DbgGo", false, 0}, {"DbgBreak", false, -1}}},
        // Break stops the output of an immediate command.
        {"immediate output coming", -5, 8 + 16, "x:0:7", false, 0,
         {{"DbgBreak", true, -1}, {"DbgGo", false, -1}, {"DbgStepIn", false, -1}}},
        {"no linewise stepping", 1, 8, "x:0:7", false, 0, {{"DbgLinewise", false, 1}}},
        {"no break on error", 1, 16, "x:0:7", false, 0, {{"DbgBonE", false, 0}}},
        {"protocol 0", 1, 8 + 16, "x:0:0", false, 0, {{"DbgLinewise", false, 0}}},
        {"wine", -3, 8 + 16, "x:0:7", true, 0, {{"DbgStepIn", true, -1}, {"DbgGo", true, -1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString version = c.version;
        link->VersionCheck(version);
        link->setFeatures(c.features);
        programSettings().isWine = c.wine;
        programSettings().BreakOnError = true;
        window->storeMState(c.state);
        window->cmdMgr()->command("DbgBreak")->setStateValue(c.breakPressed);
        for (const Expect &e : c.expect) {
            SCOPED_TRACE(e.id);
            Command *cmd = window->cmdMgr()->command(e.id);
            ASSERT_NE(cmd, nullptr);
            bool stop = false;
            window->UpdateUI(*cmd, stop);
            EXPECT_TRUE(stop);
            EXPECT_EQ(cmd->enabled(), e.enabled);
            if (e.state >= 0)
                EXPECT_EQ(cmd->stateValue(), e.state);
        }
    }
    programSettings().isWine = false;
    link->Disconnect();

    // Not connected: Connect is offered; Attach needs the object client, which this test
    // does not register; the view commands always work.
    window->storeMState(-1);
    for (const Expect &e : std::vector<Expect>{{"DbgConnect", true, -1}, {"DbgAttach", false, -1},
                                               {"DbgBonE", true, -1}, {"DbgLinewise", true, -1},
                                               {"DbgGo", false, -1}, {"FlNew", false, -1}, {"VwVars", true, -1}}) {
        SCOPED_TRACE(e.id);
        Command *cmd = window->cmdMgr()->command(e.id);
        bool stop = false;
        window->UpdateUI(*cmd, stop);
        EXPECT_EQ(cmd->enabled(), e.enabled);
    }
}

TEST_F(SessionTest, RunCommandsSendTheirRequestAndSetTheState)
{
    struct Case
    {
        const char *id;
        int state;
        bool linewise;
        QList<QStringList> sent;
        int newState;
        QString status;
    };
    const QList<Case> cases = {
        {"DbgGo", 1, false, {{"GO", "0"}}, -3, "Application running"},
        {"DbgGoFast", 1, false, {{"GO", "1"}}, -4, "Application fast-forwarding"},
        {"DbgGoFast", -3, false, {{"GO", "2"}}, -4, "Application fast-forwarding"},
        {"DbgStepIn", 1, false, {{"STPin"}}, -3, "Stepping in"},
        {"DbgStepIn", 1, true, {{"STPinL"}}, -3, "Stepping in (linewise)"},
        {"DbgStepOver", 1, true, {{"STPoverL"}}, -3, "Stepping over (linewise)"},
        {"DbgStepOut", 1, false, {{"STPout"}}, -3, "Stepping out"},
        {"DbgBreak", -3, false, {{"BRK"}}, -3, "Break requested"},
        // Guards: nothing leaves in the wrong state.
        {"DbgGo", -3, false, {}, -3, ""},
        {"DbgStepOut", -4, false, {}, -4, ""},
        // While immediate output comes, Break is the pane's: nothing goes to the server.
        {"DbgBreak", -5, false, {}, -5, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QString("%1 from %2").arg(c.id).arg(c.state).toStdString());
        using namespace mserver;
        QList<Step> script;
        for (const QStringList &frame : c.sent)
            script << expect(frame);
        script << expectSilence(100);
        MServer server(script);
        ASSERT_TRUE(server.startAccepted(*window->link()));
        QString version = "x:0:7";
        window->link()->VersionCheck(version);
        window->link()->setFeatures(8 + 16);
        programSettings().Linewise = c.linewise;
        window->setMState(c.state);
        window->StatusText(QString());
        Command *cmd = window->cmdMgr()->command(c.id);
        cmd->setEnabled(true);
        bool stop = false;
        window->Handle(*cmd, nullptr, stop);
        EXPECT_TRUE(stop);
        EXPECT_EQ(window->MState(), c.newState);
        if (!c.status.isEmpty())
            EXPECT_EQ(window->statusText(), c.status);
        EXPECT_TRUE(server.wait()) << server.failure().toStdString();
        window->link()->Disconnect();
    }
    programSettings().Linewise = false;

    // A disabled pressable command pops up and does nothing else; the go-to box keeps its state.
    for (const char *id : {"DbgGo", "EdGoto"}) {
        Command *cmd = window->cmdMgr()->command(id);
        cmd->setStateValue(1);
        cmd->setEnabled(false);
        bool stop = false;
        window->Handle(*cmd, nullptr, stop);
        EXPECT_TRUE(stop);
        EXPECT_EQ(cmd->stateValue(), QString(id) == "EdGoto" ? 1 : 0) << id;
    }
}

} // namespace
