#include "Journal.h"

#include <QStringList>

#include <array>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

// How the log's warnings and failures begin, or a part of them that nothing else
// holds.
constexpr std::array kWarnings = {
    u"No response to pings.",
    u"Command not sent",
    u"Fail command not sent",
    u"No acknowledgement",
    u"Some stored",
    u"Some lines of the settings file",
    u"could not be started",
    u"did not finish within",
    u"skipped: the previous run",
    u"Error",
    u"cannot",
    u"Cannot",
    u"failed",
};

} // namespace

bool StderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const QList<QByteArray> parts = stream.split(':');
    struct stat status = {};
    if (parts.size() != 2 || ::fstat(STDERR_FILENO, &status) != 0)
        return false;
    bool deviceRead = false;
    bool inodeRead = false;
    const qulonglong device = parts[0].toULongLong(&deviceRead);
    const qulonglong inode = parts[1].toULongLong(&inodeRead);
    return deviceRead && inodeRead && device == status.st_dev && inode == status.st_ino;
}

QByteArray JournalLine(const QString &message)
{
    const char *priority = SD_INFO;
    if (message.contains(QStringLiteral("Sending fail command.")))
        priority = SD_NOTICE;
    else {
        for (const char16_t *warning : kWarnings) {
            if (message.contains(QStringView(warning)))
                priority = SD_WARNING;
        }
    }
    QStringList lines = message.split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return priority + lines.join(QStringLiteral(" | ")).toUtf8() + '\n';
}
