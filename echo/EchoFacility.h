#pragma once

#include "IpAddress.h"
#include "ProbePath.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// What kept an echo from telling anything about the line. Its status code says
// the echo failed; this says the failure is not the line's.
enum class EchoHindrance
{
    None,
    // Neither an ICMP datagram nor a raw socket may be opened by this user: no
    // request went out, so no silence can be blamed on the line.
    NoPermission,
    // The echo could not be bound to the path the options pin it to, which has not been
    // there since the start (an interface or address not up yet): no request went out,
    // and start-up has said why.
    NoPath,
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

// What looking up a host name came to.
struct NameLookup
{
    enum class Outcome
    {
        Found,
        NotFound, // the name has no address, or no such name exists
        TimedOut, // no answer within the time given
        Failed,   // the system could not look anything up (out of threads or memory)
        Stopped,  // the program was asked to stop and the wait ended early
    };
    Outcome outcome = Outcome::NotFound;
    // Set when found.
    std::optional<IpAddress> address;
};

// Sends one ICMP echo request (ICMPv6 for an IPv6 destination) and waits at most
// timeoutMs for its answer; looks up the address of a host name.
class EchoFacility
{
public:
    virtual ~EchoFacility() = default;
    virtual EchoResult echo(const IpAddress &destination, const QByteArray &payload,
                            quint32 timeoutMs) = 0;
    // name is in ASCII (an internationalised name already in its ACE form). Waits at
    // most timeoutMs. The first IPv4 address returned wins, else the first IPv6 one.
    virtual NameLookup lookUp(const QByteArray &name, quint32 timeoutMs) = 0;
    // Opens and closes an echo socket without sending: false when no kind of echo
    // socket may be opened by this user. A facility that needs no socket says true.
    virtual bool maySendEchoes() { return true; }
    // From now on every echo leaves by the path or not at all, never by another way
    // the routing table offers. A facility that sends no packets of its own has none.
    virtual void pinTo(const ProbePath &) {}
};
