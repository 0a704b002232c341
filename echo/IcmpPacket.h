#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// ICMP message types that the prober sends or understands.
namespace IcmpType {
constexpr quint8 EchoReply = 0;
constexpr quint8 DestinationUnreachable = 3;
constexpr quint8 SourceQuench = 4;
constexpr quint8 EchoRequest = 8;
constexpr quint8 TimeExceeded = 11;
constexpr quint8 ParameterProblem = 12;
} // namespace IcmpType

// What identifies the answer to one echo request. Addresses are in network byte
// order, as they sit in the packet.
struct EchoExpectation
{
    quint32 destination = 0;
    quint16 identifier = 0;
    quint16 sequence = 0;
};

// Where an error taken from a datagram socket's error queue came from.
enum class QueuedErrorOrigin
{
    Icmp,  // an ICMP error message that quoted our request
    Local, // the local stack refused or lost the request
    Other,
};

struct QueuedError
{
    QueuedErrorOrigin origin = QueuedErrorOrigin::Other;
    quint8 type = 0;
    quint8 code = 0;
    int errorNumber = 0;
};

// The Internet checksum (RFC 1071) of the bytes, an odd trailing byte padded with
// zero. Stored big-endian in the packet.
quint16 InternetChecksum(QByteArrayView bytes);

// True when the checksum field inside the bytes makes them sum to zero.
bool ChecksumIsValid(QByteArrayView bytes);

// An ICMP echo request: the 8-byte header with its checksum, then the payload.
QByteArray BuildEchoRequest(quint16 identifier, quint16 sequence, QByteArrayView payload);

// The decoders take received bytes exactly as a socket delivered them and say
// whether they settle the echo: nullopt means "not ours, keep waiting"; otherwise
// the status, 0 for an echo reply from the destination, or the code of an ICMP
// error that quotes our request. Nothing outside the bytes is trusted: every
// length is checked, and anything truncated, malformed or foreign is not ours.

// A datagram ICMP socket delivers the ICMP message alone; sender is the source
// address the socket reported. It does not tell where the message was sent to, so
// an error's quoted source cannot be checked here; such sockets deliver ICMP errors
// through their error queue anyway, which the kernel fills by our identifier.
std::optional<quint32> DecodeDatagram(QByteArrayView bytes, quint32 sender,
                                      const EchoExpectation &expected);

// A raw ICMP socket delivers the whole IPv4 packet, header first. An error settles
// the echo only when the request it quotes left from the error's own destination.
std::optional<quint32> DecodeRawPacket(QByteArrayView bytes, const EchoExpectation &expected);

// An entry of a datagram socket's error queue: quoted is the ICMP part of the
// request it refers to, quotedDestination the destination of that request.
std::optional<quint32> DecodeQueuedError(const QueuedError &error, QByteArrayView quoted,
                                         quint32 quotedDestination,
                                         const EchoExpectation &expected);

// What an error-queue entry of either protocol settles: for an ICMP or ICMPv6 error,
// icmpStatus (the status of its type and code) when it quotes our request to our
// destination; for a local error, the status of its errno.
std::optional<quint32> SettleQueuedError(const QueuedError &error,
                                         std::optional<quint32> icmpStatus, bool quotesOurRequest);

// The status for an ICMP error type and code, or nullopt when the message is not
// an error that ends an echo (a redirect, for instance).
std::optional<quint32> StatusForIcmpError(quint8 type, quint8 code);

// The status for an errno from sending, or from the local part of the error queue.
quint32 StatusForLocalError(int errorNumber);
