#include "WakeWatch.h"

#include "Clock.h"
#include "DurationText.h"
#include "LogWriter.h"
#include "Options.h"

#include <utility>

namespace {

// The two clocks keep step while the machine is awake; a jump this large is a sleep,
// and a shorter one cannot have let the line go unwatched for long.
constexpr qint64 kShortestSleepMs = 2000;

} // namespace

WakeWatch::WakeWatch(const Options &options, const Clock &clock, LogWriter &log,
                     std::function<void()> woke)
    : m_options(options), m_clock(clock), m_log(log), m_woke(std::move(woke)),
      m_clockGapMs(ClockGapMs())
{
}

qint64 WakeWatch::ClockGapMs() const
{
    return m_clock.monotonicMs() - m_clock.awakeMs();
}

void WakeWatch::Tick()
{
    const qint64 gapMs = ClockGapMs();
    const qint64 sleptMs = gapMs - m_clockGapMs;
    m_clockGapMs = gapMs;
    if (sleptMs >= kShortestSleepMs)
        Woke(sleptMs);
}

void WakeWatch::PrepareForSleep(bool sleeping)
{
    if (sleeping) {
        m_sleepStartedMs = m_clock.monotonicMs();
        return;
    }
    // Already told by the clocks when they saw the jump first.
    if (!m_sleepStartedMs)
        return;
    // The clocks' jump is this same sleep: the next tick must not tell it again.
    m_clockGapMs = ClockGapMs();
    Woke(m_clock.monotonicMs() - *m_sleepStartedMs);
}

void WakeWatch::Woke(qint64 sleptMs)
{
    m_sleepStartedMs.reset();
    if (m_options.resumeGraceSeconds > 0) {
        m_log.WriteLog(QStringLiteral("The system woke up after %1.").arg(DurationText(sleptMs)),
                       true, true, kSystemMessage);
    }
    if (m_woke)
        m_woke();
}
