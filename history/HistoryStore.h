#pragma once

#include "HistorySource.h"
#include "WatchEvents.h"

#include <QHash>
#include <QString>
#include <QVariant>

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

// The history in an SQLite file, written as the watch goes on and read by the History
// window. It never stops the watch: a file that cannot be opened or written is told
// once per run of failures, in the log and in a warning box, and the store goes on
// without it, trying again a minute later. A damaged file, or one of another program,
// is moved aside under a timestamped name and a new one is started. Opens at the
// first write, not before.
class HistoryStore final : public HistorySource
{
public:
    HistoryStore(QString path, const Clock &clock, LogWriter &log, MessageBoxes &boxes);
    ~HistoryStore() override;

    const QString &path() const { return m_path; }

    // Times are milliseconds since the epoch. Two cycles never share a time: a
    // cycle in the same millisecond as the one before goes one later.
    void addCycle(qint64 atMs, const CycleReport &report);
    void addEvent(qint64 atMs, HistoryEvent event, const QString &command = {});
    void startOutage(qint64 atMs);
    void endOutage(qint64 atMs);
    // Kept only up to the first 2 KB of each outage.
    void addConsole(const QByteArray &bytes);
    // An outage left open by a stop or a crash ends at the last cycle recorded: the
    // program saw nothing after it.
    void closeLeftOpenOutage();
    // One batch of the retention work; returns whether more batches are waiting.
    bool foldBatch(qint64 nowMs);

    HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) override;

private:
    struct Statements;

    bool ready();
    void open();
    void close();
    template <typename Work> void guarded(Work &&work);
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
    std::unique_ptr<SqliteConnection> m_connection;
    std::unique_ptr<Statements> m_statements;
    // Not before this monotonic time does a closed store try to open again.
    std::optional<qint64> m_retryAtMs;
    // A run of failures has been told; the next successful write ends it.
    bool m_failureTold = false;
    std::optional<qint64> m_openOutage;
    qint64 m_outageConsoleBytes = 0;
    QHash<QString, qint64> m_addressIds;
};
