#include "IcmpPacket.h"

#include "IcmpWire.h"

#include <cerrno>
#include <cstring>

using namespace IcmpWire;

namespace {

constexpr qsizetype kMinimumIpHeaderLength = 20;
constexpr quint8 kProtocolIcmp = 1;

// Addresses stay in network byte order, as the expectation holds them.
quint32 NetworkOrder32(QByteArrayView bytes, qsizetype offset)
{
    quint32 value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

struct IpHeader
{
    qsizetype headerLength = 0;
    qsizetype totalLength = 0;
    quint8 protocol = 0;
    bool fragment = false;
    quint32 source = 0;
    quint32 destination = 0;
};

// Reads an IPv4 header at the start of bytes. A received packet must hold exactly
// what its total length claims (trailing link padding aside); a header quoted
// inside an ICMP error is followed by only part of its packet, so only the header
// itself must fit.
std::optional<IpHeader> ReadIpHeader(QByteArrayView bytes, bool quoted)
{
    if (bytes.size() < kMinimumIpHeaderLength)
        return std::nullopt;
    const quint8 versionAndLength = ByteAt(bytes, 0);
    if (versionAndLength >> 4 != 4)
        return std::nullopt;
    IpHeader header;
    header.headerLength = qsizetype(versionAndLength & 0x0F) * 4;
    header.totalLength = BigEndian16(bytes, 2);
    if (header.headerLength < kMinimumIpHeaderLength || header.headerLength > bytes.size() ||
        header.totalLength < header.headerLength)
        return std::nullopt;
    if (!quoted && header.totalLength > bytes.size())
        return std::nullopt;
    const quint16 flagsAndOffset = BigEndian16(bytes, 6);
    constexpr quint16 kMoreFragments = 0x2000;
    constexpr quint16 kOffsetMask = 0x1FFF;
    header.fragment = (flagsAndOffset & (kMoreFragments | kOffsetMask)) != 0;
    header.protocol = ByteAt(bytes, 9);
    header.source = NetworkOrder32(bytes, 12);
    header.destination = NetworkOrder32(bytes, 16);
    return header;
}

bool IsOurRequest(QByteArrayView icmp, const EchoExpectation &expected)
{
    return CarriesEcho(icmp, expected.identifier, expected.sequence) &&
           ByteAt(icmp, 0) == IcmpType::EchoRequest;
}

// An ICMP error carries the IP header of the offending packet and at least its
// first 8 bytes: for our request, the echo header with identifier and sequence. Our
// request left from the address the error came back to; an error quoting a request
// from anywhere else is forged, or about someone else's packet.
bool QuotesOurRequest(QByteArrayView quote, std::optional<quint32> receiver,
                      const EchoExpectation &expected)
{
    const std::optional<IpHeader> header = ReadIpHeader(quote, true);
    if (!header || header->protocol != kProtocolIcmp || header->fragment ||
        header->destination != expected.destination || (receiver && header->source != *receiver))
        return false;
    return IsOurRequest(quote.sliced(header->headerLength), expected);
}

std::optional<quint32> DecodeIcmpMessage(QByteArrayView icmp, quint32 sender,
                                         std::optional<quint32> receiver,
                                         const EchoExpectation &expected)
{
    if (icmp.size() < kEchoHeaderLength || !ChecksumIsValid(icmp))
        return std::nullopt;
    const quint8 type = ByteAt(icmp, 0);
    if (type == IcmpType::EchoReply) {
        const bool ours = sender == expected.destination &&
                          CarriesEcho(icmp, expected.identifier, expected.sequence);
        return ours ? std::optional<quint32>(0) : std::nullopt;
    }
    const std::optional<quint32> status = StatusForIcmpError(type, ByteAt(icmp, 1));
    if (!status || !QuotesOurRequest(icmp.sliced(kEchoHeaderLength), receiver, expected))
        return std::nullopt;
    return status;
}

} // namespace

quint16 InternetChecksum(QByteArrayView bytes)
{
    quint32 sum = 0;
    qsizetype offset = 0;
    for (; offset + 1 < bytes.size(); offset += 2)
        sum += BigEndian16(bytes, offset);
    if (offset < bytes.size())
        sum += quint32(ByteAt(bytes, offset)) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

bool ChecksumIsValid(QByteArrayView bytes)
{
    return InternetChecksum(bytes) == 0;
}

QByteArray BuildEchoRequest(quint16 identifier, quint16 sequence, QByteArrayView payload)
{
    QByteArray packet = EchoMessage(IcmpType::EchoRequest, identifier, sequence, payload);
    const quint16 checksum = InternetChecksum(packet);
    packet[2] = char(checksum >> 8);
    packet[3] = char(checksum & 0xFF);
    return packet;
}

std::optional<quint32> DecodeDatagram(QByteArrayView bytes, quint32 sender,
                                      const EchoExpectation &expected)
{
    // The socket does not say where the message was sent to.
    return DecodeIcmpMessage(bytes, sender, std::nullopt, expected);
}

std::optional<quint32> DecodeRawPacket(QByteArrayView bytes, const EchoExpectation &expected)
{
    const std::optional<IpHeader> header = ReadIpHeader(bytes, false);
    if (!header || header->protocol != kProtocolIcmp || header->fragment)
        return std::nullopt;
    const QByteArrayView icmp =
        bytes.sliced(header->headerLength, header->totalLength - header->headerLength);
    return DecodeIcmpMessage(icmp, header->source, header->destination, expected);
}

std::optional<quint32> DecodeQueuedError(const QueuedError &error, QByteArrayView quoted,
                                         quint32 quotedDestination, const EchoExpectation &expected)
{
    return SettleQueuedError(error, StatusForIcmpError(error.type, error.code),
                             quotedDestination == expected.destination &&
                                 IsOurRequest(quoted, expected));
}

std::optional<quint32> SettleQueuedError(const QueuedError &error,
                                         std::optional<quint32> icmpStatus, bool quotesOurRequest)
{
    switch (error.origin) {
    case QueuedErrorOrigin::Icmp:
        return quotesOurRequest ? icmpStatus : std::nullopt;
    case QueuedErrorOrigin::Local:
        // The local stack quotes no ICMP header; the socket carries one request only.
        return StatusForLocalError(error.errorNumber);
    case QueuedErrorOrigin::Other:
        break;
    }
    return std::nullopt;
}

std::optional<quint32> StatusForIcmpError(quint8 type, quint8 code)
{
    switch (type) {
    case IcmpType::DestinationUnreachable:
        switch (code) {
        case 0:  // net unreachable
        case 6:  // destination network unknown
        case 9:  // network administratively prohibited
        case 11: // network unreachable for type of service
            return kDestinationNetUnreachable;
        case 2:
            return kDestinationProtocolUnreachable;
        case 3:
            return kDestinationPortUnreachable;
        case 4:
            return kPacketTooBig;
        case 5: // source route failed
            return kBadRoute;
        default: // host unreachable, unknown, isolated, prohibited, and codes yet to come
            return kDestinationHostUnreachable;
        }
    case IcmpType::TimeExceeded:
        return code == 1 ? kTimeExceededInReassembly : kTimeExceededInTransit;
    case IcmpType::ParameterProblem:
        return kParameterProblem;
    case IcmpType::SourceQuench:
        return kSourceQuench;
    default:
        return std::nullopt;
    }
}

quint32 StatusForLocalError(int errorNumber)
{
    switch (errorNumber) {
    case ENETUNREACH:
        return kDestinationNetUnreachable;
    case EHOSTUNREACH:
        return kDestinationHostUnreachable;
    case EMSGSIZE:
        return kPacketTooBig;
    case ENOBUFS:
    case ENOMEM:
        return kNoResources;
    default:
        return kGeneralFailure;
    }
}
