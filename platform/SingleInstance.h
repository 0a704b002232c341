#pragma once

#include <QLockFile>
#include <QString>

// One running copy per user: a lock file in the user's runtime folder, held for as
// long as this object lives. A lock left behind by a copy that crashed is taken over,
// because the process named in it no longer runs.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &folder = UserLockFolder());
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when another running copy holds the lock. When the lock cannot be
    // made at all (no usable folder) this copy runs anyway, with a warning: a
    // watchdog kept from running is worse than a second one.
    bool tryAcquire();

    // The user's runtime folder, or the temporary folder where there is none.
    static QString UserLockFolder();

private:
    QLockFile m_lock;
};
