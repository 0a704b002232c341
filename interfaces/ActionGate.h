#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What becomes of a fail-command send that falls due.
struct FailSendDecision
{
    bool send = true;
    // Until the send after this one may go; meaningful when send is set.
    qint64 resendDelayMs = 0;
    // A log entry of its own: before the send's entry, or, for a send held back, in
    // place of the cycle's "No response to pings.". Empty: none.
    QString entry;
    // Appended to the send's entry: what the options did to this send.
    QString note;
};

// Every send goes, each after the resend field's delay.
inline FailSendDecision PlainFailSend(qint32 resendMinutes)
{
    return {true, qint64(resendMinutes) * 60'000, {}, {}};
}

struct ProbeReport;

// How an address stands after a cycle's echoes, judged with its earlier cycles.
enum class AddressStanding
{
    // It answers well enough: the cycle is answered.
    Passes,
    // During an outage: within the fail limits, outside the recovery limits.
    Between,
    Fails,
};

struct AddressJudgement
{
    AddressStanding standing = AddressStanding::Fails;
    // Over the address's window, when a limit is set.
    std::optional<double> lossPercent;
    std::optional<qint32> medianMs;
    // Why it did not pass although it may have answered; empty when it passed, or
    // when no limit is set and it simply did not answer.
    QString reason;
};

// An address passes when it answered in the cycle.
inline AddressJudgement AnsweredInCycle(bool answered)
{
    return {answered ? AddressStanding::Passes : AddressStanding::Fails, {}, {}, {}};
}

enum class ProbedAddress
{
    Primary,
    Secondary,
};

// Asked by the engine before each fail-command send, so that the options (a start
// grace, a pause, a limit, a growing delay) decide over it in one place.
class ActionGate
{
public:
    virtual ~ActionGate() = default;
    // resendMinutes is the resend field's delay. A send this lets go is counted as
    // sent.
    virtual FailSendDecision DecideFailSend(qint32 resendMinutes) = 0;
    // How many answered cycles in a row end an outage in which the fail command has
    // gone; before the first send, one answer always ends it.
    virtual qint32 CyclesToRecover() const = 0;
    // How many echoes an address gets within a cycle before it counts as not answering.
    virtual qint32 EchoesPerAddress() const = 0;
    // After each address's echoes of a cycle: whether the address passes, given this
    // cycle and the ones before it. Called once per probed address and cycle.
    virtual AddressJudgement JudgeAddress(ProbedAddress which, const ProbeReport &probe,
                                          bool inOutage) = 0;
    // The ping period while an outage lasts, given the period field's.
    virtual qint32 PeriodDuringOutage(qint32 period) const = 0;
};
