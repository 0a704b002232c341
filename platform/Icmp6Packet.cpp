#include "Icmp6Packet.h"

#include <algorithm>

namespace {

constexpr qsizetype kIcmp6HeaderLength = 8;
constexpr qsizetype kIp6HeaderLength = 40;
constexpr quint8 kNextHeaderIcmp6 = 58;
constexpr qsizetype kIp6DestinationOffset = 24;

// Status codes of the echo status table.
constexpr quint32 kDestinationNetUnreachable = 11002;
constexpr quint32 kDestinationHostUnreachable = 11003;
constexpr quint32 kDestinationPortUnreachable = 11005;
constexpr quint32 kPacketTooBig = 11009;
constexpr quint32 kBadRoute = 11012;
constexpr quint32 kTimeExceededInTransit = 11013;
constexpr quint32 kTimeExceededInReassembly = 11014;
constexpr quint32 kParameterProblem = 11015;

quint8 ByteAt(QByteArrayView bytes, qsizetype offset)
{
    return quint8(bytes[offset]);
}

quint16 BigEndian16(QByteArrayView bytes, qsizetype offset)
{
    return quint16(ByteAt(bytes, offset) << 8 | ByteAt(bytes, offset + 1));
}

bool SameAddress(QByteArrayView bytes, qsizetype offset, const IpAddress::V6Bytes &address)
{
    return std::equal(address.begin(), address.end(), bytes.begin() + offset,
                      [](quint8 wanted, char byte) { return wanted == quint8(byte); });
}

bool IsOurRequest(QByteArrayView icmp, const Echo6Expectation &expected)
{
    return icmp.size() >= kIcmp6HeaderLength && ByteAt(icmp, 0) == Icmp6Type::EchoRequest &&
           BigEndian16(icmp, 4) == expected.identifier && BigEndian16(icmp, 6) == expected.sequence;
}

// An ICMPv6 error carries as much of the offending packet as fits, IPv6 header
// first. Our requests carry no extension headers, so anything other than ICMPv6
// right after the header (a fragment header, say) is someone else's.
bool QuotesOurRequest(QByteArrayView quote, const Echo6Expectation &expected)
{
    if (quote.size() < kIp6HeaderLength || ByteAt(quote, 0) >> 4 != 6 ||
        ByteAt(quote, 6) != kNextHeaderIcmp6 ||
        !SameAddress(quote, kIp6DestinationOffset, expected.destination))
        return false;
    return IsOurRequest(quote.sliced(kIp6HeaderLength), expected);
}

} // namespace

QByteArray BuildEcho6Request(quint16 identifier, quint16 sequence, QByteArrayView payload)
{
    QByteArray packet(kIcmp6HeaderLength, '\0');
    packet[0] = char(Icmp6Type::EchoRequest);
    packet[4] = char(identifier >> 8);
    packet[5] = char(identifier & 0xFF);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence & 0xFF);
    packet.append(payload);
    return packet;
}

std::optional<quint32> DecodeIcmp6Message(QByteArrayView bytes, const IpAddress::V6Bytes &sender,
                                          const Echo6Expectation &expected)
{
    if (bytes.size() < kIcmp6HeaderLength)
        return std::nullopt;
    const quint8 type = ByteAt(bytes, 0);
    if (type == Icmp6Type::EchoReply) {
        const bool ours = sender == expected.destination &&
                          BigEndian16(bytes, 4) == expected.identifier &&
                          BigEndian16(bytes, 6) == expected.sequence;
        return ours ? std::optional<quint32>(0) : std::nullopt;
    }
    const std::optional<quint32> status = StatusForIcmp6Error(type, ByteAt(bytes, 1));
    if (!status || !QuotesOurRequest(bytes.sliced(kIcmp6HeaderLength), expected))
        return std::nullopt;
    return status;
}

std::optional<quint32> DecodeQueuedIcmp6Error(const QueuedError &error, QByteArrayView quoted,
                                              const IpAddress::V6Bytes &quotedDestination,
                                              const Echo6Expectation &expected)
{
    switch (error.origin) {
    case QueuedErrorOrigin::Icmp: {
        const std::optional<quint32> status = StatusForIcmp6Error(error.type, error.code);
        if (!status || quotedDestination != expected.destination || !IsOurRequest(quoted, expected))
            return std::nullopt;
        return status;
    }
    case QueuedErrorOrigin::Local:
        // The local stack quotes no ICMPv6 header; the socket carries one request only.
        return StatusForLocalError(error.errorNumber);
    case QueuedErrorOrigin::Other:
        break;
    }
    return std::nullopt;
}

std::optional<quint32> StatusForIcmp6Error(quint8 type, quint8 code)
{
    switch (type) {
    case Icmp6Type::DestinationUnreachable:
        switch (code) {
        case 0: // no route to destination
        case 2: // beyond the scope of the source address
        case 6: // reject route to destination
            return kDestinationNetUnreachable;
        case 4:
            return kDestinationPortUnreachable;
        case 7: // error in the source routing header
            return kBadRoute;
        default: // address unreachable, administratively prohibited, policy, codes yet to come
            return kDestinationHostUnreachable;
        }
    case Icmp6Type::PacketTooBig:
        return kPacketTooBig;
    case Icmp6Type::TimeExceeded:
        return code == 1 ? kTimeExceededInReassembly : kTimeExceededInTransit;
    case Icmp6Type::ParameterProblem:
        return kParameterProblem;
    default:
        return std::nullopt;
    }
}
