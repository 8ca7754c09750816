// The window in front when a server asks for a task goes with the task the Sentry starts,
// and the task gives the focus back to it: the real VantrelSentry and the real Vantrel on
// an X server with a window manager, the test playing the user's program and the server.
//
// Needs Xvfb, openbox and xdotool (the key the user presses); without them it is skipped,
// as on CI, which has no display.
#include "eventwait.h"
#include "mserver.h"
#include "requestclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

// The test's own client of the X server: the user's program with its one window, and
// the eyes that read which window the window manager says is active.
class Desktop
{
public:
    explicit Desktop(const QByteArray &display) : m_c(xcb_connect(display.constData(), nullptr)) {}
    ~Desktop() { xcb_disconnect(m_c); }

    bool connected() const { return !xcb_connection_has_error(m_c); }

    xcb_window_t makeWindow(quint32 pid)
    {
        const xcb_window_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, root(), 0, 0, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen()->root_visual, 0, nullptr);
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(m_c, w);
        sync();
        return w;
    }

    // As a pager asks: the window manager activates it whatever window had the input.
    void activate(xcb_window_t w)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_c, 0, root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        sync();
    }

    bool managerRuns() { return property32(root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW) != 0; }
    xcb_window_t active() { return property32(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW); }
    quint32 pidOf(xcb_window_t w) { return w ? property32(w, "_NET_WM_PID", XCB_ATOM_CARDINAL) : 0; }

private:
    const xcb_screen_t *screen() { return xcb_setup_roots_iterator(xcb_get_setup(m_c)).data; }
    xcb_window_t root() { return screen()->root; }

    quint32 property32(xcb_window_t w, const char *name, xcb_atom_t type)
    {
        xcb_get_property_reply_t *reply =
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, atom(name), type, 0, 1), nullptr);
        quint32 value = 0;
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
            std::memcpy(&value, xcb_get_property_value(reply), 4);
        std::free(reply);
        return value;
    }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, quint16(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }

    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    xcb_connection_t *m_c;
};

QString commandLineOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll()).replace(QChar(0), QLatin1Char(' ')).trimmed();
}

class SentryForegroundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : {"Xvfb", "openbox", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(dir.isValid());

        // Xvfb picks a free display and names it on its standard output.
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        ASSERT_TRUE(xvfb.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning; }, 10000));
        display = ":" + xvfb.readLine().trimmed();
        ASSERT_GT(display.size(), 1);

        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(display));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("VANTREL_QUIET", "1");
        env.insert("VANTREL_INSTANCE_LOCK", dir.filePath("vantrel.lock"));
        env.insert("VANTREL_SENTRY_SOCKET", dir.filePath("sentry"));
        env.insert("VANTREL_SENTRY_PROGRAM", SENTRY_PROGRAM);
        env.insert("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
        env.insert("VANTREL_SENTRY_QUIET", "1");
        env.insert("VANTREL_SENTRY_TASK_PROGRAM", VANTREL_PROGRAM);

        desktop = std::make_unique<Desktop>(display);
        ASSERT_TRUE(desktop->connected());
        start(openbox, "openbox", {});
        ASSERT_TRUE(waitUntil([&] { return desktop->managerRuns(); }, 10000));
    }

    void TearDown() override
    {
        if (taskPid > 0)
            ::kill(pid_t(taskPid), SIGTERM);
        for (QProcess *p : {&sentry, &openbox, &xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000)) {
                    p->kill();
                    p->waitForFinished(3000);
                }
            }
        }
    }

    void start(QProcess &process, const QString &program, const QStringList &arguments)
    {
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(5000)) << program.toStdString();
    }

    // Asks the window manager again and again until the window has the input: a window
    // mapped meanwhile (the Sentry's own, shown after it listens) may take it first.
    bool bringToFront(xcb_window_t w)
    {
        QElapsedTimer asked;
        return waitUntil([&] {
            if (desktop->active() == w)
                return true;
            if (!asked.isValid() || asked.elapsed() > 300) {
                desktop->activate(w);
                asked.start();
            }
            return false;
        }, 20000);
    }

    QTemporaryDir dir;
    QProcess xvfb;
    QProcess openbox;
    QProcess sentry;
    QByteArray display;
    QProcessEnvironment env;
    std::unique_ptr<Desktop> desktop;
    qint64 taskPid = 0;
};

TEST_F(SentryForegroundTest, ATaskStartedForAServerGivesTheFocusBackToTheWindowThatWasInFront)
{
    const quint16 sentryPort = freeSentryPort(3);
    start(sentry, SENTRY_PROGRAM, {QString::number(sentryPort), "3"});
    ASSERT_TRUE(waitUntil([&] { return RequestClient(sentryPort).waitConnected(200); }, 10000));

    // The Sentry's status window shows once it listens; the user's window comes after it.
    ASSERT_TRUE(waitUntil([&] { return desktop->pidOf(desktop->active()) == quint32(sentry.processId()); }, 20000));

    // The user works in their own program when the server asks for a debugger.
    const quint32 ourPid = quint32(::getpid());
    const xcb_window_t front = desktop->makeWindow(ourPid);
    ASSERT_TRUE(bringToFront(front));

    RequestClient server(sentryPort);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    const quint16 port = readyTaskPort(sentryPort, 30000);   // "+" never starts a task
    ASSERT_NE(port, 0);

    // The task's window comes up in front: it is the one the Sentry started, for the
    // window that was in front.
    ASSERT_TRUE(waitUntil([&] {
        const quint32 pid = desktop->pidOf(desktop->active());
        if (pid != 0 && pid != ourPid && pid != quint32(sentry.processId()))
            taskPid = pid;
        return taskPid != 0;
    }, 20000));
    EXPECT_EQ(commandLineOf(taskPid).toStdString(), QString(VANTREL_PROGRAM " SQ%1").arg(front).toStdString());

    // The session is taken while the task's own window is in front, so the task knows the
    // user's program only from its command line. The user goes back to it while the
    // application runs to its stop.
    using namespace mserver;
    std::atomic<bool> greeted{false};
    std::atomic<bool> userBack{false};
    std::atomic<int> fetchesAnswered{0};
    MServer m({
        connectTo(port),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "4711", "USER"}),
        expectAck(),
        expect({"IAM", "**"}),
        expect({"BonE", "**"}),
        expect({"CC", "**"}),
        expect({"STPin"}),
        answer({"NS"}, {"NS", "USER"}),
        expectAck(),
        expectAck(),
        call("wait for the user to be back in their program", [&](Peer &, QString &why) {
            greeted = true;
            for (int waited = 0; !userBack; waited += 10) {
                if (waited > 20000) {
                    why = "the user's program never came back to the front";
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return true;
        }),
        // A stop whose level names no routine: nothing to fetch.
        send({"STKtop", "1", "USER", "", "", "0", "0"}),
        expectAck(),
        send({"STP", "1"}),
        expectAck(),
        // Until the user's Go: every fetch of the level's variables finds none.
        call("answer variable fetches until GO", [&fetchesAnswered](Peer &peer, QString &why) {
            for (;;) {
                Fields frame;
                if (!peer.readFrame(frame, why))
                    return false;
                if (frame.value(0) == "GO")
                    return true;
                if (frame.value(0) == "VAR*") {
                    if (!peer.sendFrame({"VARend"})) {
                        why = "the link closed";
                        return false;
                    }
                    ++fetchesAnswered;
                }
            }
        }),
    });
    m.setStepTimeoutMs(30000);
    m.start();
    ASSERT_TRUE(waitUntil([&] { return greeted || m.finished(); }, 30000)) << m.failure().toStdString();
    ASSERT_TRUE(bringToFront(front));
    userBack = true;

    // The stop brings the debugger in front of the user's program...
    ASSERT_TRUE(waitUntil([&] { return desktop->pidOf(desktop->active()) == quint32(taskPid) || m.finished(); },
                          30000))
        << m.failure().toStdString();
    ASSERT_EQ(desktop->pidOf(desktop->active()), quint32(taskPid)) << m.failure().toStdString();
    // ...the user presses Go there once the stop is shown (its variables are fetched after
    // it), and once the application runs the focus goes back. The window comes to the
    // front before the stop is handled, and a key given while the task is still busy with
    // it does nothing: like a user, the test presses again when nothing happened.
    ASSERT_TRUE(waitUntil([&] { return fetchesAnswered > 0 || m.finished(); }, 30000)) << m.failure().toStdString();
    QElapsedTimer pressing;
    pressing.start();
    do {
        QProcess key;
        key.setProcessEnvironment(env);
        key.start("xdotool", {"key", "F5"});
        ASSERT_TRUE(key.waitForFinished(30000));
    } while (!waitUntil([&] { return m.finished(); }, 5000) && pressing.elapsed() < 60000);
    ASSERT_TRUE(m.wait(1000)) << m.failure().toStdString();
    EXPECT_TRUE(waitUntil([&] { return desktop->active() == front; }, 15000))
        << "active: " << desktop->active() << ", front: " << front;
}

} // namespace
