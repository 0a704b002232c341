#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>

#include <limits>

// Reads the event log as it grows and checks it: every entry whole, the headers'
// times never going back, every byte the router sent present and in order, and the
// program's own entries known and counted. Only a day's text is held at a time.
class LogFollower
{
public:
    struct Counts
    {
        qint64 entries = 0;
        qint64 failSends = 0;
        qint64 noResponses = 0;
        qint64 scheduledSends = 0;
        qint64 consoleBytes = 0;
    };

    LogFollower(QString path, QString failSendMessage, const QStringList &scheduledCommands);

    // Reads what the log gained since the last call; console holds what the port
    // handed over meanwhile. The last entry stays open, as the router may go on.
    void follow(const QByteArray &console);
    // The log is complete: checks its last entry and that no byte went missing.
    void finish();

    const QString &failure() const { return m_failure; }
    const Counts &counts() const { return m_counts; }

private:
    void Scan(bool toEnd);
    void CheckEntry(const QRegularExpressionMatch &header, QStringView segment, bool nextIsSystem);
    void CheckSystemEntry(const QRegularExpressionMatch &header, QStringView body, QDate date);
    void MatchConsole(QStringView text);
    void Fail(const QString &what);

    QString m_path;
    QString m_failSendMessage;
    QStringList m_scheduledMessages;
    QList<QDate> m_lastScheduledDate;
    QString m_dateFormat;
    QString m_timeFormat;

    qint64 m_offset = 0;
    bool m_started = false;
    // The log's text from the start of its last, possibly unfinished, entry on.
    QString m_pending;
    // Received bytes not yet found in the log.
    QByteArray m_console;
    qsizetype m_consoleUsed = 0;
    qint64 m_lastHeaderMs = std::numeric_limits<qint64>::min();
    QString m_lastHeader;
    Counts m_counts;
    QString m_failure;
};
