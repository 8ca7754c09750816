#include "x11foreground.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// EWMH source indication of a pager or taskbar: the user asked for the switch, so the
// window manager lets it through its focus-stealing prevention.
constexpr quint32 SourcePager = 2;

// X11 window ids are 32-bit; anything wider is not a window of this server.
bool isX11Id(quint64 window)
{
    return window != 0 && window <= 0xffffffffu;
}

xcb_atom_t existingAtom(xcb_connection_t *c, const char *name)
{
    // only_if_exists: a server that never heard of the name has no window that uses it.
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 1, quint16(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

xcb_connection_t *X11Foreground::connection()
{
#if QT_CONFIG(xcb)
    if (!qGuiApp)
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
#else
    return nullptr;
#endif
}

// Multi-head setups with a root per screen are rare enough that the first screen's
// root, the one Qt uses by default, stands for all.
quint32 X11Foreground::rootWindow()
{
    xcb_connection_t *c = connection();
    if (!c)
        return 0;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    return screens.rem > 0 ? screens.data->root : 0;
}

const X11Foreground::Atoms &X11Foreground::atoms()
{
    xcb_connection_t *c = connection();
    if (c != m_atomsOf) {
        m_atoms = Atoms();
        if (c) {
            m_atoms.activeWindow = existingAtom(c, "_NET_ACTIVE_WINDOW");
            m_atoms.wmPid = existingAtom(c, "_NET_WM_PID");
            m_atoms.supported = existingAtom(c, "_NET_SUPPORTED");
        }
        m_atomsOf = c;
    }
    return m_atoms;
}

bool X11Foreground::readProperty32(quint32 window, quint32 property, quint32 type, quint32 *value)
{
    xcb_connection_t *c = connection();
    if (!c || window == 0 || property == XCB_ATOM_NONE)
        return false;
    const xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, window, property, type, 0, 1);
    // Taking the error here keeps a vanished window (BadWindow) out of Qt's error log.
    xcb_generic_error_t *error = nullptr;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, &error);
    std::free(error);
    bool found = false;
    if (reply && reply->type == type && reply->format == 32
        && xcb_get_property_value_length(reply) >= 4) {
        *value = *static_cast<const quint32 *>(xcb_get_property_value(reply));
        found = true;
    }
    std::free(reply);
    return found;
}

bool X11Foreground::windowExists(quint32 window)
{
    xcb_connection_t *c = connection();
    if (!c || window == 0)
        return false;
    xcb_generic_error_t *error = nullptr;
    xcb_get_window_attributes_reply_t *reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error);
    std::free(error);
    const bool exists = reply != nullptr;
    std::free(reply);
    return exists;
}

bool X11Foreground::managerHandlesActivation()
{
    xcb_connection_t *c = connection();
    const Atoms &a = atoms();
    if (!c || a.activeWindow == XCB_ATOM_NONE || a.supported == XCB_ATOM_NONE)
        return false;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(c, 0, rootWindow(), a.supported, XCB_ATOM_ATOM, 0, 1024);
    xcb_generic_error_t *error = nullptr;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, &error);
    std::free(error);
    bool handles = false;
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto *list = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count && !handles; ++i)
            handles = list[i] == a.activeWindow;
    }
    std::free(reply);
    return handles;
}

void X11Foreground::requestActivation(quint32 window)
{
    xcb_connection_t *c = connection();
    const quint32 root = rootWindow();
    quint32 current = 0;
    readProperty32(root, atoms().activeWindow, XCB_ATOM_WINDOW, &current);

    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms().activeWindow;
    event.data.data32[0] = SourcePager;
    event.data.data32[1] = XCB_CURRENT_TIME;
    event.data.data32[2] = current;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    // The request must reach the window manager now, not with Qt's next flush.
    xcb_flush(c);
}

quint64 X11Foreground::foregroundWindow()
{
    quint32 active = 0;
    if (readProperty32(rootWindow(), atoms().activeWindow, XCB_ATOM_WINDOW, &active))
        return active;
    return m_portable.foregroundWindow();
}

qint64 X11Foreground::processOf(quint64 window)
{
    if (m_portable.isOurs(window))
        return QCoreApplication::applicationPid();
    quint32 pid = 0;
    if (isX11Id(window) && readProperty32(quint32(window), atoms().wmPid, XCB_ATOM_CARDINAL, &pid))
        return pid;
    return m_portable.processOf(window);
}

bool X11Foreground::isOurs(quint64 window)
{
    if (window == 0)
        return false;
    return m_portable.isOurs(window) || processOf(window) == QCoreApplication::applicationPid();
}

bool X11Foreground::activate(QWidget *window)
{
    if (!m_portable.activate(window))
        return false;
    const QWindow *handle = window->window()->windowHandle();
    if (handle && handle->handle() && managerHandlesActivation())
        requestActivation(quint32(handle->winId()));
    return true;
}

bool X11Foreground::activateForeign(quint64 window)
{
    if (!isX11Id(window) || !managerHandlesActivation() || !windowExists(quint32(window)))
        return false;
    requestActivation(quint32(window));
    return true;
}
