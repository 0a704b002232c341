#pragma once

#include <QDateTime>

// Local date and time of day. Schedules and resend times read it through this
// interface so that tests can walk a fake clock across midnight in microseconds.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};
