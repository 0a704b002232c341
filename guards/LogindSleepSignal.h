#pragma once

#include "SleepSignal.h"

// logind's PrepareForSleep on the system bus: true as the machine goes to sleep, false
// as it wakes up. Without a system bus (a container, a minimal server) it stays silent,
// and the clocks alone tell of a resume.
class LogindSleepSignal final : public SleepSignal
{
    Q_OBJECT

public:
    LogindSleepSignal();

    bool isListening() const { return m_listening; }

private Q_SLOTS:
    void PrepareForSleep(bool sleeping);

private:
    bool m_listening = false;
};
