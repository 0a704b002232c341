#pragma once

#include "EchoFacility.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>

// The record an echo leaves its outcome in: a 28-byte header followed by room for
// the echoed payload. Only Status and RoundTripTime are read. The layout is fixed
// so the record can be handed to a platform echo service as it stands.
#pragma pack(push, 1)
struct EchoReply
{
    quint32 Address;
    quint32 Status;        // 0 = the destination answered within the time-out
    quint32 RoundTripTime; // milliseconds, meaningful when Status is 0
    quint16 DataSize;
    quint16 Reserved;
    quint32 Data;
    quint8 Options[8];
    quint8 DataArea[250];
};
#pragma pack(pop)

static_assert(sizeof(EchoReply) == 278);
static_assert(offsetof(EchoReply, Status) == 4);
static_assert(offsetof(EchoReply, RoundTripTime) == 8);
static_assert(offsetof(EchoReply, DataArea) == 28);

// Status codes used beyond the platform's own.
constexpr quint32 kEchoSuccess = 0;
constexpr quint32 kEchoTimedOut = 11010;
constexpr quint32 kEchoBadDestination = 11018;
constexpr quint32 kEchoGeneralFailure = 11050;

// The dotted text as a 32-bit address in network byte order (first part in the
// lowest byte in memory), or 0 when it is not four dot-separated parts from 0 to 255.
quint32 ParseDottedAddress(const QString &text);

// Sends one echo request with the payload "Echo This" and fills reply's Status and
// RoundTripTime. address is dotted IPv4, an IPv6 literal or a host name, which is
// looked up afresh each time so that a changed DNS record is followed: a name that
// does not resolve gives 11018, a resolver silent for the whole time-out 11010. Blocks
// for at most timeoutMs, the lookup included. Returns what, beyond the status, kept
// the echo from telling about the line; the record has no room for it. resolved, when
// given, receives the address a host name led to.
EchoHindrance PingAddress(EchoFacility &facility, const QString &address, EchoReply &reply,
                          qint32 timeoutMs, QString *resolved = nullptr);

// The code in decimal, then "   [ ", the status name and " ]".
QString EchoStatusText(qint32 status);
