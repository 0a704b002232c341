#pragma once

// What ICMP and ICMPv6 echoes share on the wire, for the two packet codecs only: the
// byte readers, the echo header's layout and the codes of the echo status table.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace IcmpWire {

// Type, code, checksum, identifier, sequence.
inline constexpr qsizetype kEchoHeaderLength = 8;

inline constexpr quint32 kDestinationNetUnreachable = 11002;
inline constexpr quint32 kDestinationHostUnreachable = 11003;
inline constexpr quint32 kDestinationProtocolUnreachable = 11004;
inline constexpr quint32 kDestinationPortUnreachable = 11005;
inline constexpr quint32 kNoResources = 11006;
inline constexpr quint32 kPacketTooBig = 11009;
inline constexpr quint32 kBadRoute = 11012;
inline constexpr quint32 kTimeExceededInTransit = 11013;
inline constexpr quint32 kTimeExceededInReassembly = 11014;
inline constexpr quint32 kParameterProblem = 11015;
inline constexpr quint32 kSourceQuench = 11016;
inline constexpr quint32 kGeneralFailure = 11050;

inline quint8 ByteAt(QByteArrayView bytes, qsizetype offset)
{
    return quint8(bytes[offset]);
}

inline quint16 BigEndian16(QByteArrayView bytes, qsizetype offset)
{
    return quint16(ByteAt(bytes, offset) << 8 | ByteAt(bytes, offset + 1));
}

// An echo message of the given type with a zero checksum, then the payload.
inline QByteArray EchoMessage(quint8 type, quint16 identifier, quint16 sequence,
                              QByteArrayView payload)
{
    QByteArray packet(kEchoHeaderLength, '\0');
    packet[0] = char(type);
    packet[4] = char(identifier >> 8);
    packet[5] = char(identifier & 0xFF);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence & 0xFF);
    packet.append(payload);
    return packet;
}

// Whether the message is long enough to carry an echo header and carries this
// identifier and sequence.
inline bool CarriesEcho(QByteArrayView icmp, quint16 identifier, quint16 sequence)
{
    return icmp.size() >= kEchoHeaderLength && BigEndian16(icmp, 4) == identifier &&
           BigEndian16(icmp, 6) == sequence;
}

} // namespace IcmpWire
