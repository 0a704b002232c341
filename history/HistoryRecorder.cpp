#include "HistoryRecorder.h"

#include "Clock.h"
#include "HistoryRetention.h"
#include "HistoryStore.h"

HistoryRecorder::HistoryRecorder(HistoryStore &store, const Clock &clock)
    : m_store(store), m_clock(clock)
{
}

qint64 HistoryRecorder::nowMs() const
{
    return m_clock.epochMs();
}

void HistoryRecorder::watchStarted()
{
    if (!m_enabled)
        return;
    m_outage.forget();
    m_store.closeLeftOpenOutage();
    m_store.addEvent(nowMs(), HistoryEvent::Start);
}

void HistoryRecorder::cycleDone(const CycleReport &report)
{
    if (!m_enabled)
        return;
    m_outage.cycleDone(report.answered, m_clock.monotonicMs());
    m_store.addCycle(nowMs(), report, whenToWrite());
    foldIfDue();
}

void HistoryRecorder::outageStarted()
{
    if (!m_enabled)
        return;
    m_outage.started(m_clock.monotonicMs());
    m_store.startOutage(nowMs());
}

void HistoryRecorder::outageEnded()
{
    if (!m_enabled || !m_outage.lasting())
        return;
    const qint64 monotonicMs = m_clock.monotonicMs();
    m_outage.ended(monotonicMs);
    m_store.endOutage(m_outage.lengthMs(monotonicMs));
    m_outage.forget();
}

void HistoryRecorder::commandSent(CommandKind kind, const QString &command)
{
    if (!m_enabled)
        return;
    HistoryEvent event = HistoryEvent::Scheduled;
    if (kind == CommandKind::Fail)
        event = HistoryEvent::FailCommand;
    else if (kind == CommandKind::FailTest)
        event = HistoryEvent::FailTest;
    m_store.addEvent(nowMs(), event, command);
}

void HistoryRecorder::consoleReceived(const QByteArray &bytes)
{
    if (!m_enabled)
        return;
    m_store.addConsole(bytes, whenToWrite());
}

void HistoryRecorder::watchTicked()
{
    if (m_enabled)
        m_store.writeIfDue();
}

void HistoryRecorder::watchStopped()
{
    if (!m_enabled)
        return;
    if (m_outage.lasting())
        m_store.endOutage(m_outage.lengthToLastCycleMs(), OutageEnd::Stop);
    m_outage.forget();
    m_store.addEvent(nowMs(), HistoryEvent::Stop);
    m_store.finish();
}

HistoryStore::Write HistoryRecorder::whenToWrite() const
{
    // A line that is down is never late in the file; one that is up may be a few
    // seconds late, for one transaction every few cycles rather than one a cycle.
    return m_outage.lasting() ? HistoryStore::Write::Now : HistoryStore::Write::Soon;
}

void HistoryRecorder::foldIfDue()
{
    if (!m_folding) {
        const qint64 monotonicMs = m_clock.monotonicMs();
        if (m_nextPassMs && monotonicMs < *m_nextPassMs)
            return;
        m_folding = true;
        // From the start of this pass, so that a pass an hour keeps up with an hour's
        // cycles however many cycles each pass takes.
        m_nextPassMs = monotonicMs + kHourMs;
    }
    m_folding = m_store.foldBatch(nowMs());
}
