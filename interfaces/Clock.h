#pragma once

#include <QDateTime>

// Local date and time of day, and a monotonic count of milliseconds. Schedules and
// resend times read them through this interface so that tests can walk a fake clock
// across midnight in microseconds.
class Clock
{
public:
    virtual ~Clock() = default;
    // The wall clock, for what happens at a time of day: it may step (NTP at boot,
    // a change by hand).
    virtual QDateTime now() const = 0;
    // The wall clock as milliseconds since 1970 UTC, for records kept in that form.
    virtual qint64 epochMs() const { return now().toMSecsSinceEpoch(); }
    // For lengths of time, such as the resend delay: it never steps, and keeps
    // counting while the machine sleeps. Only differences between readings mean
    // anything.
    virtual qint64 monotonicMs() const = 0;
    // Like monotonicMs, but standing still while the machine is suspended: the two
    // drift apart by exactly the time slept.
    virtual qint64 awakeMs() const = 0;
};
