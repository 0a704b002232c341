#pragma once

#include "FileDescriptor.h"

#include <QString>

#include <optional>
#include <sys/types.h>

// What makes a history file this store's to write, beside what SQLite checks.
class HistoryFileClaim
{
public:
    explicit HistoryFileClaim(QString path);

    // Why the path cannot hold a store: it names (or links to) a device, a FIFO or a
    // folder. SQLite would otherwise open it and make its journal beside it, such as
    // /dev/null-wal. A missing file, or a link to a regular file, is fine.
    std::optional<QString> notAStore() const;

    // Takes the lock that keeps a second monitor from writing the same store; kept
    // until the object goes. Returns why it could not be taken; taken says whether
    // another process holds it.
    std::optional<QString> lock(bool &taken);

    // Whether a monitor holds the lock of the store at storePath, as a reader sees it
    // without taking anything: a monitor that starts meanwhile must not find the lock
    // taken. True also when it cannot be told.
    static bool heldByMonitor(const QString &storePath);

    // Remembers the file the store has just opened, so that one deleted or put in
    // its place later is noticed.
    void rememberFile();
    bool sameFile() const;

private:
    QString m_path;
    FileDescriptor m_lock;
    std::optional<std::pair<dev_t, ino_t>> m_file;
};
