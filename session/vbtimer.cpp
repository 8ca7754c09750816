#include "vbtimer.h"

VbTimer::VbTimer(int intervalMs, QObject *parent) : QObject(parent), m_interval(qMax(0, intervalMs))
{
    connect(&m_timer, &QTimer::timeout, this, &VbTimer::timeout);
}

void VbTimer::setInterval(int ms)
{
    if (ms < 0)
        return;
    m_interval = ms;
    apply();
}

void VbTimer::setEnabled(bool on)
{
    m_enabled = on;
    apply();
}

void VbTimer::apply()
{
    m_timer.stop();
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
}
