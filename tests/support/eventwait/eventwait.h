#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

// Runs the event loop until pred holds or ms have passed. Unlike QTest::qWaitFor
// it never sleeps between rounds, so a busy exchange runs at full speed.
template<typename Pred>
bool waitUntil(Pred pred, int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;   // wakes the loop so the time limit is noticed
    tick.start(10);
    while (!pred()) {
        if (elapsed.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A port nothing listens on right now (for a server started in another process).
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
