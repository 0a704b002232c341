#include "PortOpenFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The reason Qt gives when another process holds the port's lock file, or when it
// cannot take the lock at all.
const QString kLockFailed = QStringLiteral("Permission error while locking the device");

// The lock file Qt uses for the device: LCK.. and the device's name below /dev,
// with any further slash made an underscore.
std::optional<QString> FindLockFile(const QString &device, const QStringList &lockFolders)
{
    QString name = device;
    if (name.startsWith(QStringLiteral("/dev/")))
        name.remove(0, 5);
    name.replace(u'/', u'_');
    for (const QString &folder : lockFolders) {
        const QFileInfo lock(QDir(folder).filePath(QStringLiteral("LCK..") + name));
        if (lock.exists())
            return lock.canonicalFilePath();
    }
    return std::nullopt;
}

// Lock files hold the PID as text on their first line, padded or not.
std::optional<qint64> LockHolder(const QString &lockFile)
{
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool converted = false;
    const qint64 pid = file.readLine(64).trimmed().toLongLong(&converted);
    if (!converted || pid <= 0)
        return std::nullopt;
    return pid;
}

bool Lives(qint64 pid)
{
    // Another user's process answers that we may not signal it: it lives too.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString ProgramName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

QString LockText(const QString &portName, const QString &lockFile)
{
    const QFileInfo lock(lockFile);
    const QString owner = lock.owner().isEmpty() ? QString::number(lock.ownerId()) : lock.owner();
    // /run/lock lets only a file's owner remove it.
    const QString asOwner = lock.ownerId() == ::geteuid() ? QString() : QStringLiteral("sudo ");
    const QString locked = QStringLiteral("Cannot open %1: it is locked by %2 (owner %3")
                               .arg(portName, lockFile, owner);
    const std::optional<qint64> pid = LockHolder(lockFile);
    if (!pid)
        return locked + QStringLiteral(", no PID in it). If no program uses the port, remove "
                                       "the lock:\n  %1rm %2")
                            .arg(asOwner, lockFile);
    if (!Lives(*pid))
        return locked + QStringLiteral(", PID %1, which no longer runs). Remove the stale "
                                       "lock:\n  %2rm %3")
                            .arg(*pid)
                            .arg(asOwner, lockFile);
    const QString program = ProgramName(*pid);
    return locked +
           QStringLiteral(", PID %1%2, which still runs and holds the port). Close that "
                          "program, or end it:\n  %3kill %1")
               .arg(*pid)
               .arg(program.isEmpty() ? QString() : QStringLiteral(" ") + program, asOwner);
}

// The mode as ls shows it: "crw-rw----".
QString ModeText(mode_t mode)
{
    const char type = S_ISCHR(mode)    ? 'c'
                      : S_ISBLK(mode)  ? 'b'
                      : S_ISDIR(mode)  ? 'd'
                      : S_ISFIFO(mode) ? 'p'
                      : S_ISSOCK(mode) ? 's'
                                       : '-';
    QString text(1, QLatin1Char(type));
    const char *const letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

bool InGroup(gid_t group)
{
    if (::getegid() == group)
        return true;
    std::vector<gid_t> groups(std::size_t(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(int(groups.size()), groups.data());
    groups.resize(std::size_t(std::max(count, 0)));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// How to get the permission the device refused. Joining its group helps only when the
// group may read and write it and the user is neither in it already nor its owner
// (whose own bits then count, not the group's); and root's group is never one to
// join. Otherwise the owner and the mode say who may open it.
QString PermissionText(const QString &device)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0)
        return {};
    const QFileInfo file(device);
    const QString owner = file.owner().isEmpty() ? QString::number(status.st_uid) : file.owner();
    const QString group = file.group().isEmpty() ? QString::number(status.st_gid) : file.group();
    const bool groupMay = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const bool hasRights = status.st_uid == ::geteuid() || InGroup(status.st_gid);
    if (groupMay && status.st_gid != 0 && !hasRights)
        return QStringLiteral(" Add yourself to the %1 group (`sudo adduser $USER %1`), then "
                              "log in again.")
            .arg(group);
    const QString named = QStringLiteral(" %1 is owned by %2, group %3, mode %4: ")
                              .arg(device, owner, group, ModeText(status.st_mode));
    if (groupMay && status.st_gid != 0)
        return named + QStringLiteral("this user already has its owner's or its group's rights, "
                                      "so something beyond them refuses it, such as an access "
                                      "list or a security module.");
    return named +
           (groupMay ? QStringLiteral("only root's group may read and write it")
                     : QStringLiteral("its group may not read and write it")) +
           QStringLiteral(". An administrator can give it to a group that may read and write it "
                          "(a udev rule), which you then join.");
}

} // namespace

const QStringList &SerialLockFolders()
{
    static const QStringList folders{QStringLiteral("/var/lock"),
                                     QStringLiteral("/etc/locks"),
                                     QStringLiteral("/var/spool/locks"),
                                     QStringLiteral("/var/spool/uucp"),
                                     QStringLiteral("/tmp"),
                                     QStringLiteral("/var/tmp"),
                                     QStringLiteral("/run/lock")};
    return folders;
}

QString PortOpenFailureText(const QString &portName, const QString &device,
                            QSerialPort::SerialPortError error, const QString &reason,
                            const QStringList &lockFolders)
{
    QString plain = QStringLiteral("Cannot open %1: %2.").arg(portName, reason);
    if (error != QSerialPort::PermissionError)
        return plain;
    if (reason == kLockFailed) {
        if (const std::optional<QString> lockFile = FindLockFile(device, lockFolders))
            return LockText(portName, *lockFile);
        return plain;
    }
    return plain + PermissionText(device);
}
