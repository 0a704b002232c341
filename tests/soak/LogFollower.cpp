#include "LogFollower.h"

#include "LocaleText.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kCommunications = QStringLiteral("Communications");
const QString kNoResponse = QStringLiteral("No response to pings.");
// A spaced entry: a blank line, the header, the message, a blank line.
const QString kSpacer = QStringLiteral(" \r\n");
const QString kMessageEnd = QStringLiteral("\r\n \r\n");

// The link drops the line ends that open a received chunk; nothing else may go
// missing between the port and the log.
constexpr uchar kLastDroppableCode = 26;

// A header in the short date and long time forms of the C locale, which the test
// pins: "1 Mar 2026 23:59:45  [System Message]".
const QRegularExpression kHeader(QStringLiteral(
    R"((\d{1,2} [A-Z][a-z]{2} \d{4}) (\d{2}:\d{2}:\d{2})  \[(System Message|Communications)\]\r\n)"));

bool IsSystem(const QRegularExpressionMatch &header)
{
    return header.capturedView(3) != kCommunications;
}

} // namespace

LogFollower::LogFollower(QString path, QString failSendMessage,
                         const QStringList &scheduledCommands)
    : m_path(std::move(path)), m_failSendMessage(std::move(failSendMessage)),
      m_lastScheduledDate(scheduledCommands.size()),
      m_dateFormat(QLocale().dateFormat(QLocale::ShortFormat)), m_timeFormat(LongTimeFormat())
{
    for (const QString &command : scheduledCommands)
        m_scheduledMessages.append(QStringLiteral("Sending scheduled command: ") + command);
}

void LogFollower::follow(const QByteArray &console)
{
    m_console.append(console);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset)) {
        Fail(QStringLiteral("cannot read the log: %1").arg(file.errorString()));
        return;
    }
    const QByteArray appended = file.readAll();
    m_offset += appended.size();
    m_pending.append(QString::fromLatin1(appended));
    Scan(false);
}

void LogFollower::finish()
{
    Scan(true);
    for (qsizetype index = m_consoleUsed; index < m_console.size(); ++index) {
        if (uchar(m_console.at(index)) > kLastDroppableCode) {
            Fail(QStringLiteral("%1 received bytes never reached the log")
                     .arg(m_console.size() - index));
            return;
        }
    }
}

void LogFollower::Scan(bool toEnd)
{
    QRegularExpressionMatch current;
    QRegularExpressionMatchIterator headers = kHeader.globalMatch(m_pending);
    while (headers.hasNext() && m_failure.isEmpty()) {
        const QRegularExpressionMatch next = headers.next();
        if (current.hasMatch()) {
            CheckEntry(current,
                       QStringView(m_pending).sliced(current.capturedEnd(),
                                                     next.capturedStart() - current.capturedEnd()),
                       IsSystem(next));
        } else if (!m_started) {
            // The file opens with a header, or with the blank line of a spaced one.
            const QStringView lead = QStringView(m_pending).first(next.capturedStart());
            if (lead != (IsSystem(next) ? kSpacer : QString()))
                Fail(QStringLiteral("the log opens with stray text \"%1\"").arg(lead));
            m_started = true;
        } else if (next.capturedStart() != 0) {
            Fail(QStringLiteral("text before the header \"%1\"").arg(next.captured()));
        }
        current = next;
    }
    if (!m_failure.isEmpty())
        return;

    if (!current.hasMatch()) {
        if (toEnd && !m_pending.isEmpty())
            Fail(QStringLiteral("the log ends in text without a header"));
        return;
    }
    if (toEnd) {
        CheckEntry(current, QStringView(m_pending).sliced(current.capturedEnd()), false);
        m_pending.clear();
    } else {
        m_pending.remove(0, current.capturedStart());
    }
    m_console.remove(0, m_consoleUsed);
    m_consoleUsed = 0;
    // A day with a long listing would otherwise leave its size reserved for good,
    // and the run's memory is measured with these buffers in it.
    m_pending.squeeze();
    m_console.squeeze();
}

void LogFollower::CheckEntry(const QRegularExpressionMatch &header, QStringView segment,
                             bool nextIsSystem)
{
    ++m_counts.entries;
    m_lastHeader = header.captured().trimmed();
    const QDate date = QDate::fromString(header.captured(1), m_dateFormat);
    const QTime time = QTime::fromString(header.captured(2), m_timeFormat);
    if (!date.isValid() || !time.isValid()) {
        Fail(QStringLiteral("unreadable header"));
        return;
    }
    const qint64 headerMs = date.toJulianDay() * 86'400'000 + time.msecsSinceStartOfDay();
    if (headerMs < m_lastHeaderMs) {
        Fail(QStringLiteral("the header's time goes back"));
        return;
    }
    m_lastHeaderMs = headerMs;

    // The blank line that opens the next entry, when that one is spaced.
    QStringView body = segment;
    if (nextIsSystem) {
        if (!body.endsWith(kSpacer)) {
            Fail(QStringLiteral("no blank line before the next entry"));
            return;
        }
        body.chop(kSpacer.size());
    }
    if (IsSystem(header))
        CheckSystemEntry(header, body, date);
    else
        MatchConsole(body);
}

void LogFollower::CheckSystemEntry(const QRegularExpressionMatch &header, QStringView body,
                                   QDate date)
{
    const auto opensWith = [body](const QString &message) {
        return body.startsWith(message) && body.sliced(message.size()).startsWith(kMessageEnd);
    };

    qsizetype messageSize = 0;
    if (opensWith(m_failSendMessage)) {
        ++m_counts.failSends;
        messageSize = m_failSendMessage.size();
    } else if (opensWith(kNoResponse)) {
        ++m_counts.noResponses;
        messageSize = kNoResponse.size();
    } else {
        const auto found =
            std::find_if(m_scheduledMessages.cbegin(), m_scheduledMessages.cend(), opensWith);
        if (found == m_scheduledMessages.cend()) {
            Fail(QStringLiteral("unknown entry \"%1\"").arg(body.left(80)));
            return;
        }
        const qsizetype slot = found - m_scheduledMessages.cbegin();
        if (m_lastScheduledDate[slot] == date) {
            Fail(QStringLiteral("slot %1 sent twice on %2").arg(slot).arg(header.captured(1)));
            return;
        }
        m_lastScheduledDate[slot] = date;
        ++m_counts.scheduledSends;
        messageSize = found->size();
    }
    // Text the router sent right after an earlier chunk continues that chunk, with
    // no header of its own, wherever the log stands.
    MatchConsole(body.sliced(messageSize + kMessageEnd.size()));
}

void LogFollower::MatchConsole(QStringView text)
{
    for (const QChar character : text) {
        const ushort wanted = character.unicode();
        while (m_consoleUsed < m_console.size() && uchar(m_console.at(m_consoleUsed)) != wanted) {
            if (uchar(m_console.at(m_consoleUsed)) > kLastDroppableCode) {
                Fail(QStringLiteral("received byte %1 is missing from the log")
                         .arg(uchar(m_console.at(m_consoleUsed))));
                return;
            }
            ++m_consoleUsed;
        }
        if (m_consoleUsed == m_console.size()) {
            Fail(QStringLiteral("the log holds byte %1 that the router never sent").arg(wanted));
            return;
        }
        ++m_consoleUsed;
        ++m_counts.consoleBytes;
    }
}

void LogFollower::Fail(const QString &what)
{
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("log, at \"%1\": %2").arg(m_lastHeader, what);
}
