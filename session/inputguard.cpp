#include "inputguard.h"

#include "inputclock.h"

#include <QApplication>
#include <QInputEvent>
#include <QWidget>
#include <QWindow>

namespace {

// Waits whose input is still queued are only the last few; the bound keeps a window
// system that never sends later input from growing the list.
constexpr int MaxSpans = 32;

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
        return true;
    default:
        return false;
    }
}

// A move does nothing a user would have to undo; a press would.
bool actsOnTheWindow(QEvent::Type type)
{
    return type != QEvent::MouseMove && type != QEvent::TabletMove;
}

} // namespace

InputGuard::InputGuard(QWidget *window) : QObject(window), m_window(window)
{
}

void InputGuard::waitStarts()
{
    m_waitStarted = inputClockNow();
}

void InputGuard::waitEnds()
{
    const std::optional<quint32> started = std::exchange(m_waitStarted, std::nullopt);
    const std::optional<quint32> ended = inputClockNow();
    if (!started || !ended)
        return;
    m_spans.append({*started, *ended});
    if (m_spans.size() > MaxSpans)
        m_spans.removeFirst();
    // Installed anew each time: the filter installed last is asked first, before one that
    // might act on a key itself.
    qApp->installEventFilter(this);
}

bool InputGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (!isInput(event->type()))
        return false;
    const quint32 stamp = quint32(static_cast<QInputEvent *>(event)->timestamp());
    // Stamp 0: made up by the program itself, not given through the window system.
    if (stamp == 0)
        return false;
    if (withinAWait(stamp)) {
        if (!actsOnTheWindow(event->type()) || !addressedToWindow(watched))
            return false;
        // Claimed, so that no menu shortcut runs for the key either; the key itself then
        // comes, with the same stamp, and is dropped too.
        if (event->type() == QEvent::ShortcutOverride)
            event->accept();
        return true;
    }
    if (afterTheLastWait(stamp)) {
        m_spans.clear();
        qApp->removeEventFilter(this);
    }
    return false;
}

bool InputGuard::withinAWait(quint32 stamp) const
{
    for (const Span &span : m_spans) {
        if (quint32(stamp - span.from) <= quint32(span.to - span.from))
            return true;
    }
    return false;
}

bool InputGuard::afterTheLastWait(quint32 stamp) const
{
    return !m_spans.isEmpty() && qint32(stamp - m_spans.last().to) > 0;
}

bool InputGuard::addressedToWindow(QObject *receiver) const
{
    QWidget *widget = qobject_cast<QWidget *>(receiver);
    if (!widget) {
        if (auto *window = qobject_cast<QWindow *>(receiver))
            widget = widgetOf(window);
    }
    for (; widget; widget = widget->parentWidget()) {
        if (widget == m_window)
            return true;
    }
    return false;
}

// Input comes to the platform window of a top-level widget first, which hands it to the
// widget under the pointer or with the focus; dropped there, it moves no focus either.
QWidget *InputGuard::widgetOf(QWindow *window)
{
    while (window->parent())
        window = window->parent();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window)
            return widget;
    }
    return nullptr;
}
