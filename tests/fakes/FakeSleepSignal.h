#pragma once

#include "SleepSignal.h"

// Stands in for logind: the test tells of the machine going to sleep and waking up.
class FakeSleepSignal final : public SleepSignal
{
public:
    void sleep() { Q_EMIT sleepNotice(true); }
    void wake() { Q_EMIT sleepNotice(false); }
};
