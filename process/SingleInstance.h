#pragma once

#include <QLockFile>
#include <QString>

// One running copy per settings folder: a lock file beside the settings, held for
// as long as this object lives. It lives there, and not in a runtime or temporary
// folder that the environment chooses, because what two copies must not share is
// the settings file and the log it names. A lock left behind by a copy that
// crashed is taken over, because the process named in it no longer runs.
class SingleInstance
{
public:
    // folder is the one the settings file lives in; it is made when missing.
    explicit SingleInstance(const QString &folder);
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when another running copy holds the lock. When the lock cannot be
    // made at all (no usable folder) this copy runs anyway, with a warning: a
    // watchdog kept from running is worse than a second one.
    bool tryAcquire();

private:
    QString m_folder;
    QLockFile m_lock;
};
