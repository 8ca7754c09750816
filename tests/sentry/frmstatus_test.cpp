#include "bookingservice.h"
#include "bookingwire.h"
#include "frmstatus.h"
#include "messageboxprompt.h"
#include "recordingprompt.h"
#include "portbook.h"
#include "requestlistener.h"
#include "sentryapp.h"
#include "sentrycore.h"
#include "sentrytestsupport.h"

#include <QApplication>
#include <QLabel>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Records the boxes as "title: text" (notices) and titles (questions); answers Yes/No from a script.
class ScriptedMessages : public IUserPrompt
{
public:
    Answer ask(const Question &question) override
    {
        if (question.buttons == Buttons::Ok) {
            shown.append(question.title + ": " + question.text);
            return Answer::Ok;
        }
        asked.append(question.title);
        defaults.append(question.defaultAnswer);
        return !answers.isEmpty() && answers.takeFirst() ? Answer::Yes : Answer::No;
    }

    QStringList shown;
    QStringList asked;
    QList<std::optional<Answer>> defaults;
    QList<bool> answers;
};

GetHost::Resolver fixedAddress()
{
    GetHost::Resolver r;
    r.hostName = [](int &) -> std::optional<QString> { return QString("devbox"); };
    r.addressesOf = [](const QString &) -> std::optional<QList<QHostAddress>> {
        return QList<QHostAddress>{QHostAddress("192.0.2.7")};
    };
    return r;
}

// A task booking in over the local socket, without blocking the window's thread.
class Task
{
public:
    explicit Task(const QString &name) { m_socket.connectToServer(name); m_socket.write(BookingWire::bookRequest()); }
    QString reply()
    {
        waitUntil([&] { return m_socket.canReadLine(); }, 5000);
        return QString::fromUtf8(m_socket.readLine()).trimmed();
    }
    void send(const QByteArray &bytes) { m_socket.write(bytes); m_socket.flush(); }

private:
    QLocalSocket m_socket;
};

class StatusWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app.core()->setListenAddress("127.0.0.1");
        app.core()->setResolver(fixedAddress());
        ASSERT_TRUE(app.openBookingServer(dir.filePath("sentry")));
    }

    // With no sessions given: no command line at all, so the default port when it
    // is free on this machine. Otherwise, and as the fallback, a free port.
    quint16 startByHand(const QString &sessions)
    {
        if (sessions.isEmpty() && app.startByHand(QString()))
            return 4321;
        messages.shown.clear();
        const quint16 port = freeLoopbackPort();
        EXPECT_TRUE(app.startByHand(QString("%1 %2").arg(port).arg(sessions)));
        return port;
    }

    QTemporaryDir dir;
    std::shared_ptr<ScriptedMessages> prompt = std::make_shared<ScriptedMessages>();
    ScriptedMessages &messages = *prompt;
    ScopedUserPrompt installed{prompt};
    SentryApp app;
};

TEST_F(StatusWindowTest, ShowsTheListeningStateAndTheSentrysTexts)
{
    const quint16 port = startByHand(QString());
    frmStatus *window = app.gfrmStatus();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->lblPort->text(), QString("Listening on port %1 for 10 sessions").arg(port));
    EXPECT_EQ(window->windowTitle(), "Vantrel Sentry");
    EXPECT_TRUE(window->lblAbout->text().startsWith("The Sentry receives connections from Vantrel sessions"));
    EXPECT_EQ(window->lblVersion->text(), "Version 1.0");
    const QStringList info = window->txtWSInfo->toPlainText().split('\n');
    ASSERT_EQ(info.size(), 5);
    EXPECT_EQ(info[4], "Buffers (r/s): 8192/8192");
    EXPECT_EQ(app.core()->tipText(), QString("Vantrel Sentry listening on port %1 at 192.0.2.7").arg(port));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->hasTray());   // offscreen: the window stands in for the tray

    const QList<QAction *> items = window->trayMenu()->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), "Show");
    EXPECT_EQ(window->trayMenu()->defaultAction(), items[0]);
    EXPECT_EQ(items[1]->text(), "Exit");
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), "New Vantrel Task");

    // A task books with the window that is already up: no second start, no minimising.
    Task task(dir.filePath("sentry"));
    EXPECT_EQ(task.reply(), QString("BOOKED %1 %2 192.0.2.7").arg(port + 1).arg(port));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(app.gfrmStatus(), window);
    task.send(BookingWire::listeningRequest(true));
    EXPECT_TRUE(waitUntil([&] { return window->lblPort->text() == "Connected: 0, Ready: 1/10, Pending: 0"; }, 3000))
        << window->lblPort->text().toStdString();

    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(replyPort(server.ask('+')), port + 1);
    EXPECT_EQ(window->lblPort->text(), "Connected: 1, Ready: 0/9, Pending: 1");
}

TEST_F(StatusWindowTest, OneSessionIsSingular)
{
    const quint16 port = startByHand("1");
    EXPECT_EQ(app.gfrmStatus()->lblPort->text(), QString("Listening on port %1 for 1 session").arg(port));
}

TEST_F(StatusWindowTest, AnOccupiedPortStopsAHandStartWithTheReason)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, 0));
    EXPECT_FALSE(app.startByHand(QString("%1 3").arg(occupier.serverPort())));
    EXPECT_EQ(messages.shown, QStringList{QString("Vantrel Sentry: Vantrel Sentry is unable to start:\r\n"
                                                  "Port %1 may be in use by another task on this PC")
                                              .arg(occupier.serverPort())});
    EXPECT_FALSE(app.statusWindowExists());
}

TEST_F(StatusWindowTest, SlotPortsPastTheLastPortAreRefusedAtStart)
{
    EXPECT_FALSE(app.startByHand("65530 5"));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], "Vantrel Sentry: Vantrel Sentry is unable to start:\r\n"
                                 "(6) Overflow: port 65530 leaves no room for 5 sessions below port 65536");
}

TEST_F(StatusWindowTest, ClosingAsksAccordingToWhoAskedAndTheBookedTasks)
{
    startByHand("3");
    frmStatus *window = app.gfrmStatus();
    QSignalSpy finished(&app, &SentryApp::finished);
    Task a(dir.filePath("sentry"));
    Task b(dir.filePath("sentry"));
    ASSERT_TRUE(a.reply().startsWith("BOOKED"));
    ASSERT_TRUE(b.reply().startsWith("BOOKED"));

    using R = StatusTexts::CloseReason;
    messages.answers = {false};
    EXPECT_FALSE(window->requestClose(R::ExitItem));
    EXPECT_EQ(messages.asked, QStringList{"Sentry in Use"});
    EXPECT_EQ(messages.defaults.value(0), IUserPrompt::Answer::No);

    messages.asked.clear();
    messages.answers = {true, false};
    EXPECT_FALSE(window->requestClose(R::TitleBar));
    EXPECT_EQ(messages.asked, (QStringList{"Sentry in Use", "Terminate Vantrel Sentry"}));
    EXPECT_TRUE(app.statusWindowExists());
    EXPECT_TRUE(finished.isEmpty());

    messages.asked.clear();
    messages.answers = {true};
    EXPECT_TRUE(window->requestClose(R::ExitItem));
    EXPECT_FALSE(app.statusWindowExists());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(app.core()->listener()->busyLinkCount(), 0);
}

TEST_F(StatusWindowTest, WithNoTaskExitAsksNothingAndTheTitleBarAsksOnce)
{
    startByHand("3");
    messages.answers = {false};
    EXPECT_FALSE(app.gfrmStatus()->requestClose(StatusTexts::CloseReason::TitleBar));
    EXPECT_EQ(messages.asked, QStringList{"Terminate Vantrel Sentry"});
    messages.asked.clear();
    app.gfrmStatus()->hide();   // "Exit" comes from the tray menu while the window is tucked away
    EXPECT_TRUE(app.gfrmStatus()->requestClose(StatusTexts::CloseReason::ExitItem));
    EXPECT_TRUE(messages.asked.isEmpty());
    EXPECT_FALSE(app.statusWindowExists());
}

TEST_F(StatusWindowTest, StartedForABookingItStaysReachableWithoutATray)
{
    const quint16 port = freeLoopbackPort();
    app.setEmbeddedCommandLine(QString("%1 2").arg(port));
    Task task(dir.filePath("sentry"));
    EXPECT_EQ(task.reply(), QString("BOOKED %1 %2 192.0.2.7").arg(port + 1).arg(port));
    frmStatus *window = app.gfrmStatus();
    ASSERT_NE(window, nullptr);
    // No tray here: minimised, not hidden, or nobody could bring it back.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    // The booking that brought it up already shows.
    EXPECT_EQ(window->lblPort->text(), "Connected: 1, Ready: 0/1, Pending: 0");
}

TEST_F(StatusWindowTest, TheLabelFollowsEveryBookingAndCountsOnlyThoseWithASlot)
{
    const quint16 port = startByHand("2");
    QLabel *label = app.gfrmStatus()->lblPort;
    const auto shows = [&](const QString &text) {
        return waitUntil([&] { return label->text() == text; }, 3000) ? QString() : label->text();
    };

    auto a = std::make_unique<Task>(dir.filePath("sentry"));
    ASSERT_TRUE(a->reply().startsWith(QString("BOOKED %1 ").arg(port + 1)));
    EXPECT_EQ(shows("Connected: 1, Ready: 0/1, Pending: 0"), QString());
    a->send(BookingWire::listeningRequest(true));
    EXPECT_EQ(shows("Connected: 0, Ready: 1/2, Pending: 0"), QString());

    Task b(dir.filePath("sentry"));
    ASSERT_TRUE(b.reply().startsWith(QString("BOOKED %1 ").arg(port + 3)));
    EXPECT_EQ(shows("Connected: 1, Ready: 1/1, Pending: 0"), QString());
    // A third task finds no slot: it can never serve, so it counts nowhere.
    Task c(dir.filePath("sentry"));
    ASSERT_TRUE(c.reply().startsWith("BOOKED 0 "));
    c.send(BookingWire::listeningRequest(true));
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(replyPort(server.ask('+')), port + 1);
    EXPECT_EQ(shows("Connected: 2, Ready: 0/0, Pending: 1"), QString());

    a.reset();   // its task ends while its port is offered
    EXPECT_EQ(shows("Connected: 1, Ready: 0/1, Pending: 0"), QString());
    EXPECT_EQ(app.core()->portBook()->gLiveCount(), 2);
}

TEST_F(StatusWindowTest, AStartedSentryThatNoTaskReachesEnds)
{
    QSignalSpy finished(&app, &SentryApp::finished);
    app.waitForFirstBooking(20);
    EXPECT_TRUE(waitUntil([&] { return finished.count() == 1; }, 3000));
    EXPECT_FALSE(app.statusWindowExists());
}

TEST_F(StatusWindowTest, AStartedSentryWithABookingStays)
{
    QSignalSpy finished(&app, &SentryApp::finished);
    app.setEmbeddedCommandLine(QString("%1 2").arg(freeLoopbackPort()));
    app.waitForFirstBooking(100);
    Task task(dir.filePath("sentry"));
    EXPECT_TRUE(task.reply().startsWith("BOOKED"));
    QTest::qWait(200);
    EXPECT_TRUE(finished.isEmpty());
}

// Exit chosen from the window's menu with tasks booked in: the "Sentry in Use" box comes
// up with each paragraph as one line of text, which the box wraps to its own width, and
// No keeps the Sentry running.
TEST_F(StatusWindowTest, TheSentryInUseBoxWrapsEachParagraphItself)
{
    startByHand("3");
    frmStatus *window = app.gfrmStatus();
    Task a(dir.filePath("sentry"));
    Task b(dir.filePath("sentry"));
    ASSERT_TRUE(a.reply().startsWith("BOOKED"));
    ASSERT_TRUE(b.reply().startsWith("BOOKED"));
    setUserPrompt(std::make_shared<MessageBoxPrompt>(QStringLiteral("Vantrel Sentry")));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    // Through the window system, which turns the right button into a context menu request.
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, QPoint(20, 20));
    QMenu *menu = window->trayMenu();
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }, 3000));
    QAction *exit = menu->actions().at(1);
    ASSERT_EQ(exit->text(), "Exit");

    QString title, text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::No)->click();
    });
    poll.start(10);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(exit).center());
    ASSERT_TRUE(waitUntil([&] { return !text.isEmpty(); }, 5000));

    EXPECT_EQ(title, "Sentry in Use");
    const QStringList paragraphs = text.split(QStringLiteral("\n\n"));
    ASSERT_EQ(paragraphs.size(), 3) << text.toStdString();
    for (const QString &paragraph : paragraphs)
        EXPECT_FALSE(paragraph.contains('\n')) << paragraph.toStdString();
    EXPECT_TRUE(paragraphs[1].contains("this situation is probably the result")) << text.toStdString();
    EXPECT_TRUE(app.statusWindowExists());
}

} // namespace
