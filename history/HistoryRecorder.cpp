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
    m_store.closeLeftOpenOutage();
    m_store.addEvent(nowMs(), HistoryEvent::Start);
}

void HistoryRecorder::cycleDone(const CycleReport &report)
{
    const qint64 cycleMs = nowMs();
    if (!report.answered)
        m_firstAnswerMs.reset();
    else if (!m_firstAnswerMs)
        m_firstAnswerMs = cycleMs;
    m_store.addCycle(cycleMs, report);
    foldIfDue();
}

void HistoryRecorder::outageStarted()
{
    m_store.startOutage(nowMs());
}

void HistoryRecorder::outageEnded()
{
    // The line was back from the first of the answers the watch waited for.
    m_store.endOutage(m_firstAnswerMs.value_or(nowMs()));
    m_firstAnswerMs.reset();
}

void HistoryRecorder::commandSent(CommandKind kind, const QString &command)
{
    HistoryEvent event = HistoryEvent::Scheduled;
    if (kind == CommandKind::Fail)
        event = HistoryEvent::FailCommand;
    else if (kind == CommandKind::FailTest)
        event = HistoryEvent::FailTest;
    m_store.addEvent(nowMs(), event, command);
}

void HistoryRecorder::consoleReceived(const QByteArray &bytes)
{
    m_store.addConsole(bytes);
}

void HistoryRecorder::watchStopped()
{
    m_store.addEvent(nowMs(), HistoryEvent::Stop);
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
