#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One Sentry per user: whoever holds the lock file is the Sentry. A lock left by
// a Sentry that died is recognised by its dead process and taken over.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath);
    bool tryLock();
    // The process holding the lock, or 0 when it cannot be read.
    static qint64 holder(const QString &lockPath);

private:
    std::unique_ptr<QLockFile> m_lock;
};
