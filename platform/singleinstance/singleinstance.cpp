#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>

SingleInstance::SingleInstance(const QString &lockPath)
    : m_lock(std::make_unique<QLockFile>(lockPath))
{
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    // A live holder may keep its lock for days; only a dead holder makes it stale.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::tryLock()
{
    return m_lock->tryLock(0);
}

qint64 SingleInstance::holder(const QString &lockPath)
{
    QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    return lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}
