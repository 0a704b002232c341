#pragma once

#include "Clock.h"
#include "Pause.h"

// A clock that moves only when told to, and a pause that moves it instead of
// sleeping: an outage of many cycles runs in microseconds.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &now) { m_now = now; }
    void advanceMs(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }

private:
    QDateTime m_now;
};

class FakePause final : public Pause
{
public:
    explicit FakePause(FakeClock *clock = nullptr) : m_clock(clock) {}
    void pauseMs(int milliseconds) override
    {
        pauses.append(milliseconds);
        if (m_clock)
            m_clock->advanceMs(milliseconds);
    }
    QList<int> pauses;

private:
    FakeClock *m_clock;
};
