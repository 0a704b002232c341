#pragma once

#include "IcmpPacket.h"
#include "IpAddress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// ICMPv6 message types that the prober sends or understands.
namespace Icmp6Type {
constexpr quint8 DestinationUnreachable = 1;
constexpr quint8 PacketTooBig = 2;
constexpr quint8 TimeExceeded = 3;
constexpr quint8 ParameterProblem = 4;
constexpr quint8 EchoRequest = 128;
constexpr quint8 EchoReply = 129;
} // namespace Icmp6Type

// What identifies the answer to one ICMPv6 echo request.
struct Echo6Expectation
{
    IpAddress::V6Bytes destination{};
    quint16 identifier = 0;
    quint16 sequence = 0;
};

// An ICMPv6 echo request: the 8-byte header, then the payload. The checksum field
// stays zero: it covers the source address, which only the kernel knows when the
// packet leaves, and the kernel fills it in for both kinds of ICMPv6 socket.
QByteArray BuildEcho6Request(quint16 identifier, quint16 sequence, QByteArrayView payload);

// Like the ICMP decoders: nullopt means "not ours, keep waiting", otherwise the
// status. Both kinds of ICMPv6 socket deliver the message alone, without the IPv6
// header, after the kernel has checked its checksum; sender is the source address
// the socket reported. receiver is the address the message was sent to, which a
// raw socket tells; an error settles the echo only when the request it quotes left
// from there. A datagram socket does not tell it, and delivers errors through its
// error queue anyway.
std::optional<quint32> DecodeIcmp6Message(QByteArrayView bytes, const IpAddress::V6Bytes &sender,
                                          const std::optional<IpAddress::V6Bytes> &receiver,
                                          const Echo6Expectation &expected);

// An entry of a datagram ICMPv6 socket's error queue: quoted is the ICMPv6 part of
// the request it refers to, quotedDestination the destination of that request.
std::optional<quint32> DecodeQueuedIcmp6Error(const QueuedError &error, QByteArrayView quoted,
                                              const IpAddress::V6Bytes &quotedDestination,
                                              const Echo6Expectation &expected);

// The status for an ICMPv6 error type and code, or nullopt when the message is not an
// error that ends an echo.
std::optional<quint32> StatusForIcmp6Error(quint8 type, quint8 code);
