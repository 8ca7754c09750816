#pragma once

#include <QObject>
#include <QTimer>

// A timer with the semantics the window's code was written for: an interval of 0
// never fires (a QTimer of 0 ms would fire on every idle pass), enabling a running
// timer starts its interval afresh, and a one-shot handler disables it first.
class VbTimer : public QObject
{
    Q_OBJECT
public:
    explicit VbTimer(int intervalMs = 0, QObject *parent = nullptr);

    int interval() const { return m_interval; }
    // Negative intervals are refused (the setting stays as it was).
    void setInterval(int ms);
    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);
    // Whether it will fire: enabled with an interval above 0.
    bool isActive() const { return m_timer.isActive(); }

signals:
    void timeout();

private:
    void apply();

    QTimer m_timer;
    int m_interval;
    bool m_enabled = false;
};
