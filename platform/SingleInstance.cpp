#include "SingleInstance.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// The user id is part of the name because the temporary folder, unlike the runtime
// folder, is shared by every user.
QString LockFileName()
{
    return QStringLiteral("corvane-%1.lock").arg(::getuid());
}

} // namespace

SingleInstance::SingleInstance(const QString &folder)
    : m_lock(QDir(folder).filePath(LockFileName()))
{
    // The lock is held for the whole run, so its age says nothing: only a lock whose
    // process is gone may count as stale, also on file systems without native locks,
    // where the lock file would otherwise be judged by its age.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return true;
    if (m_lock.error() == QLockFile::LockFailedError)
        return false;
    qWarning().noquote() << QStringLiteral("Cannot make the lock file in %1 (error %2); running "
                                           "without the one-copy check.")
                                .arg(QFileInfo(m_lock.fileName()).absolutePath())
                                .arg(int(m_lock.error()));
    return true;
}

QString SingleInstance::UserLockFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}
