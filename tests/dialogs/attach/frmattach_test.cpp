#include "activation.h"
#include "clientfactory.h"
#include "dialoghost.h"
#include "dialoglayout.h"
#include "frmattach.h"
#include "imainwindow.h"
#include "mlink.h"
#include "mserver.h"
#include "objserver.h"
#include "recordingprompt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <deque>

using objserver::ObjServer;
using objserver::Reply;

namespace {

const QString kTarget = QStringLiteral("Vantrel.DebugTarget");
const QString kNotPresent = QString::fromUtf8(
    "CacheActiveX.Factory is not present on this PC.\r\n\r\n"
    "The facility for attaching to a Caché or Ensemble process is therefore not available.");

QString waiting(int n)
{
    return QStringLiteral("Waiting for process to attach within %1 seconds").arg(n);
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The main window as the dialog sees it: session state, status bar, tips, listener.
class FakeHost : public IMainWindow, public IDialogHost
{
public:
    void PreviewKeyDown(int &, int &) override {}
    void PreviewKeyPress(int &) override {}
    int MState() const override { return state; }
    void setMState(int s) override { state = s; }
    bool MBusy() const override { return false; }
    MLink *link() const override { return mlink; }
    void StatusText(const QString &text) override { status << text; }
    void startRelayoutTimer() override {}
    bool Linewise() const override { return false; }
    bool SwitchToReportOnSaveError() const override { return false; }
    void executeCommand(const QString &) override {}
    void ClearAllTips() override { ++tipsCleared; }

    bool EditRoutine(const QString &, const QString &, bool &, int, QString &) override { return false; }
    bool ShowRoutine(const QString &, const QString &, int, QString &) override { return false; }
    void UpdateRecent() override {}
    void Listen() override
    {
        ++listens;
        status << QStringLiteral("Listening on port 5001");
    }
    QString LocalAddress() const override { return address; }
    quint16 SentryPort() const override { return sentryPort; }
    QWidget *dialogParent() const override { return nullptr; }

    int state = -1;
    MLink *mlink = nullptr;
    QStringList status;
    int listens = 0;
    int tipsCleared = 0;
    QString address = QStringLiteral("10.0.0.9");
    quint16 sentryPort = 4321;
};

// Answers of the debug target's GetAttachStatus, handed out in order on the server's
// thread; when none are left it answers "" (no answer yet).
struct StatusAnswers
{
    QMutex mutex;
    std::deque<Reply> replies;

    Reply next()
    {
        QMutexLocker lock(&mutex);
        if (replies.empty())
            return Reply::value(QString());
        Reply r = replies.front();
        replies.pop_front();
        return r;
    }
    void push(const Reply &r)
    {
        QMutexLocker lock(&mutex);
        replies.push_back(r);
    }
};

// The dialog over a real object client (registered under its real name) talking to
// the scripted object server that plays Vantrel.DebugTarget.
class AttachDialogTest : public ::testing::Test
{
protected:
    AttachDialogTest() : m_promptScope(prompt)
    {
        CacheObject::registerClasses();
        setMainWindow(&host);
        setDialogHost(&host);
        host.mlink = &link;
        CacheObject::setConnectDlgHook([this](const QString &title) {
            dlgTitles << title;
            if (dlgAnswers.isEmpty())
                return QString();
            return dlgAnswers.takeFirst();
        });
        server.addResultSet(kTarget, "ProcessList",
                            {{"1234", "^ABC", "/dev/null", "10.0.0.5"}, {"77", "^XYZ", "|TCP|1972", ""}});
        server.on(kTarget, "LaunchAttach", [this](const objserver::Call &) { return launchReply; });
        server.on(kTarget, "GetAttachStatus", [this](const objserver::Call &) { return status.next(); });
    }
    ~AttachDialogTest() override
    {
        setModalRunner(nullptr);
        CacheObject::setConnectDlgHook(nullptr);
        setDialogHost(nullptr);
        setMainWindow(nullptr);
    }

    frmAttach &dialog()
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<frmAttach>();
            // The tests drive the poll themselves.
            m_dialog->tmrStatus.setInterval(3600 * 1000);
        }
        return *m_dialog;
    }

    // Runs DoIt; the script acts once the dialog's activation (list, connect dialog)
    // has run. Returns the result, or -1 when the dialog was still shown afterwards
    // (it is then hidden) or was never shown.
    int doIt(const std::function<void(frmAttach &)> &script = {})
    {
        int result = -1;
        setModalRunner([&](QDialog *d) {
            d->show();
            QCoreApplication::processEvents();
            if (script)
                script(dialog());
            if (d->isVisible()) {
                d->hide();
                return -1;
            }
            result = d->result();
            return result;
        });
        dialog().DoIt();
        return result;
    }

    // Shown and connected to the server, as after the user chose it in the connect dialog.
    void connectDialog(const QString &connectString = QString())
    {
        ASSERT_TRUE(server.isRunningOrStart());
        dlgAnswers << (connectString.isEmpty() ? server.connectString() : connectString);
        // The list is read a few tens of milliseconds at a time; a busy machine may
        // need more than one turn for it.
        doIt([](frmAttach &d) { mserver::pumpUntil([&] { return !d.isFillingProcessList(); }, 10000); });
    }

    int logCount(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : server.log())
            n += line.contains(prefix) ? 1 : 0;
        return n;
    }

    // Attaches to pid with the fields as they stand; true when the dialog was hidden
    // with the wait running.
    bool attach(const QString &pid)
    {
        const int result = doIt([&](frmAttach &d) {
            d.txtPID->setText(pid);
            d.cmdAttach->click();
        });
        return result == QDialog::Accepted && dialog().tmrStatus.isActive();
    }

    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt m_promptScope;
    ObjectRegistry::Scope m_registryScope;
    FakeHost host;
    MLink link;
    QStringList dlgAnswers;
    QStringList dlgTitles;
    Reply launchReply = Reply::value(QJsonValue());
    StatusAnswers status;
    struct Server : ObjServer
    {
        bool running = false;
        bool isRunningOrStart()
        {
            if (!running)
                running = start();
            return running;
        }
    } server;
    std::unique_ptr<frmAttach> m_dialog;
};

} // namespace

TEST_F(AttachDialogTest, WithoutTheFactoryShowsTheNotPresentBoxOnly)
{
    ObjectRegistry::unregister("CacheActiveX.Factory");
    bool shown = false;
    setModalRunner([&](QDialog *) {
        shown = true;
        return 0;
    });
    frmAttach d;
    EXPECT_FALSE(d.IsAvailable());
    d.DoIt();
    EXPECT_FALSE(shown);
    EXPECT_EQ(host.tipsCleared, 1);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, kNotPresent);
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Exclamation);
    EXPECT_TRUE(prompt->asked[0].title.isEmpty());
}

TEST_F(AttachDialogTest, WithTheFactoryIsAvailableAndTakesTheSentryDefaults)
{
    host.sentryPort = 40000;   // shown unsigned
    EXPECT_TRUE(dialog().IsAvailable());
    EXPECT_EQ(dialog().windowTitle(), "Attach Process For Debugging");
    EXPECT_EQ(dialog().txtAddress->text(), "10.0.0.9");
    EXPECT_EQ(dialog().txtPort->text(), "40000");
    EXPECT_EQ(dialog().txtTimeout->text(), "30");
}

TEST_F(AttachDialogTest, ControlsCarryTheirCaptionsAndTips)
{
    frmAttach &d = dialog();
    const struct { QWidget *control; QString tip; } tips[] = {
        {d.txtConnection, "Connection string for server hosting target process"},
        {d.cmdConnect, "Change the server connection"},
        {d.cmdRefresh, "Refresh process list (F5)"},
        {d.txtPID, "Process ID ($JOB) of the process to be attached to for debugging"},
        {d.txtAddress, "Address or hostname the target process should contact Vantrel Sentry at"},
        {d.txtPort, "Port number to contact Vantrel Sentry on"},
        {d.txtTimeout, "Number of seconds to wait for target process to respond to attach request. "
                       "Must be positive integer."},
        {d.cmdAttach, "Contact Rovivi Ziveza and request connection to target process"},
        {d.cmdCancel, "Close dialog without attaching to a process"},
    };
    for (const auto &t : tips)
        EXPECT_EQ(t.control->toolTip(), t.tip) << t.control->objectName().toStdString();
    const struct { QLabel *label; QString caption; QWidget *buddy; } labels[] = {
        {d.lblPID, "Process &ID:", d.txtPID},
        {d.lblAddress, "Sentry &Host:", d.txtAddress},
        {d.lblPort, "&Port:", d.txtPort},
        {d.lblTimeout, "&Timeout:", d.txtTimeout},
    };
    for (const auto &l : labels) {
        EXPECT_EQ(l.label->text(), l.caption);
        EXPECT_EQ(l.label->buddy(), l.buddy) << l.caption.toStdString();
    }
    EXPECT_EQ(d.cmdConnect->text(), "&Server");
    EXPECT_EQ(d.cmdAttach->text(), "Attach");
    EXPECT_EQ(d.cmdCancel->text(), "Cancel");
    QTreeWidgetItem *header = d.sftProcesses->headerItem();
    EXPECT_EQ((QStringList{header->text(0), header->text(1), header->text(2), header->text(3)}),
              (QStringList{"PID", "Routine", "Current Device", "Client Address"}));
}

// The first show of an unconnected dialog asks for a server; cancelling it changes
// nothing, and nothing is sent.
TEST_F(AttachDialogTest, CancelledServerChoiceChangesNothing)
{
    ASSERT_TRUE(server.isRunningOrStart());
    EXPECT_EQ(doIt(), -1);
    EXPECT_EQ(dlgTitles, QStringList{"Select Caché or Ensemble Server+%up"});
    EXPECT_TRUE(server.log().isEmpty());
    EXPECT_TRUE(dialog().txtConnection->text().isEmpty());
    EXPECT_TRUE(prompt->asked.empty());
}

// The box that asks for the object server is wide enough for its whole title beside a
// title bar's icon and buttons, and takes the server the user types.
TEST_F(AttachDialogTest, TheServerChoiceShowsItsWholeTitleAndTakesTheTypedServer)
{
    ASSERT_TRUE(server.isRunningOrStart());
    CacheObject::setConnectDlgHook(nullptr);
    const QString title = QString::fromUtf8("Select Caché or Ensemble Server");
    QTimer poll;
    bool answered = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || box->windowTitle() != title || !box->isVisible())
            return;
        poll.stop();
        QFont bold = box->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        EXPECT_GE(box->width(), metrics.horizontalAdvance(title) + 4 * metrics.height());
        QApplication::setActiveWindow(box);
        EXPECT_TRUE(QTest::qWaitForWindowActive(box));
        if (!QApplication::focusWidget()) {
            box->close();
            return;
        }
        QTest::keyClicks(QApplication::focusWidget(), server.connectString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        answered = true;
    });
    poll.start(10);
    doIt();
    EXPECT_TRUE(answered);
    EXPECT_EQ(dialog().txtConnection->text(), server.connectString());
    EXPECT_EQ(server.log().value(0), "Connect(\"" + server.connectString() + "\")");
}

// What the connection box shows: at most four ":" pieces, fewer as they are.
TEST_F(AttachDialogTest, ShowsAtMostFourPiecesOfTheConnection)
{
    EXPECT_EQ(frmAttach::connectionDisplay("a:1:USER:me:secret"), "a:1:USER:me");
    EXPECT_EQ(frmAttach::connectionDisplay("a:1"), "a:1");
    EXPECT_EQ(frmAttach::connectionDisplay("a"), "a");
    EXPECT_EQ(frmAttach::connectionDisplay(""), "");

    ASSERT_TRUE(server.isRunningOrStart());
    const QString five = server.connectString() + ":me:secret";
    connectDialog(five);
    EXPECT_EQ(dialog().txtConnection->text(), server.connectString() + ":me");
    EXPECT_EQ(server.log().value(0), "Connect(\"" + five + "\")");
    EXPECT_EQ(server.log().value(1), "New(\"Vantrel.DebugTarget\") -> Vantrel.DebugTarget#1");
    EXPECT_TRUE(dialog().cmdRefresh->isEnabled());
    EXPECT_EQ(dialog().sftProcesses->topLevelItemCount(), 2);

    // A shorter string, chosen with the Server button, replaces the connection.
    const QString two = "127.0.0.1:" + QString::number(server.port());
    dlgAnswers << two;
    dialog().cmdConnect->click();
    EXPECT_EQ(dialog().txtConnection->text(), two);
    EXPECT_TRUE(server.log().contains("Disconnect()"));
}

// The user is told why: the object client's own text.
TEST_F(AttachDialogTest, FailedConnectSaysWhyDisablesTheFieldsAndForgetsTheServer)
{
    connectDialog();
    ASSERT_TRUE(dialog().hasDebugTarget());
    const QString unreachable = "127.0.0.1:" + QString::number(closedPort());
    dlgAnswers << unreachable;
    dialog().cmdConnect->click();
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_TRUE(prompt->asked[0].text.startsWith("Cannot reach the object server at " + unreachable + ": "))
        << prompt->asked[0].text.toStdString();
    EXPECT_TRUE(prompt->asked[0].text.contains("refused", Qt::CaseInsensitive)) << prompt->asked[0].text.toStdString();
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Exclamation);
    prompt->asked.clear();
    EXPECT_TRUE(dialog().txtConnection->text().isEmpty());
    EXPECT_FALSE(dialog().hasDebugTarget());
    for (QWidget *w : std::initializer_list<QWidget *>{dialog().cmdRefresh, dialog().cmdAttach, dialog().txtPID,
                                                       dialog().txtTimeout, dialog().txtAddress, dialog().txtPort})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(AttachDialogTest, ServerThatCannotMakeTheTargetShowsItsText)
{
    server.on("", "New", [](const objserver::Call &) { return Reply::error(-2147220990, "Srv", "x"); });
    connectDialog();
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "x");
    EXPECT_TRUE(prompt->asked[0].title.isEmpty());
    EXPECT_FALSE(dialog().hasDebugTarget());
}

// A refresh keeps the typed process when the list still has it, and forgets it otherwise.
TEST_F(AttachDialogTest, RefreshKeepsOrClearsTheProcess)
{
    connectDialog();
    const struct { QString typed; bool kept; } cases[] = {{"1234", true}, {"77", true}, {"999", false}};
    for (const auto &c : cases) {
        dialog().txtPID->setText(c.typed);
        dialog().cmdRefresh->click();
        ASSERT_TRUE(mserver::pumpUntil([&] { return !dialog().isFillingProcessList(); }, 10000));
        ASSERT_EQ(dialog().sftProcesses->topLevelItemCount(), 2);
        const QList<QTreeWidgetItem *> selected = dialog().sftProcesses->selectedItems();
        if (c.kept) {
            ASSERT_EQ(selected.size(), 1);
            EXPECT_EQ(selected[0]->text(0), c.typed);
            EXPECT_EQ(dialog().txtPID->text(), c.typed);
            EXPECT_TRUE(dialog().cmdAttach->isEnabled());
        } else {
            EXPECT_TRUE(selected.isEmpty());
            EXPECT_TRUE(dialog().txtPID->text().isEmpty());
            EXPECT_FALSE(dialog().cmdAttach->isEnabled());
        }
    }
    QTreeWidgetItem *row = dialog().sftProcesses->topLevelItem(0);
    EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
              (QStringList{"1234", "^ABC", "/dev/null", "10.0.0.5"}));
    // Choosing a row takes its process.
    dialog().sftProcesses->topLevelItem(1)->setSelected(true);
    EXPECT_EQ(dialog().txtPID->text(), "77");
    EXPECT_TRUE(dialog().cmdAttach->isEnabled());
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(AttachDialogTest, QueryThatDoesNotRunIsReported)
{
    server.on("%ResultSet", "Execute", [](const objserver::Call &) { return Reply::value(0); });
    connectDialog();
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Execute of ProcessList query failed");
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Critical);
    EXPECT_TRUE(dialog().hasDebugTarget());   // the connection stands
}

// A failing refresh gives the connection up, and with it the server object: the next
// attach must not call an object of the lost connection.
TEST_F(AttachDialogTest, FailedRefreshDisconnectsAndReleasesTheTarget)
{
    server.on("%ResultSet", "Next",
              [](const objserver::Call &) { return Reply::error(-2147220990, "%ResultSet", "cursor lost"); });
    connectDialog();
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "cursor lost");
    EXPECT_EQ(prompt->asked[0].title, "Unable to Refresh Process List for Connection");
    EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::Ok);
    ASSERT_TRUE(server.waitForLog(int(server.log().size())));
    EXPECT_EQ(server.log().count("Disconnect()"), 1);
    EXPECT_FALSE(dialog().hasDebugTarget());
    EXPECT_FALSE(dialog().cmdRefresh->isEnabled());
    EXPECT_FALSE(dialog().cmdAttach->isEnabled());
    EXPECT_TRUE(dialog().txtPID->text().isEmpty());
}

TEST_F(AttachDialogTest, AttachNeedsAProcessAndLaunchesWithTheFieldsAsTyped)
{
    connectDialog();
    EXPECT_EQ(doIt([](frmAttach &d) {
                  d.txtPID->clear();
                  d.cmdAttach->setEnabled(true);
                  d.cmdAttach->click();
              }),
              -1);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Process ID must be specified");
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Critical);
    EXPECT_EQ(logCount(".LaunchAttach("), 0);

    dialog().txtAddress->setText("192.168.1.20");
    dialog().txtPort->setText("4400");
    dialog().txtTimeout->setText("");   // the default, at attach time
    ASSERT_TRUE(attach("1234"));
    EXPECT_EQ(dialog().txtTimeout->text(), "30");
    EXPECT_TRUE(server.log().contains(
        "Vantrel.DebugTarget#1.LaunchAttach(\"1234\",\"192.168.1.20\",\"4400\",\"30\")"));
    EXPECT_EQ(host.status.last(), waiting(30));
    EXPECT_FALSE(dialog().cmdAttach->isEnabled());
    EXPECT_FALSE(dialog().cmdCancel->isEnabled());
}

// A launch that fails leaves the dialog open for another try, the timer off, and the
// status bar no longer announcing a wait (Listen only when the window has no session).
TEST_F(AttachDialogTest, FailedLaunchKeepsTheDialogAndClearsTheWaitingText)
{
    launchReply = Reply::error(-2147220990, "Vantrel.DebugTarget", "no such process");
    connectDialog();
    for (const int state : {-1, -3}) {
        host.state = state;
        host.listens = 0;
        prompt->asked.clear();
        EXPECT_EQ(attach("1234"), false);
        ASSERT_EQ(prompt->asked.size(), 1u);
        EXPECT_EQ(prompt->asked[0].text, "no such process");
        EXPECT_TRUE(prompt->asked[0].title.isEmpty());
        EXPECT_TRUE(dialog().cmdAttach->isEnabled());
        EXPECT_TRUE(dialog().cmdCancel->isEnabled());
        EXPECT_FALSE(dialog().tmrStatus.isActive());
        EXPECT_EQ(host.listens, state == -1 ? 1 : 0);
        if (state == -1) {
            EXPECT_NE(host.status.last(), waiting(30));
        }
    }
}

// A time-out of 30 shows 30 at once and again at the first tick, then 29 down to 1;
// the 31st tick without an answer ends the wait.
TEST_F(AttachDialogTest, CountsDownAndTimesOutAtTheThirtyFirstTick)
{
    connectDialog();
    QSignalSpy timerChanges(&dialog(), &frmAttach::statusTimerChanged);
    host.status.clear();
    ASSERT_TRUE(attach("1234"));
    for (int tick = 1; tick <= 30; ++tick)
        dialog().tmrStatus_Timer();
    QStringList expected{waiting(30), waiting(30)};
    for (int n = 29; n >= 1; --n)
        expected << waiting(n);
    EXPECT_EQ(host.status, expected);
    EXPECT_TRUE(dialog().tmrStatus.isActive());
    EXPECT_TRUE(prompt->asked.empty());
    EXPECT_EQ(logCount(".GetAttachStatus(\"1234\")"), 30);

    dialog().tmrStatus_Timer();
    EXPECT_FALSE(dialog().tmrStatus.isActive());
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Attach to 1234 failed to get response within timeout");
    EXPECT_TRUE(prompt->asked[0].title.isEmpty());
    EXPECT_EQ(host.listens, 1);
    ASSERT_EQ(timerChanges.size(), 2);
    EXPECT_TRUE(timerChanges[0][0].toBool());
    EXPECT_FALSE(timerChanges[1][0].toBool());
}

// How the wait ends on the server's answer, and when the main window is asked to
// listen again (only while it has no session).
TEST_F(AttachDialogTest, EndsTheWaitOnEachKindOfAnswer)
{
    const struct { QString name; Reply reply; int state; QString box; QString title; bool listen; } cases[] = {
        {"attached", Reply::value("1"), -1, "", "", true},
        {"attached, session already there", Reply::value("1"), 0, "", "", false},
        {"refused", Reply::value("denied"), -1, "denied", "Attach to 1234 failed", true},
        {"refused, other state", Reply::value("denied"), -2, "denied", "Attach to 1234 failed", false},
        {"poll fails", Reply::error(-2147220990, "Vantrel.DebugTarget", "gone away"), -1, "gone away",
         "Attach to 1234 failed", true},
        {"poll fails, other state", Reply::error(-2147220990, "Vantrel.DebugTarget", "gone away"), -2, "gone away",
         "Attach to 1234 failed", false},
    };
    connectDialog();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        host.state = -1;
        prompt->asked.clear();
        host.listens = 0;
        ASSERT_TRUE(attach("1234"));
        host.state = c.state;
        status.push(Reply::value(""));
        status.push(c.reply);
        dialog().tmrStatus_Timer();
        EXPECT_TRUE(dialog().tmrStatus.isActive());
        dialog().tmrStatus_Timer();
        EXPECT_FALSE(dialog().tmrStatus.isActive());
        if (c.box.isEmpty()) {
            EXPECT_TRUE(prompt->asked.empty());
        } else {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].text, c.box);
            EXPECT_EQ(prompt->asked[0].title, c.title);
            EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::Ok);
        }
        EXPECT_EQ(host.listens, c.listen ? 1 : 0);
        if (c.state == -1) {
            EXPECT_NE(host.status.last(), waiting(30));
        }
    }
}

// The session's link closing drops the server object; a poll that finds it gone stops
// quietly, and the next attach makes a new object.
TEST_F(AttachDialogTest, TargetDroppedDuringThePollStopsItQuietly)
{
    connectDialog();
    ASSERT_TRUE(attach("1234"));
    dialog().tmrStatus_Timer();
    link.Disconnect();   // raises OnClose
    EXPECT_FALSE(dialog().hasDebugTarget());
    host.listens = 0;
    dialog().tmrStatus_Timer();
    EXPECT_FALSE(dialog().tmrStatus.isActive());
    EXPECT_TRUE(prompt->asked.empty());
    EXPECT_EQ(host.listens, 1);

    ASSERT_TRUE(attach("1234"));
    const QStringList made = server.log().filter("New(\"Vantrel.DebugTarget\")");
    ASSERT_EQ(made.size(), 2);
    const QString second = made[1].section(" -> ", 1);
    EXPECT_EQ(server.log().last(), second + ".LaunchAttach(\"1234\",\"10.0.0.9\",\"4321\",\"30\")");
}

TEST_F(AttachDialogTest, TimeoutCheckRefusesAllButPositiveWholeNumbers)
{
    const struct { const char *text; bool ok; } cases[] = {
        {"1", true}, {"30", true}, {"32767", true}, {"", true},
        {"030", false}, {"1.5", false}, {"0", false}, {"-3", false}, {"abc", false}, {"40000", false},
        {"32768", false}, {" 30", false}, {"+5", false}, {"99999999999", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(frmAttach::isValidTimeout(c.text), c.ok) << c.text;
        dialog().txtTimeout->setText(c.text);
        EXPECT_EQ(dialog().txtTimeout_Validate(), c.ok) << c.text;
        EXPECT_EQ(dialog().txtTimeout->text(), c.ok ? QString::fromLatin1(c.text) : QString()) << c.text;
    }
    // A refused text left in the box becomes the default at the next show.
    ASSERT_TRUE(server.isRunningOrStart());
    dialog().txtTimeout->setText("abc");
    doIt();
    EXPECT_EQ(dialog().txtTimeout->text(), "30");
}

// A refused time-out stops the attach, so nothing is launched with it.
TEST_F(AttachDialogTest, AttachChecksTheTimeoutFirst)
{
    connectDialog();
    const int result = doIt([](frmAttach &d) {
        d.txtPID->setText("1234");
        d.txtTimeout->setText("0");
        d.cmdAttach->click();
    });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(dialog().txtTimeout->text().isEmpty());
    EXPECT_EQ(logCount(".LaunchAttach("), 0);
    // The empty box is no trap: the next press attaches with the default.
    ASSERT_TRUE(attach("1234"));
    EXPECT_EQ(dialog().countdown(), 30);
}

TEST_F(AttachDialogTest, CloseBoxHidesAndKeepsTheConnectionUnloadDisconnects)
{
    connectDialog();
    const int before = int(server.log().size());
    EXPECT_EQ(doIt([](frmAttach &d) { d.close(); }), QDialog::Rejected);
    EXPECT_EQ(dlgTitles.size(), 1);   // no second server choice: still connected
    EXPECT_EQ(logCount("ResultSet("), 2);   // the list is read again on each show
    EXPECT_GT(int(server.log().size()), before);
    EXPECT_EQ(server.log().count("Disconnect()"), 0);
    m_dialog.reset();
    EXPECT_TRUE(server.waitForLog(int(server.log().size())));
    EXPECT_EQ(server.log().count("Disconnect()"), 1);
}

// F5 from any box refreshes; Enter in the list attaches once; a header click sorts,
// a second click on it reverses.
TEST_F(AttachDialogTest, KeyboardAndHeaderDriveTheList)
{
    connectDialog();
    const int result = doIt([&](frmAttach &d) {
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        const int lists = logCount("ResultSet(");
        d.txtPID->setFocus();
        QTest::keyClick(d.txtPID, Qt::Key_F5);
        EXPECT_EQ(logCount("ResultSet("), lists + 1);
        EXPECT_TRUE(mserver::pumpUntil([&] { return !d.isFillingProcessList(); }, 10000));

        d.sftProcesses->header()->sectionClicked(0);
        EXPECT_EQ(d.sftProcesses->topLevelItem(0)->text(0), "1234");
        EXPECT_EQ(d.sftProcesses->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        d.sftProcesses->header()->sectionClicked(0);
        EXPECT_EQ(d.sftProcesses->topLevelItem(0)->text(0), "77");
        EXPECT_EQ(d.sftProcesses->header()->sortIndicatorOrder(), Qt::DescendingOrder);

        d.sftProcesses->topLevelItem(0)->setSelected(true);
        d.sftProcesses->setFocus();
        QTest::keyClick(d.sftProcesses, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(logCount(".LaunchAttach(\"77\""), 1);
}

// The timer itself drives the poll and reports its start and stop.
TEST_F(AttachDialogTest, RunningTimerPollsUntilTheAnswer)
{
    connectDialog();
    dialog().tmrStatus.setInterval(10);
    QSignalSpy timerChanges(&dialog(), &frmAttach::statusTimerChanged);
    status.push(Reply::value(""));
    status.push(Reply::value("1"));
    ASSERT_TRUE(attach("1234"));
    EXPECT_TRUE(mserver::pumpUntil([&] { return !dialog().tmrStatus.isActive(); }, 5000));
    EXPECT_EQ(timerChanges.size(), 2);
    EXPECT_EQ(host.listens, 1);
    EXPECT_TRUE(prompt->asked.empty());
}

// Every text shows whole and no control overlaps another, at the desktop's font and at
// half as large again.
TEST(AttachLayout, TextsShowWholeAtTheDesktopFontAndLarger)
{
    expectTextsWholeAtLargerFonts<frmAttach>();
}

// A server whose process list never ends: the dialog reads it in slices, stays
// responsive (a click on Cancel lands and ends the reading), and left alone stops at
// the limit with a message.
TEST_F(AttachDialogTest, AnEndlessProcessListStaysResponsiveAndStopsWithAMessage)
{
    constexpr int Limit = 250;
    server.on("%ResultSet", "Next", [](const objserver::Call &) { return Reply::value(1); });
    server.on("%ResultSet", "GetData", [](const objserver::Call &c) { return Reply::value("p" + c.text(0)); });
    dialog().setProcessListLimit(Limit);
    ASSERT_TRUE(server.isRunningOrStart());
    dlgAnswers << server.connectString();

    int rowsWhenActive = -1;
    doIt([&](frmAttach &d) {
        // The connect step's refresh has returned with the list still being read.
        ASSERT_TRUE(d.isFillingProcessList());
        rowsWhenActive = d.sftProcesses->topLevelItemCount();
        ASSERT_TRUE(mserver::pumpUntil([&] { return !d.isFillingProcessList(); }, 60000));
    });
    EXPECT_LT(rowsWhenActive, Limit);
    EXPECT_EQ(dialog().sftProcesses->topLevelItemCount(), Limit);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text,
              QString("The server's process list did not end after %1 processes; only those are shown.").arg(Limit));
    EXPECT_EQ(prompt->asked[0].title, "Unable to Refresh Process List for Connection");
    EXPECT_EQ(logCount("%ResultSet#2.Close()"), 1);
    EXPECT_EQ(logCount(".Next()"), Limit);

    // Refreshed and cancelled part-way: nothing more is asked of the server.
    prompt->asked.clear();
    const int result = doIt([&](frmAttach &d) {
        ASSERT_TRUE(d.isFillingProcessList());
        ASSERT_TRUE(mserver::pumpUntil([&] { return d.sftProcesses->topLevelItemCount() > 120; }, 30000));
        d.cmdCancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(dialog().isFillingProcessList());
    const int nexts = logCount(".Next()");
    EXPECT_LT(nexts, 2 * Limit);
    QTest::qWait(100);
    EXPECT_EQ(logCount(".Next()"), nexts);
    EXPECT_TRUE(prompt->asked.empty());
}

// Over a slow link (every reply 20 ms after its call) the list is read a call or a
// few at a time: a click on Cancel, Esc, or a close from the window system, made while
// the list is still coming, ends the dialog at once, and nothing more reaches the
// server. "At once" is counted in calls, not in time: the calls are made on the
// dialog's thread, so none is under way when the act arrives, and at most the slice
// that was already due runs before the dialog hears of it.
TEST_F(AttachDialogTest, OverASlowLinkCancelEscAndTheCloseBoxTakeEffectAtOnce)
{
    constexpr int ReplyDelayMs = 20;
    // A slice of the list ends once 30 ms have gone, and each call takes ReplyDelayMs at
    // least: a slice holds two calls at most.
    constexpr qsizetype CallsInASlice = 2;
    QList<QStringList> processes;
    for (int n = 0; n < 150; ++n)
        processes << QStringList{QString::number(1000 + n), "^LOOP", "/dev/null", "10.0.0.5"};
    server.addResultSet(kTarget, "ProcessList", processes);
    server.setReplyDelayMs(ReplyDelayMs);
    ASSERT_TRUE(server.isRunningOrStart());
    dlgAnswers << server.connectString();
    struct Way
    {
        const char *name;
        std::function<void(frmAttach &)> act;
    };
    const QList<Way> ways{
        {"Cancel clicked",
         [](frmAttach &d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton, {}, d.cmdCancel->rect().center()); }},
        {"Esc",
         [](frmAttach &d) {
             QWidget *focus = QApplication::focusWidget();
             ASSERT_TRUE(focus && focus->window() == &d);
             QTest::keyClick(focus, Qt::Key_Escape);
         }},
        // The close box's click reaches the program as a close event for the dialog's
        // window, queued until its thread is free, as the window system's platform
        // plugin hands it over.
        {"close box",
         [](frmAttach &d) {
             ASSERT_NE(d.windowHandle(), nullptr);
             QCoreApplication::postEvent(d.windowHandle(), new QCloseEvent);
         }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        qsizetype callsAtAct = -1;
        qsizetype callsAtEnd = -1;
        const int result = doIt([&](frmAttach &d) {
            ASSERT_TRUE(d.isFillingProcessList()) << "the window was held until the whole list was read";
            const QMetaObject::Connection ended = QObject::connect(&d, &QDialog::finished, [&] {
                callsAtEnd = server.log().size();
            });
            // The user acts at a moment of their own while the list comes in.
            QTimer::singleShot(300, &d, [&] {
                callsAtAct = server.log().size();
                way.act(d);
            });
            d.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
            EXPECT_TRUE(mserver::pumpUntil([&] { return !d.isVisible(); }, 60000));
            QObject::disconnect(ended);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        ASSERT_GE(callsAtAct, 0) << "the act came after the dialog had ended";
        EXPECT_LE(callsAtEnd - callsAtAct, CallsInASlice) << server.log().mid(int(callsAtAct)).join('\n').toStdString();
        EXPECT_LT(dialog().sftProcesses->topLevelItemCount(), 150);
        QTest::qWait(200);
        EXPECT_EQ(server.log().size(), callsAtEnd) << server.log().mid(int(callsAtEnd)).join('\n').toStdString();
    }
}

