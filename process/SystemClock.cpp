#include "Clock.h"

#include <ctime>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::monotonicMs() const
{
    // CLOCK_MONOTONIC stands still while the machine is suspended; an outage that
    // lasts through a suspend must still see its resend when the delay is over.
    timespec reading{};
    ::clock_gettime(CLOCK_BOOTTIME, &reading);
    return qint64(reading.tv_sec) * 1000 + reading.tv_nsec / 1'000'000;
}
