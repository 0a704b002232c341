#pragma once

#include "HistoryFileClaim.h"
#include "HistorySource.h"
#include "HistoryStorePath.h"
#include "WatchEvents.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class LogWriter;
class MessageBoxes;
class SqliteConnection;
struct SqlFailure;

// What the history records beside the cycles.
enum class HistoryEvent
{
    Start,
    Stop,
    FailCommand,
    FailTest,
    Scheduled,
};

enum class OutageEnd
{
    // An address answered again.
    LineBack,
    // The program stopped; the outage ends at its last cycle.
    Stop,
};

// The history in an SQLite file, written as the watch goes on and read by the History
// window. It never stops nor holds up the watch: what it is given waits in a bounded
// queue and goes into the file in one transaction as soon as the file can be written,
// so that another program holding the file's lock only delays the writing. Records
// given as Write::Soon wait up to kWriteWithinMs and go in together: each transaction
// costs SQLite's lock and write calls, and a quiet line gives a row a second. A file
// that cannot be opened or written is told once per run of failures, in the log and
// in a warning box, and the store tries again a minute later. A damaged file, or one
// of another program, is moved aside under a timestamped name and a new one is
// started; so is a file deleted or replaced while the store has it open. A path that
// is no regular file, or a store that another monitor writes, is told once and the
// watch goes on without history. Opens at the first write, not before.
class HistoryStore final : public HistorySource
{
public:
    // When a record goes into the file: at once, or together with what follows within
    // kWriteWithinMs. Events and an outage's start and end always go at once.
    enum class Write
    {
        Now,
        Soon,
    };
    static constexpr qint64 kWriteWithinMs = 5000;

    HistoryStore(QString path, const Clock &clock, LogWriter &log, MessageBoxes &boxes);
    ~HistoryStore() override;

    const QString &path() const { return m_path; }

    // Times are milliseconds since the epoch. Two cycles never share a time: a
    // cycle in the same millisecond as the one before goes one later.
    void addCycle(qint64 atMs, const CycleReport &report, Write when);
    void addEvent(qint64 atMs, HistoryEvent event, const QString &command = {});
    void startOutage(qint64 atMs);
    // Ends the open outage lengthMs after its start, a length the caller measured on
    // the monotonic clock: a wall clock set meanwhile moves neither end.
    void endOutage(qint64 lengthMs, OutageEnd end = OutageEnd::LineBack);
    // Kept only up to the first 2 KB of each outage.
    void addConsole(const QByteArray &bytes, Write when);
    // An outage left open by a crash ends at the last cycle recorded, marked as ended
    // unwatched: the program saw nothing after it.
    void closeLeftOpenOutage();
    // Writes what has waited kWriteWithinMs or longer. Called each second, it keeps the
    // file at most that second more behind, without a timer of its own.
    void writeIfDue();
    // One batch of the retention work, after what waits; returns whether more batches
    // are waiting.
    bool foldBatch(qint64 nowMs);
    // At a clean stop: writes what waits, giving another connection's lock a moment.
    // The stop line is the log's last: what goes wrong from here goes to stderr.
    void finish();
    // What waits to be written.
    qsizetype waiting() const { return qsizetype(m_waiting.size()); }

    // Writes what waits first, so that a reader in this process sees every record.
    HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) override;

private:
    struct Statements;

    void record(Write when, std::function<void()> work);
    void flush();
    bool ready();
    void open();
    void close();
    void switchOff(const QString &reason);
    void failed(const SqlFailure &failure);
    void tell(const SqlFailure &failure);
    bool moveAside(const QString &reason);
    void warn(const QString &text);
    // The number a resolved address goes by in the cycles; null for none.
    QVariant resolvedId(const QString &address);

    const QString m_path;
    const Clock &m_clock;
    LogWriter &m_log;
    MessageBoxes &m_boxes;
    HistoryFileClaim m_claim;
    std::unique_ptr<SqliteConnection> m_connection;
    std::unique_ptr<Statements> m_statements;
    std::deque<std::function<void()>> m_waiting;
    // The monotonic time the first of what waits was given.
    qint64 m_waitingSinceMs = 0;
    // Records the full queue turned away since it was last written, and the time of
    // the first.
    qint64 m_dropped = 0;
    qint64 m_firstDroppedMs = 0;
    // Not used for the rest of the run.
    bool m_off = false;
    bool m_finishing = false;
    // Not before this monotonic time does a closed store try to open again.
    std::optional<qint64> m_retryAtMs;
    // A run of failures has been told; the next successful write ends it.
    bool m_failureTold = false;
    std::optional<qint64> m_openOutage;
    qint64 m_outageConsoleBytes = 0;
    QHash<QString, qint64> m_addressIds;
};
