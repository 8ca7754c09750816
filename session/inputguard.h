#pragma once

#include <QList>
#include <QObject>

#include <optional>

class QWidget;
class QWindow;

// Drops what the user gave a window while it was switched off for a wait on the server.
//
// The wait dispatches nothing, so the clicks and keys of that time stay queued in the
// window system and reach the window only once it is switched on again: a click on Go
// Fast would run the application after a save, typed keys would land in the routine.
// Each wait is kept as a span of the window system's input clock (inputClockNow()); input
// stamped within a span and addressed to the window or to anything it owns (its panes,
// its dialogs) is dropped when it arrives, as the switched-off window would have dropped
// it. Input stamped after the last span goes through at once and tells that nothing of the
// waits is queued any more.
//
// Only presses, releases, the wheel, keys and touches are dropped: moves and hovering do
// nothing a user would have to undo. Without a clock nothing is dropped.
class InputGuard : public QObject
{
    Q_OBJECT
public:
    // Owned by, and guarding, window.
    explicit InputGuard(QWidget *window);

    void waitStarts();
    void waitEnds();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Span
    {
        quint32 from;
        quint32 to;
    };

    bool withinAWait(quint32 stamp) const;
    bool afterTheLastWait(quint32 stamp) const;
    bool addressedToWindow(QObject *receiver) const;
    static QWidget *widgetOf(QWindow *window);

    QWidget *m_window;                     // the guarded window, this object's parent
    std::optional<quint32> m_waitStarted;  // the running wait's start, when the clock said
    QList<Span> m_spans;                   // waits whose input may still be queued
};
