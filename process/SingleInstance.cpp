#include "SingleInstance.h"

#include <QDebug>
#include <QDir>

SingleInstance::SingleInstance(const QString &folder)
    : m_folder(folder), m_lock(QDir(folder).filePath(QStringLiteral("Corvane.lock")))
{
    // The lock is held for the whole run, so its age says nothing: only a lock whose
    // process is gone may count as stale, also on file systems without native locks,
    // where the lock file would otherwise be judged by its age.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    if (m_lock.isLocked())
        return true;
    // On a first run the settings folder does not exist yet.
    QDir().mkpath(m_folder);
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() == QLockFile::LockFailedError)
        return false;
    qWarning().noquote() << QStringLiteral("Cannot make the lock file in %1 (error %2); running "
                                           "without the one-copy check.")
                                .arg(QDir(m_folder).absolutePath())
                                .arg(int(m_lock.error()));
    return true;
}
