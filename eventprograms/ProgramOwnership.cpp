#include "ProgramOwnership.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QString> OwnershipRefusal(const QString &path)
{
    struct stat status = {};
    // The file itself, not a link to it: what runs is what the link leads to.
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("%1 cannot be read: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (status.st_uid != ::geteuid() && status.st_uid != 0)
        return QStringLiteral("%1 belongs to neither this user nor root").arg(path);
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("%1 may be written by others than its owner").arg(path);
    return std::nullopt;
}
