#include "bookingwire.h"
#include "frmstatus.h"
#include "recordingprompt.h"
#include "sentryapp.h"
#include "sentrycore.h"
#include "sentrytestsupport.h"
#include "taskstarter.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

GetHost::Resolver noAddress()
{
    GetHost::Resolver r;
    r.hostName = [](int &e) -> std::optional<QString> { e = 1; return std::nullopt; };
    return r;
}

class StatusWindowStandInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app.core()->setListenAddress("127.0.0.1");
        app.core()->setResolver(noAddress());
        app.core()->taskStarter()->setLauncher([this](const QString &, const QStringList &arguments) {
            launched.append(arguments);
            return true;
        });
        ASSERT_TRUE(app.openBookingServer(dir.filePath("sentry")));
    }

    static QPoint screenCentreFor(const QWidget *window)
    {
        const QRect area = QGuiApplication::primaryScreen()->geometry();
        return {area.x() + (area.width() - window->width()) / 2, area.y() + (area.height() - window->height()) / 2};
    }

    QTemporaryDir dir;
    ScopedUserPrompt installed{std::make_shared<RecordingPrompt>()};
    SentryApp app;
    QList<QStringList> launched;
};

TEST_F(StatusWindowStandInTest, WithoutATrayTheWindowOffersTheTrayMenu)
{
    ASSERT_TRUE(app.startByHand(QString("%1 2").arg(freeLoopbackPort())));
    frmStatus *window = app.gfrmStatus();
    ASSERT_FALSE(window->hasTray());
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10), QPoint(10, 10));
    QCoreApplication::sendEvent(window, &click);
    ASSERT_TRUE(window->trayMenu()->isVisible());
    window->trayMenu()->actions().at(3)->trigger();   // "New Vantrel Task"
    EXPECT_EQ(launched, QList<QStringList>{{"S"}});
    window->trayMenu()->hide();
}

TEST_F(StatusWindowStandInTest, AWindowStartedForABookingIsCentredToo)
{
    app.setEmbeddedCommandLine(QString("%1 2").arg(freeLoopbackPort()));
    QLocalSocket task;
    task.connectToServer(dir.filePath("sentry"));
    task.write(BookingWire::bookRequest());
    ASSERT_TRUE(waitUntil([&] { return task.canReadLine(); }, 5000));
    frmStatus *window = app.gfrmStatus();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos(), screenCentreFor(window));
}

TEST_F(StatusWindowStandInTest, ATaskStartedForAServerIsToldOfNoForegroundWindow)
{
    const quint16 port = freeLoopbackPort();
    ASSERT_TRUE(app.startByHand(QString("%1 2").arg(port)));
    // Even with the Sentry's own window in front, no window can be named portably.
    app.gfrmStatus()->activateWindow();
    waitUntil([] { return QGuiApplication::focusWindow() != nullptr; }, 500);
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    EXPECT_EQ(launched, QList<QStringList>{{"SQ0"}});
}

} // namespace
