#pragma once

#include <QtGlobal>

#include <optional>

// One outage on the monotonic clock, as each listener of the watch measures it: from
// its first failing cycle to the first of the answered cycles in a row that ended it.
// Once the fail command has gone the watch may wait for several answers before it
// ends the outage; the line was back from the first of them, and the cycles after it
// count as answered in the availability. Each that tells an outage's length reads it
// here, so that the ledger and the notification tell the same one.
class OutageSpan
{
public:
    // Fed in the watch's order: an outage starts before its first cycle is done, and
    // ends before the cycle that ended it is done.
    void started(qint64 nowMs)
    {
        m_startMs = nowMs;
        m_endMs.reset();
        m_lastCycleMs = nowMs;
    }
    void cycleDone(bool answered, qint64 nowMs)
    {
        if (!answered)
            m_firstAnswerMs.reset();
        else if (!m_firstAnswerMs)
            m_firstAnswerMs = nowMs;
        if (lasting())
            m_lastCycleMs = nowMs;
    }
    void ended(qint64 nowMs)
    {
        if (m_startMs)
            m_endMs = m_firstAnswerMs.value_or(nowMs);
    }
    // Once the outage has been told, or when a watch starts.
    void forget()
    {
        m_startMs.reset();
        m_endMs.reset();
        m_firstAnswerMs.reset();
    }

    // Its start was seen and its end not yet.
    bool lasting() const { return m_startMs && !m_endMs; }
    // Up to its end, or to nowMs while it lasts; 0 when its start was not seen.
    qint64 lengthMs(qint64 nowMs) const
    {
        return m_startMs ? m_endMs.value_or(nowMs) - *m_startMs : 0;
    }
    // Up to its last cycle: all a stop can say of an outage that lasts.
    qint64 lengthToLastCycleMs() const { return m_startMs ? m_lastCycleMs - *m_startMs : 0; }

private:
    std::optional<qint64> m_startMs;
    std::optional<qint64> m_endMs;
    // The first answered cycle since the last failing one.
    std::optional<qint64> m_firstAnswerMs;
    qint64 m_lastCycleMs = 0;
};
