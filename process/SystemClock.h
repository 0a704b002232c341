#pragma once

#include "Clock.h"

// The machine's clocks.
class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    // Without the local time zone, which the C library looks up on disk at each
    // conversion: a record of every cycle would pay for it every second.
    qint64 epochMs() const override;
    qint64 monotonicMs() const override;
    qint64 awakeMs() const override;
};
