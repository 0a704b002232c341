#pragma once

#include <QString>
#include <QtGlobal>

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
};
