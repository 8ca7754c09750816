#include "mainwindowfixture.h"

#include "commandmanager.h"
#include "frmbreakpoints.h"
#include "panedock.h"
#include "paneform.h"
#include "command.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "iforeground.h"
#include "icommandrouter.h"
#include "mlink.h"
#include "mserver.h"
#include "statusbar.h"
#include "vbtimer.h"

#include <QApplication>
#include <QDockWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTreeWidget>

namespace {

// Foreground answers a test sets; records the activations.
class ScriptedForeground : public IForeground
{
public:
    quint64 foregroundWindow() override { return window; }
    qint64 processOf(quint64 w) override { return w == 500 ? pid : w == ourWindow ? 1 : 9999; }
    bool isOurs(quint64 w) override { return w == ourWindow; }
    bool activate(QWidget *) override
    {
        ++activations;
        return true;
    }
    bool activateForeign(quint64 w) override
    {
        foreignActivations.push_back(w);
        return true;
    }

    quint64 window = 500;
    qint64 pid = 4242;
    quint64 ourWindow = 1;
    int activations = 0;
    std::vector<quint64> foreignActivations;
};

class StateTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        fg = std::make_shared<ScriptedForeground>();
        setForeground(fg);
        window = start("SQ500");
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        setForeground(nullptr);
        MainWindowTest::TearDown();
    }

    std::shared_ptr<ScriptedForeground> fg;
    frmMDI *window = nullptr;
};

TEST_F(StateTest, EveryStateWriteShowsItsTextPictureAndPanes)
{
    struct Case
    {
        int state;
        const char *text;        // null: the text before stays
        const char *picture;
        bool panesShown;         // the panes' visibility after the write
    };
    const Case cases[] = {
        {-6, "Fetching variables", "Busy", true},
        {-5, nullptr, "Busy", true},
        {-4, "Application fast-forwarding", "Busy", true},
        {-3, "Application running", "Busy", true},
        {-2, "Connected with ", "Busy", true},
        {-1, nullptr, "Busy", true},
        {1, "Application suspended", "Stopped", true},
        {2, "Connected with Vantrel shell at ", "Stopped", false},
        {-2, "Connected with ", "Busy", false},   // -2 leaves the shell layout alone
        {3, "Processing server-initiated disconnect request", "Stopped", true},
        {0, nullptr, "Stopped", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        window->StatusText("before");
        window->setMState(c.state);
        EXPECT_EQ(window->MState(), c.state);
        EXPECT_EQ(window->statusText(), c.text ? QString(c.text) : QString("before"));
        EXPECT_EQ(window->statusBarPanels()->statePanel()->pictureKey(), c.picture);
        const bool busy = c.state < 0;
        EXPECT_EQ(window->MBusy(), busy);
        EXPECT_EQ(window->varsPane()->listEnabled(), !busy);
        for (PaneForm *pane : {static_cast<PaneForm *>(window->stackPane()),
                               static_cast<PaneForm *>(window->varsPane()),
                               static_cast<PaneForm *>(window->breakpointsPane()),
                               static_cast<PaneForm *>(window->immediatePane())})
            EXPECT_EQ(!pane->dock()->isHidden(), c.panesShown) << pane->objectName().toStdString();
    }
}

TEST_F(StateTest, AStopGreysNothingAndGivesTheCommandLineTheWindowColour)
{
    window->immediatePane()->setIOBackground(Qt::lightGray);
    window->setMState(1);
    EXPECT_EQ(window->immediatePane()->ioBackground(), QApplication::palette().color(QPalette::Base));
}

TEST_F(StateTest, TheWindowSwitchTimerAndTheDebuggerComingForward)
{
    struct Case
    {
        int from;
        int to;
        int interval;
        bool timerBefore;
        bool timerAfter;
        int activations;   // BringToFore brought the debugger forward
    };
    const Case cases[] = {
        {1, 1, 2000, true, true, 0},      // same value: timer untouched, nothing forward
        {1, -6, 2000, true, true, 0},     // fetching variables leaves it alone
        {1, -6, 2000, false, false, 0},
        {-3, -4, 2000, false, true, 0},   // to another busy state: restarted
        {-3, 1, 2000, true, false, 1},    // stopped: timer off, debugger forward
        {-3, 1, 0, false, false, 0},      // switching off: never forward
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QString("%1 -> %2 / %3").arg(c.from).arg(c.to).arg(c.interval).toStdString());
        window->storeMState(c.from);
        window->windowSwitchTimer()->setInterval(c.interval);
        window->windowSwitchTimer()->setEnabled(c.timerBefore);
        fg->activations = 0;
        window->setMState(c.to);
        EXPECT_EQ(window->windowSwitchTimer()->isActive(), c.timerAfter);
        EXPECT_EQ(fg->activations, c.activations);
    }
}

TEST_F(StateTest, TheDebuggerComesForwardOnlyOverTheRememberedProcess)
{
    EXPECT_EQ(window->rememberedWindow(), 500u);
    EXPECT_EQ(window->rememberedProcessId(), 4242);
    window->windowSwitchTimer()->setInterval(2000);

    window->storeMState(-3);
    fg->window = 777;   // another program's window in front
    window->setMState(1);
    EXPECT_EQ(fg->activations, 0);

    window->storeMState(-3);
    fg->window = 500;
    window->setMState(1);
    EXPECT_EQ(fg->activations, 1);
    EXPECT_EQ(window->switchBackWindow(), 500u);

    // Running again: after the interval the focus goes back where the user was.
    fg->window = fg->ourWindow;
    window->windowSwitchTimer()->setInterval(20);
    window->setMState(-3);
    EXPECT_TRUE(waitUntil([&] { return !fg->foreignActivations.empty(); }, 2000));
    EXPECT_EQ(fg->foreignActivations, std::vector<quint64>{500});
}

TEST_F(StateTest, KeepAliveSendsPingOnlyWhileNotBusy)
{
    using namespace mserver;
    MServer server({expectSilence(300), expect({"PING"})});
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(-3);
    window->keepAliveTimer()->setInterval(30);
    window->keepAliveTimer()->setEnabled(true);
    QTest::qWait(400);
    window->setMState(1);
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }, 3000));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// Stands in for the windows that carry commands out: every command is enabled and
// each execution is counted.
class CountingRouter : public ICommandRouter
{
public:
    void Handle(Command &cmd, CommandUI *, bool &stop) override
    {
        executed.append(cmd.id());
        states.append(cmd.stateValue());
        stop = true;
    }
    void UpdateUI(Command &cmd, bool &stop) override
    {
        cmd.setEnabled(enabled);
        stop = true;
    }
    QStringList executed;
    QList<int> states;
    bool enabled = true;
};

TEST_F(StateTest, OneKeyPressInAPaneRunsItsCommandOnce)
{
    struct Case
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *command;
        int state;
    };
    const Case cases[] = {
        {Qt::Key_F2, Qt::NoModifier, "BmkNext", 0},
        {Qt::Key_F2, Qt::ShiftModifier, "BmkPrevious", 0},
        {Qt::Key_F2, Qt::ControlModifier, "BmkToggle", 0},
        {Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier, "BmkClearAll", 0},
        {Qt::Key_F3, Qt::NoModifier, "EdFindNext", 0},
        {Qt::Key_F5, Qt::NoModifier, "DbgGo", 1},
        {Qt::Key_F5, Qt::ShiftModifier, "DbgGoFast", 1},
        {Qt::Key_F7, Qt::NoModifier, "DbgLinewise", 0},
        {Qt::Key_F7, Qt::ShiftModifier, "DbgBonE", 0},
        {Qt::Key_F8, Qt::NoModifier, "DbgStepIn", 1},
        {Qt::Key_F8, Qt::ShiftModifier, "DbgStepOver", 1},
        {Qt::Key_F8, Qt::ControlModifier, "DbgRunTo", 1},
        {Qt::Key_F8, Qt::ControlModifier | Qt::ShiftModifier, "DbgStepOut", 1},
        {Qt::Key_F9, Qt::NoModifier, "DbgToggle", 0},
        {Qt::Key_C, Qt::ControlModifier, "EdCopy", 0},
        {Qt::Key_F, Qt::ControlModifier, "EdFind", 0},
        {Qt::Key_G, Qt::ControlModifier, "EdGoto", 0},
        {Qt::Key_H, Qt::ControlModifier, "EdReplace", 0},
        {Qt::Key_N, Qt::ControlModifier, "FlNew", 0},
        {Qt::Key_O, Qt::ControlModifier, "FlOpen", 0},
        {Qt::Key_P, Qt::ControlModifier, "FlPrint", 0},
        {Qt::Key_S, Qt::ControlModifier, "FlSave", 0},
        {Qt::Key_V, Qt::ControlModifier, "EdPaste", 0},
        {Qt::Key_X, Qt::ControlModifier, "EdCut", 0},
        {Qt::Key_Z, Qt::ControlModifier, "EdUndo", 0},
        // Not in the tables: the key goes on untouched.
        {Qt::Key_F12, Qt::NoModifier, nullptr, 0},
        {Qt::Key_F4, Qt::NoModifier, nullptr, 0},
        {Qt::Key_F8, Qt::AltModifier, nullptr, 0},
        {Qt::Key_Backspace, Qt::NoModifier, nullptr, 0},
    };
    CountingRouter router;
    window->cmdMgr()->setMainRouter(&router);
    QWidget *target = window->stackPane();
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        router.executed.clear();
        router.states.clear();
        if (Command *cmd = c.command ? window->cmdMgr()->command(c.command) : nullptr)
            cmd->setStateValue(0);
        QTest::keyClick(target, c.key, c.modifiers);
        if (c.command) {
            EXPECT_EQ(router.executed, QStringList{c.command});
            EXPECT_EQ(router.states, QList<int>{c.state});
        } else {
            EXPECT_TRUE(router.executed.isEmpty());
        }
    }

    // A disabled command is not executed; the key is consumed all the same.
    router.enabled = false;
    router.executed.clear();
    int keyCode = 119, shift = 0;
    window->PreviewKeyDown(keyCode, shift);
    EXPECT_EQ(keyCode, 0);
    EXPECT_TRUE(router.executed.isEmpty());
    window->cmdMgr()->setMainRouter(window);
}

TEST_F(StateTest, ASecondServerWhileASessionRunsIsNotTaken)
{
    using namespace mserver;
    MServer first({expectSilence(500)});
    ASSERT_TRUE(first.startAccepted(*window->link()));
    ASSERT_TRUE(window->link()->IsConnected());
    const QString host = window->link()->HostIP();

    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, taskPort);
    ASSERT_TRUE(second.waitForConnected(3000));
    EXPECT_TRUE(waitUntil([&] { return second.state() == QAbstractSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(window->link()->IsConnected());
    EXPECT_EQ(window->mtcpListen()->State(), SocketX::Listening);
    first.wait();
}

} // namespace
