#include "HistoryFileClaim.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

struct flock WholeFile(short type)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

std::optional<std::pair<dev_t, ino_t>> Identity(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return std::pair{status.st_dev, status.st_ino};
}

} // namespace

HistoryFileClaim::HistoryFileClaim(QString path) : m_path(std::move(path)) {}

std::optional<QString> HistoryFileClaim::notAStore() const
{
    struct stat status = {};
    if (::stat(QFile::encodeName(m_path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return std::nullopt;
    return S_ISDIR(status.st_mode) ? QStringLiteral("it is a folder")
                                   : QStringLiteral("it is not a regular file");
}

std::optional<QString> HistoryFileClaim::lock(bool &taken)
{
    taken = false;
    if (m_lock.isValid())
        return std::nullopt;
    // Beside the store, not in it: SQLite's own locks on the file last only as long as
    // a transaction, and a store moved aside keeps no lock of ours.
    const QByteArray lockPath = QFile::encodeName(m_path + QStringLiteral(".lock"));
    FileDescriptor lock(::open(lockPath.constData(),
                               O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
    if (!lock.isValid())
        return QStringLiteral("its lock file cannot be opened (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        taken = errno == EWOULDBLOCK;
        return taken ? QStringLiteral("another Corvane writes it")
                     : QStringLiteral("its lock file cannot be locked (%1)")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    // A record lock beside it, which a reader can test for without taking it: a test of
    // the flock would take it for a moment. Shared, so that a read-only descriptor
    // places it. Where it fails, a report takes an outage that lasts for one that ended
    // unwatched; the store is not touched.
    struct flock whole = WholeFile(F_RDLCK);
    ::fcntl(lock.get(), F_OFD_SETLK, &whole);
    m_lock = std::move(lock);
    return std::nullopt;
}

bool HistoryFileClaim::heldByMonitor(const QString &storePath)
{
    const QByteArray lockPath = QFile::encodeName(storePath + QStringLiteral(".lock"));
    const FileDescriptor lock(
        ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!lock.isValid())
        return errno != ENOENT;
    struct flock conflict = WholeFile(F_WRLCK);
    if (::fcntl(lock.get(), F_OFD_GETLK, &conflict) != 0)
        return true;
    return conflict.l_type != F_UNLCK;
}

void HistoryFileClaim::rememberFile()
{
    m_file = Identity(m_path);
}

bool HistoryFileClaim::sameFile() const
{
    return m_file && Identity(m_path) == m_file;
}
