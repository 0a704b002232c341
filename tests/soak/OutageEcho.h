#pragma once

#include "EchoFacility.h"
#include "FakeClock.h"
#include "Module1.h"

// Echo answers from the state of a simulated network. An echo that gets no answer
// holds the thread for its whole time-out, as a real one does, so the ticks that
// fall due meanwhile are lost.
class OutageEcho final : public EchoFacility
{
public:
    enum class Reach
    {
        Both,
        SecondaryOnly,
        Neither,
    };

    OutageEcho(FakeClock &clock, const QString &primary)
        : m_clock(clock), m_primary(ParseDottedAddress(primary))
    {
    }

    EchoResult echo(quint32 destination, const QByteArray &, quint32 timeoutMs) override
    {
        const bool answers =
            reach == Reach::Both || (reach == Reach::SecondaryOnly && destination != m_primary);
        if (!answers) {
            m_clock.advanceMs(timeoutMs);
            return EchoResult{kEchoTimedOut, 0};
        }
        m_clock.advanceMs(kRoundTripMs);
        return EchoResult{kEchoSuccess, kRoundTripMs};
    }

    Reach reach = Reach::Both;

private:
    static constexpr quint32 kRoundTripMs = 14;

    FakeClock &m_clock;
    quint32 m_primary;
};
