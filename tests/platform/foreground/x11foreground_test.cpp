#include "iforeground.h"
#include "x11foreground.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// Another client of the same X server, standing for another program: its windows are
// none of Qt's, and it says which process they belong to only through _NET_WM_PID.
class OtherClient
{
public:
    OtherClient() : m_c(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(m_c); }

    bool connected() const { return !xcb_connection_has_error(m_c); }

    // A mapped top-level window; pid 0 leaves _NET_WM_PID unset.
    quint32 makeWindow(quint32 pid)
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const xcb_window_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        if (pid != 0)
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"),
                                XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(m_c, w);
        sync();
        return w;
    }

    void destroyWindow(quint32 w)
    {
        xcb_destroy_window(m_c, w);
        sync();
    }

    // True when a window manager runs that takes _NET_ACTIVE_WINDOW requests.
    bool managerHandlesActivation()
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, screen->root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 1024),
            nullptr);
        bool handles = false;
        if (reply && reply->format == 32) {
            const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                handles = handles || atoms[i] == atom("_NET_ACTIVE_WINDOW");
        }
        std::free(reply);
        return handles;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, quint16(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }

    // A round trip: the server has carried out everything sent before it, so Qt's
    // connection sees the result.
    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

    xcb_connection_t *m_c;
};

class X11ForegroundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X server: QT_QPA_PLATFORM=xcb and a DISPLAY";
        ASSERT_TRUE(other.connected());
    }

    X11Foreground fg;
    OtherClient other;
};

} // namespace

TEST_F(X11ForegroundTest, IsThePlatformDefaultOnXcb)
{
    EXPECT_NE(dynamic_cast<X11Foreground *>(&foreground()), nullptr);
}

TEST_F(X11ForegroundTest, AnActivatedWindowOfOursIsTheForegroundAndOurs)
{
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(fg.activate(&window));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // With a window manager from _NET_ACTIVE_WINDOW, without one from Qt: the same window.
    const quint64 front = fg.foregroundWindow();
    EXPECT_EQ(front, quint64(window.winId()));
    EXPECT_TRUE(fg.isOurs(front));
    EXPECT_EQ(fg.processOf(front), QCoreApplication::applicationPid());
}

TEST_F(X11ForegroundTest, ForeignWindowsBelongToTheProcessTheyName)
{
    const qint64 ourPid = QCoreApplication::applicationPid();
    const quint32 otherPid = quint32(ourPid) + 1;   // no process of ours, whatever it is
    const quint32 foreign = other.makeWindow(otherPid);
    const quint32 silent = other.makeWindow(0);
    // A window another connection of this process made (a platform theme's dialog).
    const quint32 ownedElsewhere = other.makeWindow(quint32(ourPid));
    const quint32 gone = other.makeWindow(otherPid);
    other.destroyWindow(gone);

    const struct { const char *what; quint64 window; qint64 process; bool ours; } cases[] = {
        {"names another process", foreign, otherPid, false},
        {"names no process", silent, 0, false},
        {"names ours", ownedElsewhere, ourPid, true},
        {"destroyed", gone, 0, false},
        {"none", 0, 0, false},
        {"portable stand-in", PortableForeground::ExternalWindow, PortableForeground::ExternalProcess, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fg.processOf(c.window), c.process) << c.what;
        EXPECT_EQ(fg.isOurs(c.window), c.ours) << c.what;
    }
}

TEST_F(X11ForegroundTest, ActivateForeignRefusesWhatCannotBeActivated)
{
    const quint32 gone = other.makeWindow(0);
    other.destroyWindow(gone);
    const quint32 foreign = other.makeWindow(1);

    EXPECT_FALSE(fg.activateForeign(0));
    EXPECT_FALSE(fg.activateForeign(PortableForeground::ExternalWindow));
    EXPECT_FALSE(fg.activateForeign(gone));
    // Without a window manager nobody would carry the request out.
    EXPECT_EQ(fg.activateForeign(foreign), other.managerHandlesActivation());
}

TEST_F(X11ForegroundTest, AWindowManagerHandsTheForegroundToTheForeignWindow)
{
    if (!other.managerHandlesActivation())
        GTEST_SKIP() << "needs an EWMH window manager";
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const quint32 foreign = other.makeWindow(1);

    ASSERT_TRUE(fg.activateForeign(foreign));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fg.foregroundWindow() == foreign; }));
    EXPECT_FALSE(fg.isOurs(fg.foregroundWindow()));

    // And back, past focus-stealing prevention, as on a stop in the debugger.
    ASSERT_TRUE(fg.activate(&window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fg.isOurs(fg.foregroundWindow()); }));
}
