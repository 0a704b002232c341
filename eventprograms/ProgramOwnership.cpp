#include "ProgramOwnership.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many links as the kernel follows in one lookup before it gives up with ELOOP.
constexpr int kMostLinks = 40;

QString Failure(const QString &path)
{
    return QStringLiteral("%1 cannot be read: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool OwnedByUs(const struct stat &status)
{
    return status.st_uid == ::geteuid() || status.st_uid == 0;
}

bool OthersMayWrite(const struct stat &status)
{
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

QString FolderRefusal(const struct stat &status, const QString &path)
{
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("%1 is not a folder").arg(path);
    // Even a sticky folder's owner may rename what others keep in it.
    if (!OwnedByUs(status))
        return QStringLiteral("the folder %1 belongs to neither this user nor root").arg(path);
    if (OthersMayWrite(status) && (status.st_mode & S_ISVTX) == 0)
        return QStringLiteral("the folder %1 may be written by others than its owner").arg(path);
    return {};
}

QString FileRefusal(const struct stat &status, const QString &path)
{
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("%1 is not a regular file").arg(path);
    if (!OwnedByUs(status))
        return QStringLiteral("%1 belongs to neither this user nor root").arg(path);
    if (OthersMayWrite(status))
        return QStringLiteral("%1 may be written by others than its owner").arg(path);
    return {};
}

// A link in a sticky folder that others may write was put there by whoever owns it,
// and leads wherever they chose; the kernel's protected_symlinks refuses to follow it
// for anyone else, and so does this walk, which follows links by itself. Only this
// user, root or the folder's owner may have made it.
QString LinkRefusal(const struct stat &link, const struct stat &folder, const QString &path)
{
    const bool shared = OthersMayWrite(folder) && (folder.st_mode & S_ISVTX) != 0;
    if (!shared || OwnedByUs(link) || link.st_uid == folder.st_uid)
        return {};
    return QStringLiteral("the link %1 in a folder others may write belongs to neither this "
                          "user, root nor the folder's owner")
        .arg(path);
}

QString Child(const QString &folder, const QString &name)
{
    return QDir::cleanPath(folder + u'/' + name);
}

// The names a link leads to, or nothing with errno set.
std::optional<QStringList> LinkTarget(int link, bool &absolute)
{
    std::array<char, 4096> target = {};
    // An O_PATH descriptor of the link itself names it with the empty path.
    const ssize_t size = ::readlinkat(link, "", target.data(), target.size());
    if (size < 0)
        return std::nullopt;
    if (std::size_t(size) == target.size()) {
        errno = ENAMETOOLONG;
        return std::nullopt;
    }
    const QString text = QFile::decodeName(QByteArray(target.data(), size));
    absolute = text.startsWith(u'/');
    return text.split(u'/', Qt::SkipEmptyParts);
}

} // namespace

TrustedFile OpenTrusted(const QString &path)
{
    // Not cleaned: ".." after a link leads on from the link's target, as the kernel
    // takes it.
    QStringList pending = QDir::current().absoluteFilePath(path).split(u'/', Qt::SkipEmptyParts);
    // The folder where the next name is looked up, already found safe, and its path.
    FileDescriptor folder;
    QString folderPath;
    struct stat folderStatus = {};
    const auto enterRoot = [&]() -> QString {
        folder.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        folderPath = QStringLiteral("/");
        if (!folder.isValid() || ::fstat(folder.get(), &folderStatus) != 0)
            return Failure(folderPath);
        return FolderRefusal(folderStatus, folderPath);
    };
    if (QString refusal = enterRoot(); !refusal.isEmpty())
        return {{}, refusal};

    int links = 0;
    while (!pending.isEmpty()) {
        const QString name = pending.takeFirst();
        if (name == u'.')
            continue;
        const QString namePath = Child(folderPath, name);
        FileDescriptor next(::openat(folder.get(), QFile::encodeName(name).constData(),
                                     O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status = {};
        if (!next.isValid() || ::fstat(next.get(), &status) != 0)
            return {{}, Failure(namePath)};

        if (S_ISLNK(status.st_mode)) {
            // The link's own folder was checked when entered: only who may write it could
            // have changed where the link leads.
            if (QString refusal = LinkRefusal(status, folderStatus, namePath); !refusal.isEmpty())
                return {{}, refusal};
            bool absolute = false;
            const std::optional<QStringList> target = LinkTarget(next.get(), absolute);
            if (++links > kMostLinks)
                errno = ELOOP;
            if (!target || links > kMostLinks)
                return {{}, Failure(namePath)};
            pending = *target + pending;
            if (absolute) {
                if (QString refusal = enterRoot(); !refusal.isEmpty())
                    return {{}, refusal};
            }
            continue;
        }
        if (pending.isEmpty()) {
            QString refusal = FileRefusal(status, namePath);
            if (!refusal.isEmpty())
                return {{}, refusal};
            return {std::move(next), {}};
        }
        if (QString refusal = FolderRefusal(status, namePath); !refusal.isEmpty())
            return {{}, refusal};
        folder = std::move(next);
        folderPath = namePath;
        folderStatus = status;
    }
    return {{}, QStringLiteral("%1 is not a regular file").arg(folderPath)};
}
