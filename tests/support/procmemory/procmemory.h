#pragma once

// This process's memory as the kernel counts it (Linux /proc), for tests and benchmarks
// that bound what a peer can make the program hold.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <cstring>

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
inline qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The peak resident size ("VmHWM:") starts again from the current one; false where the
// kernel does not offer it (before Linux 4.0).
inline bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
