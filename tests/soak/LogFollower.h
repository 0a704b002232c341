#pragma once

#include "LocaleText.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>

#include <limits>

// Reads the event log as it grows and checks it: every entry whole, the headers' times
// never going back, and every byte the router sent present and in order. The program's
// own entries are counted by message. Only a day's text is held at a time.
class LogFollower
{
public:
    explicit LogFollower(QString path) : m_path(std::move(path)) {}

    // Reads what the log gained since the last call; console holds what the port handed
    // over meanwhile. Unless the log is complete, its last entry stays open, as the
    // router may go on.
    void follow(const QByteArray &console, bool complete)
    {
        m_console.append(console);
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
            return Fail(QStringLiteral("cannot read the log: ") + file.errorString());
        const QByteArray appended = file.readAll();
        m_offset += appended.size();
        m_pending.append(QString::fromLatin1(appended));

        const QStringView text(m_pending);
        QRegularExpressionMatch open;
        for (auto headers = kHeader.globalMatch(m_pending);
             headers.hasNext() && failure.isEmpty();) {
            const QRegularExpressionMatch next = headers.next();
            const qsizetype from = open.hasMatch() ? open.capturedEnd() : 0;
            QStringView before = text.sliced(from, next.capturedStart() - from);
            if (IsSystem(next)) {
                if (!before.endsWith(kSpacer))
                    return Fail(QStringLiteral("no blank line before a spaced entry"));
                before.chop(kSpacer.size());
            }
            if (open.hasMatch())
                CheckEntry(open, before);
            else if (!before.isEmpty())
                Fail(QStringLiteral("stray text before a header"));
            open = next;
        }
        if (!failure.isEmpty() || !open.hasMatch()) {
            if (complete && !m_pending.isEmpty())
                Fail(QStringLiteral("the log ends in text without a header"));
            return;
        }
        if (complete) {
            CheckEntry(open, text.sliced(open.capturedEnd()));
            for (qsizetype index = m_consoleUsed; index < m_console.size(); ++index)
                if (uchar(m_console.at(index)) > kLastDroppableCode)
                    return Fail(QStringLiteral("received bytes never reached the log"));
        }
        // Kept from the blank line that opens a spaced entry, so that every pass starts
        // the way the file does.
        m_pending.remove(0, complete
                                ? m_pending.size()
                                : open.capturedStart() - (IsSystem(open) ? kSpacer.size() : 0));
        m_console.remove(0, m_consoleUsed);
        m_consoleUsed = 0;
        // A day with a long listing would otherwise leave its size reserved for good,
        // and the run's memory is measured with these buffers in it.
        m_pending.squeeze();
        m_console.squeeze();
    }

    QString failure;
    QHash<QString, qint64> messages;
    qint64 consoleBytes = 0;

private:
    // A header in the C locale's short date and long time forms, which the test pins:
    // "1 Mar 2026 23:59:45  [System Message]".
    inline static const QRegularExpression kHeader{QStringLiteral(
        R"((\d{1,2} [A-Z][a-z]{2} \d{4}) (\d{2}:\d{2}:\d{2})  \[(System Message|Communications)\]\r\n)")};
    // A spaced entry: a blank line, the header, the message, a blank line.
    inline static const QString kSpacer = QStringLiteral(" \r\n");
    inline static const QString kMessageEnd = QStringLiteral("\r\n \r\n");
    inline static const QString kLineEnd = QStringLiteral("\r\n");
    // The link drops the line ends that open a received chunk; nothing else may go
    // missing between the port and the log.
    static constexpr uchar kLastDroppableCode = 26;

    static bool IsSystem(const QRegularExpressionMatch &header)
    {
        return header.capturedView(3) != kCommunications;
    }

    void CheckEntry(const QRegularExpressionMatch &header, QStringView body)
    {
        m_lastHeader = header.captured().trimmed();
        const QDate date = QDate::fromString(header.captured(1), m_dateFormat);
        const QTime time = QTime::fromString(header.captured(2), m_timeFormat);
        const qint64 headerMs = date.toJulianDay() * 86'400'000 + time.msecsSinceStartOfDay();
        if (!date.isValid() || !time.isValid() || headerMs < m_lastHeaderMs)
            return Fail(QStringLiteral("an unreadable header, or its time goes back"));
        m_lastHeaderMs = headerMs;
        if (IsSystem(header)) {
            const qsizetype end = body.indexOf(u"\r\n");
            if (end < 0 || !body.sliced(end).startsWith(kMessageEnd))
                return Fail(QStringLiteral("an entry without its closing blank line"));
            ++messages[body.first(end).toString()];
            // Text the router sent right after an earlier chunk continues that chunk,
            // with no header of its own, wherever the log stands.
            body = body.sliced(end + kMessageEnd.size());
        }
        // The router's text never ends a line here, so a line end after it is the
        // log's own, ending the line before the next entry.
        if (body.endsWith(kLineEnd) && !body.chopped(kLineEnd.size()).endsWith(u'\n'))
            body.chop(kLineEnd.size());
        for (const QChar character : body) {
            const ushort wanted = character.unicode();
            while (m_consoleUsed < m_console.size() &&
                   uchar(m_console.at(m_consoleUsed)) != wanted) {
                if (uchar(m_console.at(m_consoleUsed)) > kLastDroppableCode)
                    return Fail(QStringLiteral("received byte %1 is missing from the log")
                                    .arg(uchar(m_console.at(m_consoleUsed))));
                ++m_consoleUsed;
            }
            if (m_consoleUsed++ == m_console.size())
                return Fail(
                    QStringLiteral("the log holds byte %1 that the router never sent").arg(wanted));
            ++consoleBytes;
        }
    }

    void Fail(const QString &what)
    {
        if (failure.isEmpty())
            failure = QStringLiteral("log, at \"%1\": %2").arg(m_lastHeader, what);
    }

    QString m_path;
    QString m_dateFormat = QLocale().dateFormat(QLocale::ShortFormat);
    QString m_timeFormat = LongTimeFormat();
    qint64 m_offset = 0;
    // The log's text from its last, possibly unfinished, entry on.
    QString m_pending;
    // Received bytes not yet found in the log.
    QByteArray m_console;
    qsizetype m_consoleUsed = 0;
    qint64 m_lastHeaderMs = std::numeric_limits<qint64>::min();
    QString m_lastHeader;
};
