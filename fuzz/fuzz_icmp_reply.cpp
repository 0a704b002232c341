// The decoder reads whatever arrives on the echo socket, and on a busy host most of
// it belongs to someone else. Every verdict it gives is checked here against the
// bytes by a reading of its own; reads beyond the bytes are left to AddressSanitizer,
// which is why each piece is handed over in a buffer of exactly its own size.
//
// Input: a mode byte, then what that mode reads.
//   datagram:     4 bytes of sender address, then the ICMP message
//   raw packet:   the IPv4 packet, header first
//   queued error: origin, type, code, errno, 4 bytes of quoted destination, quoted request
// Mode bit 0x80 writes a valid checksum into the ICMP message first, so that inputs
// reach past the checksum test without the fuzzer guessing 16 bits.
// Mode bit 0x40 reads ICMPv6 instead, whose sockets deliver the message alone:
//   message:      16 bytes of sender address, 16 of receiver address, then the message
//   queued error: origin, type, code, errno, 16 bytes of quoted destination, quoted request
#include "FuzzProperty.h"
#include "Icmp6Packet.h"
#include "IcmpPacket.h"

#include <QByteArrayView>

#include <cstring>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<char>;

constexpr quint8 kLoopback[4] = {127, 0, 0, 1};
constexpr quint16 kIdentifier = 0x1234;
constexpr quint16 kSequence = 0x0001;

EchoExpectation Expected()
{
    EchoExpectation expected;
    std::memcpy(&expected.destination, kLoopback, sizeof expected.destination);
    expected.identifier = kIdentifier;
    expected.sequence = kSequence;
    return expected;
}

quint8 At(const Bytes &bytes, std::size_t offset)
{
    return quint8(bytes[offset]);
}

quint16 Word(const Bytes &bytes, std::size_t offset)
{
    return quint16(At(bytes, offset) << 8 | At(bytes, offset + 1));
}

quint32 Address(const Bytes &bytes, std::size_t offset)
{
    quint32 address = 0;
    std::memcpy(&address, bytes.data() + offset, sizeof address);
    return address;
}

Bytes Slice(const Bytes &bytes, std::size_t offset, std::size_t length)
{
    return Bytes(bytes.begin() + std::ptrdiff_t(offset),
                 bytes.begin() + std::ptrdiff_t(offset + length));
}

quint32 SumOfWords(const Bytes &bytes)
{
    quint32 sum = 0;
    for (std::size_t offset = 0; offset < bytes.size(); offset += 2)
        sum += quint32(At(bytes, offset)) << 8 |
               (offset + 1 < bytes.size() ? At(bytes, offset + 1) : 0u);
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

bool ChecksumHolds(const Bytes &message)
{
    return SumOfWords(message) == 0xFFFF;
}

void RepairChecksum(Bytes &message)
{
    if (message.size() < 4)
        return;
    message[2] = message[3] = 0;
    const quint16 checksum = quint16(~SumOfWords(message));
    message[2] = char(checksum >> 8);
    message[3] = char(checksum & 0xFF);
}

QByteArrayView View(const Bytes &bytes)
{
    return QByteArrayView(bytes.data(), qsizetype(bytes.size()));
}

bool IsOurEchoRequest(const Bytes &icmp)
{
    return icmp.size() >= 8 && At(icmp, 0) == IcmpType::EchoRequest &&
           Word(icmp, 4) == kIdentifier && Word(icmp, 6) == kSequence;
}

// The IPv4 header length of the bytes, when they start with one that fits.
std::optional<std::size_t> IpHeaderLength(const Bytes &bytes)
{
    if (bytes.size() < 20 || At(bytes, 0) >> 4 != 4)
        return std::nullopt;
    const std::size_t length = std::size_t(At(bytes, 0) & 0x0F) * 4;
    if (length < 20 || length > bytes.size())
        return std::nullopt;
    return length;
}

// What any verdict on an ICMP message from sender needs to be true. receiver, when
// the socket tells it, is where the message was sent to.
void CheckMessageVerdict(const Bytes &message, quint32 sender, std::optional<quint32> receiver,
                         std::optional<quint32> verdict)
{
    if (!verdict)
        return;
    RequireProperty(message.size() >= 8 && ChecksumHolds(message),
                    "a verdict comes from a whole ICMP header with a valid checksum");
    const quint8 type = At(message, 0);
    if (*verdict == 0) {
        RequireProperty(type == IcmpType::EchoReply, "status 0 comes from an echo reply");
        RequireProperty(sender == Expected().destination,
                        "status 0 needs the reply to come from the destination");
        RequireProperty(Word(message, 4) == kIdentifier && Word(message, 6) == kSequence,
                        "status 0 needs our identifier and sequence");
        return;
    }
    RequireProperty(StatusForIcmpError(type, At(message, 1)) == verdict,
                    "an error verdict is the status of the message's type and code");
    const Bytes quote = Slice(message, 8, message.size() - 8);
    const std::optional<std::size_t> headerLength = IpHeaderLength(quote);
    RequireProperty(headerLength.has_value(), "an error verdict needs a quoted IPv4 header");
    RequireProperty(At(quote, 9) == 1 && Address(quote, 16) == Expected().destination,
                    "an error verdict needs a quoted ICMP packet to our destination");
    RequireProperty(!receiver || Address(quote, 12) == *receiver,
                    "an error verdict needs the quoted request to leave from the receiver");
    RequireProperty(IsOurEchoRequest(Slice(quote, *headerLength, quote.size() - *headerLength)),
                    "an error verdict needs the quote to be our echo request");
}

void FuzzDatagram(const Bytes &input, bool repair)
{
    if (input.size() < 4)
        return;
    const quint32 sender = Address(input, 0);
    Bytes message = Slice(input, 4, input.size() - 4);
    if (repair)
        RepairChecksum(message);
    CheckMessageVerdict(message, sender, std::nullopt,
                        DecodeDatagram(View(message), sender, Expected()));
}

void FuzzRawPacket(Bytes packet, bool repair)
{
    const std::optional<std::size_t> headerLength = IpHeaderLength(packet);
    const std::size_t totalLength = packet.size() >= 4 ? Word(packet, 2) : 0;
    const bool wellFormed =
        headerLength && totalLength >= *headerLength && totalLength <= packet.size();
    if (repair && wellFormed) {
        Bytes message = Slice(packet, *headerLength, totalLength - *headerLength);
        RepairChecksum(message);
        std::copy(message.begin(), message.end(), packet.begin() + std::ptrdiff_t(*headerLength));
    }

    const std::optional<quint32> verdict = DecodeRawPacket(View(packet), Expected());
    if (!verdict)
        return;
    RequireProperty(wellFormed, "a verdict needs a packet that holds what its header claims");
    RequireProperty(At(packet, 9) == 1, "a verdict needs an ICMP packet");
    constexpr quint16 kFragmentBits = 0x3FFF;
    RequireProperty((Word(packet, 6) & kFragmentBits) == 0, "a fragment gives no verdict");
    CheckMessageVerdict(Slice(packet, *headerLength, totalLength - *headerLength),
                        Address(packet, 12), Address(packet, 16), verdict);
}

// The entry's origin, type, code and errno from the input's first four bytes.
QueuedError QueuedErrorOf(const Bytes &input)
{
    QueuedError error;
    error.origin = QueuedErrorOrigin(At(input, 0) % 3);
    error.type = At(input, 1);
    error.code = At(input, 2);
    error.errorNumber = At(input, 3);
    return error;
}

// What an error-queue entry of either protocol may settle: icmpStatus is the status of
// its type and code, ours whether its quote is our request to our destination.
void CheckQueuedVerdict(const QueuedError &error, std::optional<quint32> verdict,
                        std::optional<quint32> icmpStatus, bool ours)
{
    switch (error.origin) {
    case QueuedErrorOrigin::Icmp:
        if (verdict) {
            RequireProperty(verdict == icmpStatus,
                            "an error verdict is the status of the error's type and code");
            RequireProperty(ours, "an error verdict needs the quote to be our echo request");
        }
        break;
    case QueuedErrorOrigin::Local:
        RequireProperty(verdict == StatusForLocalError(error.errorNumber),
                        "a local error always settles the echo with its status");
        break;
    case QueuedErrorOrigin::Other:
        RequireProperty(!verdict, "an error of unknown origin settles nothing");
        break;
    }
    RequireProperty(verdict != 0u, "an error is never reported as success");
}

void FuzzQueuedError(const Bytes &input)
{
    if (input.size() < 8)
        return;
    const QueuedError error = QueuedErrorOf(input);
    const quint32 quotedDestination = Address(input, 4);
    const Bytes quoted = Slice(input, 8, input.size() - 8);

    CheckQueuedVerdict(error, DecodeQueuedError(error, View(quoted), quotedDestination, Expected()),
                       StatusForIcmpError(error.type, error.code),
                       quotedDestination == Expected().destination && IsOurEchoRequest(quoted));
}

// ICMPv6: the destination is 2001:db8::2.
constexpr IpAddress::V6Bytes kDestination6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0,
                                              0,    0,    0,    0,    0, 0, 0, 2};

Echo6Expectation Expected6()
{
    return {kDestination6, kIdentifier, kSequence};
}

IpAddress::V6Bytes Address6(const Bytes &bytes, std::size_t offset)
{
    IpAddress::V6Bytes address{};
    std::memcpy(address.data(), bytes.data() + offset, address.size());
    return address;
}

bool IsOurEcho6Request(const Bytes &icmp)
{
    return icmp.size() >= 8 && At(icmp, 0) == Icmp6Type::EchoRequest &&
           Word(icmp, 4) == kIdentifier && Word(icmp, 6) == kSequence;
}

void FuzzIcmp6Message(const Bytes &input)
{
    if (input.size() < 32)
        return;
    const IpAddress::V6Bytes sender = Address6(input, 0);
    const IpAddress::V6Bytes receiver = Address6(input, 16);
    const Bytes message = Slice(input, 32, input.size() - 32);
    const std::optional<quint32> verdict =
        DecodeIcmp6Message(View(message), sender, receiver, Expected6());
    if (!verdict)
        return;
    RequireProperty(message.size() >= 8, "a verdict comes from a whole ICMPv6 header");
    const quint8 type = At(message, 0);
    if (*verdict == 0) {
        RequireProperty(type == Icmp6Type::EchoReply, "status 0 comes from an echo reply");
        RequireProperty(sender == kDestination6,
                        "status 0 needs the reply to come from the destination");
        RequireProperty(Word(message, 4) == kIdentifier && Word(message, 6) == kSequence,
                        "status 0 needs our identifier and sequence");
        return;
    }
    RequireProperty(StatusForIcmp6Error(type, At(message, 1)) == verdict,
                    "an error verdict is the status of the message's type and code");
    const Bytes quote = Slice(message, 8, message.size() - 8);
    RequireProperty(quote.size() >= 40 && At(quote, 0) >> 4 == 6 && At(quote, 6) == 58,
                    "an error verdict needs a quoted IPv6 header followed by ICMPv6");
    RequireProperty(Address6(quote, 24) == kDestination6,
                    "an error verdict needs a quoted packet to our destination");
    RequireProperty(Address6(quote, 8) == receiver,
                    "an error verdict needs the quoted request to leave from the receiver");
    RequireProperty(IsOurEcho6Request(Slice(quote, 40, quote.size() - 40)),
                    "an error verdict needs the quote to be our echo request");
}

void FuzzQueuedIcmp6Error(const Bytes &input)
{
    if (input.size() < 20)
        return;
    const QueuedError error = QueuedErrorOf(input);
    const IpAddress::V6Bytes quotedDestination = Address6(input, 4);
    const Bytes quoted = Slice(input, 20, input.size() - 20);

    CheckQueuedVerdict(error,
                       DecodeQueuedIcmp6Error(error, View(quoted), quotedDestination, Expected6()),
                       StatusForIcmp6Error(error.type, error.code),
                       quotedDestination == kDestination6 && IsOurEcho6Request(quoted));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const quint8 mode = data[0];
    const Bytes input(data + 1, data + size);
    const bool repair = (mode & 0x80) != 0;
    if ((mode & 0x40) != 0) {
        if (mode % 4 == 2)
            FuzzQueuedIcmp6Error(input);
        else
            FuzzIcmp6Message(input);
        return 0;
    }
    switch (mode % 4) {
    case 0:
    case 3:
        FuzzDatagram(input, repair);
        break;
    case 1:
        FuzzRawPacket(input, repair);
        break;
    case 2:
        FuzzQueuedError(input);
        break;
    }
    return 0;
}
