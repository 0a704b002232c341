#include "Icmp6Packet.h"

#include "IcmpWire.h"

#include <algorithm>

using namespace IcmpWire;

namespace {

constexpr qsizetype kIp6HeaderLength = 40;
constexpr quint8 kNextHeaderIcmp6 = 58;
constexpr qsizetype kIp6SourceOffset = 8;
constexpr qsizetype kIp6DestinationOffset = 24;

bool SameAddress(QByteArrayView bytes, qsizetype offset, const IpAddress::V6Bytes &address)
{
    return std::equal(address.begin(), address.end(), bytes.begin() + offset,
                      [](quint8 wanted, char byte) { return wanted == quint8(byte); });
}

bool IsOurRequest(QByteArrayView icmp, const Echo6Expectation &expected)
{
    return CarriesEcho(icmp, expected.identifier, expected.sequence) &&
           ByteAt(icmp, 0) == Icmp6Type::EchoRequest;
}

// An ICMPv6 error carries as much of the offending packet as fits, IPv6 header
// first. Our requests carry no extension headers, so anything other than ICMPv6
// right after the header (a fragment header, say) is someone else's. Our request left
// from the address the error came back to; a quote of one from anywhere else is not
// ours.
bool QuotesOurRequest(QByteArrayView quote, const std::optional<IpAddress::V6Bytes> &receiver,
                      const Echo6Expectation &expected)
{
    if (quote.size() < kIp6HeaderLength || ByteAt(quote, 0) >> 4 != 6 ||
        ByteAt(quote, 6) != kNextHeaderIcmp6 ||
        !SameAddress(quote, kIp6DestinationOffset, expected.destination) ||
        (receiver && !SameAddress(quote, kIp6SourceOffset, *receiver)))
        return false;
    return IsOurRequest(quote.sliced(kIp6HeaderLength), expected);
}

} // namespace

QByteArray BuildEcho6Request(quint16 identifier, quint16 sequence, QByteArrayView payload)
{
    return EchoMessage(Icmp6Type::EchoRequest, identifier, sequence, payload);
}

std::optional<quint32> DecodeIcmp6Message(QByteArrayView bytes, const IpAddress::V6Bytes &sender,
                                          const std::optional<IpAddress::V6Bytes> &receiver,
                                          const Echo6Expectation &expected)
{
    if (bytes.size() < kEchoHeaderLength)
        return std::nullopt;
    const quint8 type = ByteAt(bytes, 0);
    if (type == Icmp6Type::EchoReply) {
        const bool ours = sender == expected.destination &&
                          CarriesEcho(bytes, expected.identifier, expected.sequence);
        return ours ? std::optional<quint32>(0) : std::nullopt;
    }
    const std::optional<quint32> status = StatusForIcmp6Error(type, ByteAt(bytes, 1));
    if (!status || !QuotesOurRequest(bytes.sliced(kEchoHeaderLength), receiver, expected))
        return std::nullopt;
    return status;
}

std::optional<quint32> DecodeQueuedIcmp6Error(const QueuedError &error, QByteArrayView quoted,
                                              const IpAddress::V6Bytes &quotedDestination,
                                              const Echo6Expectation &expected)
{
    return SettleQueuedError(error, StatusForIcmp6Error(error.type, error.code),
                             quotedDestination == expected.destination &&
                                 IsOurRequest(quoted, expected));
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
