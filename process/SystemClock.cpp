#include "SystemClock.h"

#include <ctime>

namespace {

qint64 Milliseconds(clockid_t clock)
{
    timespec reading{};
    ::clock_gettime(clock, &reading);
    return qint64(reading.tv_sec) * 1000 + reading.tv_nsec / 1'000'000;
}

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::epochMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 SystemClock::monotonicMs() const
{
    // CLOCK_MONOTONIC stands still while the machine is suspended; an outage that
    // lasts through a suspend must still see its resend when the delay is over.
    return Milliseconds(CLOCK_BOOTTIME);
}

qint64 SystemClock::awakeMs() const
{
    return Milliseconds(CLOCK_MONOTONIC);
}
