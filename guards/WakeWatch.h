#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

class Clock;
class LogWriter;
struct Options;

// Notices that the machine has slept: the boot clock counts on through a suspend and
// the awake clock does not, so the gap between them grows by the time slept. logind's
// PrepareForSleep, where a system bus carries it, tells the same sooner; each resume
// is told once. While the grace after waking up is off, a resume is not logged, so that
// the log stays as it always was.
class WakeWatch
{
public:
    // woke is called on each resume noticed.
    WakeWatch(const Options &options, const Clock &clock, LogWriter &log,
              std::function<void()> woke);

    // Once a second.
    void Tick();
    // logind: the machine is about to sleep (true) or has just woken up (false).
    void PrepareForSleep(bool sleeping);

private:
    qint64 ClockGapMs() const;
    void Woke(qint64 sleptMs);

    const Options &m_options;
    const Clock &m_clock;
    LogWriter &m_log;
    std::function<void()> m_woke;
    qint64 m_clockGapMs;
    // On the boot clock, from logind's notice that the machine goes to sleep.
    std::optional<qint64> m_sleepStartedMs;
};
