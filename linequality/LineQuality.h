#pragma once

#include "ActionGate.h"
#include "EchoWindow.h"
#include "WatchEvents.h"

#include <QString>

#include <array>

class LogWriter;
struct Options;

// Judges each address by its loss and median round trip over its last cycles, once a
// loss or round-trip limit is set; with none set, an address passes when it answered,
// as it always has. An address passes while both figures are below the fail limits.
// During an outage it counts as answered only within the recovery limits, and between
// the two it holds the outage where it is, so that a line hovering at one limit does
// not go down and up with every cycle. Why a cycle failed or held is logged as that
// changes, not on every cycle of an outage.
class LineQuality final : public WatchEvents
{
public:
    // Reads the options at every judgement, so that a change in the window counts at
    // once.
    LineQuality(const Options &options, LogWriter &log);

    // After the address's echoes of a cycle; keeps them for the cycles after.
    AddressJudgement Judge(ProbedAddress which, const ProbeReport &probe, bool inOutage);

    void cycleDone(const CycleReport &report) override;
    void outageEnded() override;

private:
    // What decided an address's judgement, so that a reason is logged again only when
    // it changes, not as its figures move.
    enum class Cause
    {
        None,
        Loss,
        Latency,
        RecoveryLoss,
        RecoveryLatency,
    };
    struct Address
    {
        // The text probed: a new address starts a new window.
        QString text;
        EchoWindow window;
        Cause cause = Cause::None;
    };

    AddressJudgement JudgeFigures(Address &address, const ProbeReport &probe, bool inOutage);

    const Options &m_options;
    LogWriter &m_log;
    std::array<Address, 2> m_addresses;
    // The causes of the cycle whose reason was logged last, primary and secondary.
    std::array<Cause, 2> m_told{Cause::None, Cause::None};
};
