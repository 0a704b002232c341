#pragma once

#include "Clock.h"
#include "Pause.h"

#include <QList>

#include <functional>
#include <optional>

// A clock that moves only when told to, and a pause that moves it instead of
// sleeping: an outage of many cycles runs in microseconds. Time passing moves all
// readings; setting the wall clock, as NTP or the user does, moves only the wall; a
// suspend moves all but the awake count.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }
    qint64 awakeMs() const override { return m_monotonicMs - m_sleptMs; }
    void set(const QDateTime &now) { m_now = now; }
    void advanceMs(qint64 milliseconds)
    {
        m_now = m_now.addMSecs(milliseconds);
        m_monotonicMs += milliseconds;
    }
    void sleepMs(qint64 milliseconds)
    {
        advanceMs(milliseconds);
        m_sleptMs += milliseconds;
    }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
    qint64 m_sleptMs = 0;
};

// Records every pause. stopAfterPauses(n) lets n more pauses pass whole and has the
// stop come during the one after, as a signal would. onPause, when set, runs as each
// pause begins, so that a test can see what had happened by then (the bytes on the
// wire) in the order of the pauses.
class FakePause final : public Pause
{
public:
    explicit FakePause(FakeClock *clock = nullptr) : m_clock(clock) {}
    bool pauseMs(int milliseconds) override
    {
        if (m_stopped)
            return false;
        pauses.append(milliseconds);
        if (onPause)
            onPause(milliseconds);
        if (m_pausesBeforeStop && (*m_pausesBeforeStop)-- == 0) {
            m_stopped = true;
            return false;
        }
        if (m_clock)
            m_clock->advanceMs(milliseconds);
        return true;
    }
    bool stopRequested() const override { return m_stopped; }

    void stop() { m_stopped = true; }
    void stopAfterPauses(int count) { m_pausesBeforeStop = count; }

    QList<int> pauses;
    std::function<void(int milliseconds)> onPause;

private:
    FakeClock *m_clock;
    bool m_stopped = false;
    std::optional<int> m_pausesBeforeStop;
};
