#include "Journal.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr qsizetype kMostCharacters = 16000;

// How the log's warnings and failures begin, or a part of their first line that
// nothing else holds. The fail command is one of them: an outage that ends in the
// cycle after it leaves no other line, and every outage is to be found among the
// warnings.
constexpr std::array kWarnings = {
    u"No response to pings.",
    u"Sending fail command.",
    u"Command not sent",
    u"Fail command not sent",
    u"No acknowledgement",
    u"Some stored",
    u"has lines that are not settings",
    u"could not be",
    u"did not finish within",
    u"skipped: the previous run",
    u"ended by signal",
    u"Error",
    u"cannot",
    u"Cannot",
    u"failed",
};

// C0 but the tab, DEL and C1: the journal shows an entry that holds one as binary
// data, and a terminal that shows the journal acts on it.
bool IsControl(QChar character)
{
    const char16_t code = character.unicode();
    return (code < 0x20 && code != u'\t') || (code >= 0x7f && code <= 0x9f);
}

// An event program that ran to its end, with a status other than 0.
bool FailedRun(const QString &line)
{
    return line.startsWith(QStringLiteral("Ran ")) && line.contains(QStringLiteral(": exit ")) &&
           !line.endsWith(QStringLiteral(": exit 0."));
}

bool IsWarning(const QString &line)
{
    if (FailedRun(line))
        return true;
    return std::any_of(kWarnings.begin(), kWarnings.end(), [&line](const char16_t *warning) {
        return line.contains(QStringView(warning));
    });
}

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
    // journald ends a record at every line end and at NUL, and reads a "<n>" that
    // follows as the next record's priority: bytes from the router, a program or the
    // settings file would forge records of their own. Any entry is one record.
    QStringList lines;
    QString line;
    for (qsizetype index = 0; index < message.size(); ++index) {
        const QChar character = message.at(index);
        if (character == u'\r' || character == u'\n') {
            if (character == u'\r' && index + 1 < message.size() && message.at(index + 1) == u'\n')
                ++index;
            lines << std::exchange(line, QString());
            continue;
        }
        line += IsControl(character) ? QChar(u' ') : character;
    }
    lines << line;
    lines.removeAll(QString());
    // The first line is Corvane's word; what follows is the router's or a program's
    // output, whose own words ("failed", "Error") say nothing of how the entry went.
    const char *priority = !lines.isEmpty() && IsWarning(lines.first()) ? SD_WARNING : SD_INFO;
    QString text = lines.join(QStringLiteral(" | "));
    // A longer line is cut by journald into records of its own, each read for a
    // priority again. At most three bytes of UTF-8 per UTF-16 unit keep it within
    // the journal's default of 48 KiB.
    if (text.size() > kMostCharacters) {
        text.truncate(kMostCharacters);
        if (text.back().isHighSurrogate())
            text.chop(1);
        text += QStringLiteral(" [cut]");
    }
    return priority + text.toUtf8() + '\n';
}
