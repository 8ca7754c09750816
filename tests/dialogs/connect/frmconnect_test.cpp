#include "dialoghost.h"
#include "dialoglayout.h"
#include "frmconnect.h"
#include "memento.h"
#include "mlink.h"
#include "mserver.h"
#include "recordingprompt.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

using namespace mserver;

namespace {

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void settle(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// The dialog shown the way the main window shows it, with the modal run replaced by a
// script that plays the user and lets the event loop run until the dialog is hidden.
class ConnectDialogTest : public ::testing::Test
{
protected:
    ConnectDialogTest() : m_scope(prompt)
    {
        link.setConnectTimeoutMs(250);
        // What the main window's dispatcher does with "REDIR".
        QObject::connect(&link, &MLink::OnMessage, &link, [this](const QStringList &m) {
            messages << m.join('|');
            if (m.value(0) == "REDIR")
                link.ConnectJob(m.value(1), m.value(2));
        });
        QObject::connect(&link, &MLink::OnConnectFailed, &link, [this](const QString &) { ++failures; });
    }
    ~ConnectDialogTest() override { setModalRunner(nullptr); }

    // Runs DoIt; script acts on the shown dialog. Returns the dialog's result, or -1 when
    // it was still shown after waitMs.
    int doIt(const std::function<void(frmConnect &)> &script, int waitMs = 3000)
    {
        int result = -1;
        setModalRunner([&](QDialog *d) {
            d->show();
            script(dialog);
            if (!pumpUntil([d] { return !d->isVisible(); }, waitMs)) {
                d->hide();
                return -1;
            }
            result = d->result();
            return result;
        });
        dialog.DoIt(&link);
        return result;
    }

    void fill(const QString &server, const QString &port, const QString &id)
    {
        dialog.txtServer->setText(server);
        dialog.txtPort->setText(port);
        dialog.txtPID->setText(id);
    }

    bool buttonsEnabled() const { return dialog.cmdConnect->isEnabled() && dialog.cmdCancel->isEnabled(); }

    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt m_scope;
    MLink link;
    frmConnect dialog;
    QStringList messages;
    int failures = 0;
};

} // namespace

TEST(ConnectPort, AcceptsOnlyATcpPortNumber)
{
    const struct { const char *text; bool usable; } cases[] = {
        {"4321", true}, {"1", true}, {"65535", true}, {" 80 ", true}, {"0", false}, {"65536", false},
        {"-1", false}, {"+80", false}, {"12.5", false}, {"abc", false}, {"", false}, {" ", false},
        {"99999999999", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isUsablePort(QString::fromLatin1(c.text)), c.usable) << c.text;
}

// Each missing or unusable field is named in a critical box, takes the focus, and
// nothing reaches the link.
TEST_F(ConnectDialogTest, RefusesMissingFieldsAndBadPortsBeforeTheLink)
{
    const struct { QString server, port, id, text, focus; } cases[] = {
        {"", "4321", "S1", "Server must be specified", "txtServer"},
        {"", "", "", "Server must be specified", "txtServer"},
        {"127.0.0.1", "", "S1", "Port must be specified", "txtPort"},
        {"127.0.0.1", "4321", "", "Session ID must be specified", "txtPID"},
        {"127.0.0.1", "abc", "S1", "Port must be a number from 1 to 65535", "txtPort"},
        {"127.0.0.1", "0", "S1", "Port must be a number from 1 to 65535", "txtPort"},
        {"127.0.0.1", "70000", "S1", "Port must be a number from 1 to 65535", "txtPort"},
        {"127.0.0.1", "-5", "S1", "Port must be a number from 1 to 65535", "txtPort"},
        // Only the first fault is reported: the empty identifier comes before the bad port.
        {"127.0.0.1", "x", "", "Session ID must be specified", "txtPID"},
    };
    for (const auto &c : cases) {
        prompt->asked.clear();
        QString focus;
        const int result = doIt([&](frmConnect &d) {
            fill(c.server, c.port, c.id);
            d.cmdConnect->click();
            focus = d.focusWidget() ? d.focusWidget()->objectName() : QString();
            EXPECT_FALSE(d.isConnecting());
            d.cmdCancel->click();
        });
        EXPECT_EQ(result, QDialog::Rejected) << c.text.toStdString();
        ASSERT_EQ(prompt->asked.size(), 1u) << c.text.toStdString();
        EXPECT_EQ(prompt->asked[0].text, c.text);
        EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Critical);
        EXPECT_TRUE(prompt->asked[0].title.isEmpty());   // the program's own title
        EXPECT_EQ(focus, c.focus) << c.text.toStdString();
    }
    settle(50);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(failures, 0);
}

// The whole road: request link, "REDIR", job link, and the server's greeting once the
// dialog has gone. While the attempt runs, Esc and the close box change nothing.
TEST_F(ConnectDialogTest, ConnectsThroughRedirAndTheJobLink)
{
    MServer server({acceptRequest("S1"), redirect("K7"), acceptJob("K7"), send({"HI", "CACHE", "x:1:7", "1"})});
    server.start();
    bool heldWhileConnecting = false;
    const int result = doIt([&](frmConnect &d) {
        fill("127.0.0.1", QString::number(server.port()), "S1");
        d.cmdConnect->click();
        EXPECT_TRUE(d.isConnecting());
        EXPECT_FALSE(d.cmdConnect->isEnabled());
        EXPECT_FALSE(d.cmdCancel->isEnabled());
        QTest::keyClick(&d, Qt::Key_Escape);
        d.close();
        heldWhileConnecting = d.isVisible();
    });
    EXPECT_TRUE(heldWhileConnecting);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(dialog.cmdConnect->isEnabled());
    EXPECT_FALSE(dialog.cmdCancel->isEnabled());   // until the next show
    EXPECT_TRUE(pumpUntil([&] { return messages.contains("HI|CACHE|x:1:7|1"); }));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(link.IsConnected());
    EXPECT_TRUE(link.IsOutbound());
    EXPECT_EQ(link.MainPort(), server.jobPort());
    EXPECT_TRUE(prompt->asked.empty());

    // The next show offers Cancel again; the link's later events are no longer the dialog's.
    const int second = doIt([&](frmConnect &d) {
        EXPECT_TRUE(d.cmdCancel->isEnabled());
        d.cmdCancel->click();
    });
    EXPECT_EQ(second, QDialog::Rejected);
}

// Every way an attempt fails gives one critical box with the link's text, the buttons
// back and the focus on the server box; the same values can be sent again at once.
TEST_F(ConnectDialogTest, ShowsEachFailureOnceAndOffersAnotherTry)
{
    enum Text { Refused, NoRedir, Closed };
    const struct { QString name; QList<Step> script; Text text; } cases[] = {
        {"refused connection", {}, Refused},
        {"no REDIR in time", {acceptRequest("S1"), expectClose()}, NoRedir},
        {"closed before REDIR", {acceptRequest("S1"), close()}, Closed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        prompt->asked.clear();
        failures = 0;
        std::unique_ptr<MServer> server;
        quint16 port = 0;
        if (c.script.isEmpty()) {
            port = closedPort();
        } else {
            server = std::make_unique<MServer>(c.script);
            server->start();
            port = server->port();
        }
        const int result = doIt(
            [&](frmConnect &d) {
                fill("127.0.0.1", QString::number(port), "S1");
                d.cmdConnect->click();
            },
            1500);
        EXPECT_EQ(result, -1);   // still shown
        settle(400);   // past the connect time-out: nothing further
        EXPECT_EQ(failures, 1);
        ASSERT_EQ(prompt->asked.size(), 1u);
        const QString text = prompt->asked[0].text;
        const QString failed = "Failed to connect to 127.0.0.1 on port " + QString::number(port);
        if (c.text == Refused)
            EXPECT_TRUE(text.startsWith(failed + "\rError: 10061\rDescription: ")) << text.toStdString();
        else
            EXPECT_EQ(text, c.text == NoRedir ? failed : QStringLiteral("Connection failed"));
        EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Critical);
        EXPECT_TRUE(buttonsEnabled());
        EXPECT_FALSE(dialog.isConnecting());
        EXPECT_EQ(dialog.focusWidget(), dialog.txtServer);
        EXPECT_FALSE(link.IsConnected());
        if (server) {
            EXPECT_TRUE(server->wait()) << server->failure().toStdString();
        }
    }

    // The failed attempts left no session identifier behind: an accepted session that
    // ends afterwards is reported as closed.
    int closes = 0;
    QObject::connect(&link, &MLink::OnClose, &link, [&] { ++closes; });
    MServer inbound({send({"HI", "CACHE"}), close()});
    ASSERT_TRUE(inbound.startAccepted(link));
    EXPECT_TRUE(inbound.wait()) << inbound.failure().toStdString();
    EXPECT_TRUE(pumpUntil([&] { return closes == 1; }));
}

// A refusal reaches the user once, through the server's message (the main window shows
// it); the dialog only takes its buttons back, and a retry connects at once.
TEST_F(ConnectDialogTest, RefusalEndsTheAttemptAndARetryConnects)
{
    MServer refusing({acceptRequest("S1"), send({"MSG", "Session S1 not registered"}), expectClose()});
    refusing.start();
    MServer willing({acceptRequest("S1"), redirect("K1"), acceptJob("K1"), send({"HI", "CACHE"})});
    willing.start();
    bool backAfterRefusal = false;
    QString retryError;
    const int result = doIt([&](frmConnect &d) {
        fill("127.0.0.1", QString::number(refusing.port()), "S1");
        d.cmdConnect->click();
        backAfterRefusal = pumpUntil([&] { return !d.isConnecting(); });
        EXPECT_TRUE(buttonsEnabled());
        EXPECT_FALSE(link.IsConnected());
        settle(400);   // past the connect time-out
        d.txtPort->setText(QString::number(willing.port()));
        d.cmdConnect->click();
    });
    EXPECT_TRUE(backAfterRefusal);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(refusing.wait()) << refusing.failure().toStdString();
    EXPECT_TRUE(willing.wait()) << willing.failure().toStdString();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(prompt->asked.empty());   // no "Connection failed", no "already connected"
    EXPECT_TRUE(messages.contains("MSG|Session S1 not registered"));
    EXPECT_TRUE(link.IsConnected());
}

// A session already on the link: the link's refusal is shown, and the dialog stays usable.
TEST_F(ConnectDialogTest, ShowsAlreadyConnectedInsteadOfFailing)
{
    MServer inbound({send({"HI", "CACHE"}), expectClose()});
    ASSERT_TRUE(inbound.startAccepted(link));
    const int result = doIt([&](frmConnect &d) {
        fill("127.0.0.1", "4321", "S1");
        d.cmdConnect->click();
        EXPECT_TRUE(buttonsEnabled());
        EXPECT_FALSE(d.isConnecting());
        d.cmdCancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "MLink already connected (ConnectServer)");
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Critical);
    EXPECT_TRUE(link.IsConnected());
    link.Disconnect();
    EXPECT_TRUE(inbound.wait()) << inbound.failure().toStdString();
}

TEST_F(ConnectDialogTest, KeepsItsThreeTextsAndStartsWithTheDefaultPort)
{
    EXPECT_EQ(dialog.txtPort->text(), "4321");
    EXPECT_EQ(dialog.windowTitle(), "Connect to Waiting Process");
    const struct { QWidget *control; QString tip; } tips[] = {
        {dialog.txtServer, "Address or hostname of server where Rovivi Ziveza is running"},
        {dialog.txtPort, "Port number on which Rovivi Ziveza is listening"},
        {dialog.txtPID, "Session ID which target process has registered with its local Rovivi Ziveza"},
        {dialog.cmdConnect, "Contact Rovivi Ziveza and request connection to target process"},
    };
    for (const auto &t : tips)
        EXPECT_EQ(t.control->toolTip(), t.tip) << t.control->objectName().toStdString();
    EXPECT_EQ(dialog.lblServer->buddy(), dialog.txtServer);
    EXPECT_EQ(dialog.lblPort->buddy(), dialog.txtPort);
    EXPECT_EQ(dialog.lblPID->buddy(), dialog.txtPID);
    EXPECT_EQ(dialog.lblPID->text(), "Session &ID:");
    fill("srv.example", "5000", "S42");
    const MementoPtr saved = dialog.saveMemento();
    EXPECT_EQ(saved->names(), (QStringList{"Server", "Port", "ProcessID"}));

    frmConnect next;
    next.restoreMemento(*saved);
    EXPECT_EQ(next.txtServer->text(), "srv.example");
    EXPECT_EQ(next.txtPort->text(), "5000");
    EXPECT_EQ(next.txtPID->text(), "S42");

    // Absent or Null attributes leave the box as it is; a number read back after a
    // restart is taken as its text.
    Memento partial;
    partial.write("Server", QVariant());
    partial.write("Port", 6000);
    frmConnect third;
    third.txtServer->setText("kept");
    third.restoreMemento(partial);
    EXPECT_EQ(third.txtServer->text(), "kept");
    EXPECT_EQ(third.txtPort->text(), "6000");
    EXPECT_EQ(third.txtPID->text(), "");
}

// Enter presses Connect, Esc presses Cancel, and Tab into a box selects its text.
TEST_F(ConnectDialogTest, KeyboardDrivesTheButtons)
{
    QString selected;
    const int result = doIt([&](frmConnect &d) {
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        EXPECT_EQ(QApplication::focusWidget(), d.txtServer);   // focus on show
        fill("", "4321", "S1");
        QTest::keyClick(d.txtServer, Qt::Key_Return);
        d.txtServer->setFocus();
        QTest::keyClick(d.txtServer, Qt::Key_Tab);
        selected = d.txtPort->selectedText();
        QTest::keyClick(d.txtPort, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Server must be specified");
    EXPECT_EQ(selected, "4321");
}

// Every text shows whole and no control overlaps another, at the desktop's font and at
// half as large again.
TEST(ConnectLayout, TextsShowWholeAtTheDesktopFontAndLarger)
{
    expectTextsWholeAtLargerFonts<frmConnect>();
}
