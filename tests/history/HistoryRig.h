#pragma once

#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "RecordingLog.h"
#include "SqlStatements.h"

#include <QTemporaryDir>

inline constexpr qint32 kTimedOut = 11010;

inline ProbeReport Probe(const QString &address, qint32 status, qint32 roundTripMs = 0)
{
    ProbeReport probe;
    probe.address = address;
    probe.status = status;
    probe.roundTripMs = roundTripMs;
    return probe;
}

inline CycleReport AnsweredCycle(qint32 roundTripMs, bool byUser = false)
{
    CycleReport report;
    report.primary = Probe(QStringLiteral("127.0.0.1"), 0, roundTripMs);
    report.answered = true;
    report.byUser = byUser;
    return report;
}

inline CycleReport FailedCycle(qint16 failCount, bool byUser = false)
{
    CycleReport report;
    report.primary = Probe(QStringLiteral("127.0.0.1"), kTimedOut);
    report.secondary = Probe(QStringLiteral("127.0.0.2"), kTimedOut);
    report.failCount = failCount;
    report.byUser = byUser;
    return report;
}

// A store in a temporary folder written by the recorder on a fake clock, with the
// events in the order the watch gives them.
class HistoryRig
{
public:
    explicit HistoryRig(const QString &folder)
        : path(folder + QStringLiteral("/history.sqlite")), store(path, clock, log, boxes)
    {
    }

    qint64 nowMs() const { return clock.now().toMSecsSinceEpoch(); }

    // A new watch: the engine begins outside an outage.
    void start()
    {
        m_inOutage = false;
        m_failCount = 0;
        recorder.watchStarted();
    }
    void answer(qint32 roundTripMs, bool byUser = false, qint64 thenWaitMs = 1000)
    {
        if (m_inOutage)
            recorder.outageEnded();
        m_inOutage = false;
        m_failCount = 0;
        recorder.cycleDone(AnsweredCycle(roundTripMs, byUser));
        clock.advanceMs(thenWaitMs);
    }
    void fail(bool byUser = false, qint64 thenWaitMs = 1000)
    {
        if (!m_inOutage)
            recorder.outageStarted();
        m_inOutage = true;
        recorder.cycleDone(FailedCycle(++m_failCount, byUser));
        clock.advanceMs(thenWaitMs);
    }

    // The store's own tables, read beside the store as the command line would.
    QVariant value(const QString &sql)
    {
        SqliteConnection connection(path, SqliteConnection::Access::ReadOnly);
        connection.open();
        return SingleValue(connection.database(), sql);
    }

    const QString path;
    FakeClock clock;
    RecordingLog log;
    FakeMessageBoxes boxes;
    HistoryStore store;
    HistoryRecorder recorder{store, clock};

private:
    bool m_inOutage = false;
    qint16 m_failCount = 0;
};
