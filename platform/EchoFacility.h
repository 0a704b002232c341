#pragma once

#include <QByteArray>
#include <QtGlobal>

// What kept an echo from telling anything about the line. Its status code says
// the echo failed; this says the failure is not the line's.
enum class EchoHindrance
{
    None,
    // Neither an ICMP datagram nor a raw socket may be opened by this user: no
    // request went out, so no silence can be blamed on the line.
    NoPermission,
    // The program was asked to stop and the wait ended early.
    Stopped,
};

// What one echo request came to: the status code (0 = the destination answered)
// and, when it answered, the round-trip time in whole milliseconds.
struct EchoResult
{
    quint32 status = 0;
    quint32 roundTripMs = 0;
    EchoHindrance hindrance = EchoHindrance::None;
};

// Sends one ICMP echo request and waits at most timeoutMs for its answer.
// destination is an IPv4 address in network byte order.
class EchoFacility
{
public:
    virtual ~EchoFacility() = default;
    virtual EchoResult echo(quint32 destination, const QByteArray &payload, quint32 timeoutMs) = 0;
    // Opens and closes an echo socket without sending: false when no kind of echo
    // socket may be opened by this user. A facility that needs no socket says true.
    virtual bool maySendEchoes() { return true; }
};
