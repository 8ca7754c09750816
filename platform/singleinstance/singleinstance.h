#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One running copy per user: whoever holds the lock file is that copy. A lock
// left by a copy that died is recognised by its dead process and taken over;
// a live holder keeps it however long it runs.
class SingleInstance
{
public:
    // Creates the lock file's folder when it is missing; locks nothing yet.
    explicit SingleInstance(const QString &lockPath);
    // True when this process now holds the lock (released with the object).
    bool tryLock();
    // The process holding the lock, or 0 when it cannot be read.
    static qint64 holder(const QString &lockPath);

private:
    std::unique_ptr<QLockFile> m_lock;
};
