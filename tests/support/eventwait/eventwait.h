#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QRandomGenerator>
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

// A port for a Sentry of a test, and its task ports above it (port + 1, + 3 … one per
// slot), all free right now. Taken below the range the system hands out for outgoing
// connections, so that no connection of a test running beside it lands on a task port
// between this check and the task's listening.
inline quint16 freeSentryPort(int slotCount)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 port = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        bool allFree = true;
        for (int i = 0; allFree && i <= 2 * slotCount; ++i) {
            QTcpServer probe;
            allFree = probe.listen(QHostAddress::AnyIPv4, quint16(port + i));
        }
        if (allFree)
            return port;
    }
    return freeLoopbackPort();
}
