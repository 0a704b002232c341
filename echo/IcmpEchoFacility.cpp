#include "IcmpEchoFacility.h"

#include "EchoSocket.h"
#include "HostNameLookup.h"
#include "Icmp6Packet.h"
#include "IcmpPacket.h"
#include "ShortWaits.h"
#include "StopLatch.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr quint32 kSuccess = 0;
constexpr quint32 kTimedOut = 11010;
constexpr quint32 kGeneralFailure = 11050;

EchoSocketKinds KindsFor(IcmpEchoFacility::SocketChoice choice, bool rawFirst)
{
    switch (choice) {
    case IcmpEchoFacility::SocketChoice::DatagramOnly:
        return {{EchoSocketKind::Datagram, EchoSocketKind::Datagram}, 1};
    case IcmpEchoFacility::SocketChoice::RawOnly:
        return {{EchoSocketKind::Raw, EchoSocketKind::Raw}, 1};
    case IcmpEchoFacility::SocketChoice::DatagramFirst:
        break;
    }
    if (rawFirst)
        return {{EchoSocketKind::Raw, EchoSocketKind::Datagram}, 2};
    return {{EchoSocketKind::Datagram, EchoSocketKind::Raw}, 2};
}

int FamilyOf(const IpAddress &address)
{
    return address.isV6() ? AF_INET6 : AF_INET;
}

// What identifies the answer, in the form the decoder of the family takes.
struct Expectation
{
    EchoExpectation v4;
    Echo6Expectation v6;
};

Expectation ExpectationFor(const IpAddress &destination, quint16 identifier, quint16 sequence)
{
    Expectation expected;
    expected.v4 = EchoExpectation{destination.v4Address(), identifier, sequence};
    expected.v6 = Echo6Expectation{destination.v6Bytes(), identifier, sequence};
    return expected;
}

// Room for any reply to our request or error quoting it; larger packets arrive
// truncated and are foreign anyway.
constexpr std::size_t kReceiveBufferSize = 2048;

// Where a packet came from and, when the socket tells, where it was sent to.
struct PacketEnds
{
    sockaddr_storage sender{};
    std::optional<IpAddress::V6Bytes> receiverV6;
};

// One packet as the socket delivered it.
std::optional<quint32> DecodePacket(const EchoSocket &socket, QByteArrayView bytes,
                                    const PacketEnds &ends, const Expectation &expected)
{
    const IpAddress from = IpAddressOf(reinterpret_cast<const sockaddr &>(ends.sender));
    if (socket.family == AF_INET6)
        return DecodeIcmp6Message(bytes, from.v6Bytes(), ends.receiverV6, expected.v6);
    return socket.kind == EchoSocketKind::Raw
               ? DecodeRawPacket(bytes, expected.v4)
               : DecodeDatagram(bytes, from.v4Address(), expected.v4);
}

// The destination address an IPv6 raw socket reports beside a packet.
std::optional<IpAddress::V6Bytes> ReceiverOf(msghdr &message)
{
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != IPPROTO_IPV6 || header->cmsg_type != IPV6_PKTINFO ||
            header->cmsg_len < CMSG_LEN(sizeof(in6_pktinfo)))
            continue;
        in6_pktinfo information{};
        std::memcpy(&information, CMSG_DATA(header), sizeof information);
        IpAddress::V6Bytes address{};
        std::memcpy(address.data(), &information.ipi6_addr, address.size());
        return address;
    }
    return std::nullopt;
}

// Reads every packet waiting on the socket; the first one that settles the echo wins.
std::optional<quint32> ReadWaitingPackets(const EchoSocket &socket, const Expectation &expected)
{
    std::array<char, kReceiveBufferSize> buffer{};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in6_pktinfo))> control{};
    for (;;) {
        PacketEnds ends;
        iovec vector{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &ends.sender;
        message.msg_namelen = sizeof ends.sender;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t received = ::recvmsg(socket.handle.get(), &message, MSG_DONTWAIT | MSG_TRUNC);
        if (received < 0)
            return std::nullopt; // drained, or a pending error the error queue reports
        if (std::size_t(received) > buffer.size())
            continue;
        ends.receiverV6 = ReceiverOf(message);
        const std::optional<quint32> status =
            DecodePacket(socket, QByteArrayView(buffer.data(), received), ends, expected);
        if (status)
            return status;
    }
}

QueuedErrorOrigin OriginOf(const sock_extended_err &error)
{
    switch (error.ee_origin) {
    case SO_EE_ORIGIN_ICMP:
    case SO_EE_ORIGIN_ICMP6:
        return QueuedErrorOrigin::Icmp;
    case SO_EE_ORIGIN_LOCAL:
        return QueuedErrorOrigin::Local;
    default:
        return QueuedErrorOrigin::Other;
    }
}

// One entry of the error queue, read through the decoder of the socket's family.
std::optional<quint32> DecodeQueuedEntry(const EchoSocket &socket, const cmsghdr &header,
                                         QByteArrayView quoted, const sockaddr_storage &destination,
                                         const Expectation &expected)
{
    const bool v6 = socket.family == AF_INET6;
    const bool errorEntry = v6 ? header.cmsg_level == SOL_IPV6 && header.cmsg_type == IPV6_RECVERR
                               : header.cmsg_level == SOL_IP && header.cmsg_type == IP_RECVERR;
    if (!errorEntry || header.cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
        return std::nullopt;
    sock_extended_err extended{};
    std::memcpy(&extended, CMSG_DATA(&header), sizeof extended);
    const QueuedError error{OriginOf(extended), extended.ee_type, extended.ee_code,
                            int(extended.ee_errno)};
    const IpAddress to = IpAddressOf(reinterpret_cast<const sockaddr &>(destination));
    return v6 ? DecodeQueuedIcmp6Error(error, quoted, to.v6Bytes(), expected.v6)
              : DecodeQueuedError(error, quoted, to.v4Address(), expected.v4);
}

// What a socket's error queue held: ICMP errors that quote our request or local
// failures of our send, and whether it held anything at all.
struct QueuedErrors
{
    std::optional<quint32> ours;
    bool any = false;
};

// Empties the socket's error queue; the first entry that settles the echo is ours.
QueuedErrors ReadQueuedErrors(const EchoSocket &socket, const Expectation &expected)
{
    const int descriptor = socket.handle.get();
    std::array<char, kReceiveBufferSize> quoted{};
    alignas(cmsghdr) std::array<char, 512> control{};
    QueuedErrors queued;
    for (;;) {
        sockaddr_storage destination{};
        iovec vector{quoted.data(), quoted.size()};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t received = ::recvmsg(descriptor, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (received < 0) {
            // An error flagged on the socket without a queue entry would keep poll
            // reporting it forever; reading it clears it.
            if (!queued.any) {
                int pending = 0;
                socklen_t length = sizeof pending;
                ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &pending, &length);
            }
            return queued;
        }
        queued.any = true;
        const QByteArrayView bytes(quoted.data(),
                                   std::min(qsizetype(received), qsizetype(quoted.size())));
        for (cmsghdr *header = CMSG_FIRSTHDR(&message); header != nullptr && !queued.ours;
             header = CMSG_NXTHDR(&message, header))
            queued.ours = DecodeQueuedEntry(socket, *header, bytes, destination, expected);
    }
}

// Sends the request; on failure, errno says why.
ssize_t SendRequest(int descriptor, const QByteArray &request, const SocketAddress &target)
{
    ssize_t written = 0;
    do {
        written = ::sendto(descriptor, request.constData(), std::size_t(request.size()), 0,
                           reinterpret_cast<const sockaddr *>(&target.storage), target.length);
    } while (written < 0 && errno == EINTR);
    return written;
}

// Errors of a send that no later send on the same socket would escape; the others
// (no route, a firewall's refusal, a full buffer) belong to this echo alone.
bool LeavesSocketUnusable(int error)
{
    return error == EBADF || error == ENOTSOCK || error == EPIPE;
}

quint32 WholeMilliseconds(Clock::duration duration)
{
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

} // namespace

IcmpEchoFacility::IcmpEchoFacility(SocketChoice choice, const StopLatch *stop)
    : m_choice(choice), m_stop(stop),
      m_nextSequence(quint16(QRandomGenerator::global()->generate()))
{
}

bool IcmpEchoFacility::maySendEchoes()
{
    if (m_v4)
        return true;
    const EchoSocketOpening opening = OpenEchoSocket(AF_INET, KindsFor(m_choice, m_rawFirst));
    if (opening.socket)
        m_rawFirst = opening.socket->kind == EchoSocketKind::Raw;
    // A refused datagram socket does not matter when the raw one opened after it.
    return opening.socket || !opening.permissionRefused;
}

NameLookup IcmpEchoFacility::lookUp(const QByteArray &name, quint32 timeoutMs)
{
    return LookUpHostName(name, timeoutMs, m_stop);
}

IcmpEchoFacility::KeptSocket *IcmpEchoFacility::SocketFor(const IpAddress &destination,
                                                          EchoResult &failure)
{
    std::optional<KeptSocket> &kept = destination.isV6() ? m_v6 : m_v4;
    if (kept)
        return &*kept;
    // The same rules admit ICMP and ICMPv6 sockets (net.ipv4.ping_group_range covers
    // both), so what worked for one family is tried first for the other too.
    EchoSocketOpening opening =
        OpenEchoSocket(FamilyOf(destination), KindsFor(m_choice, m_rawFirst));
    if (!opening.socket) {
        failure = {kGeneralFailure, 0,
                   opening.permissionRefused ? EchoHindrance::NoPermission : EchoHindrance::None};
        return nullptr;
    }
    // The kind that worked is tried first from now on: where the datagram socket is
    // refused, every opening would otherwise pay for a failing socket(2) call first.
    m_rawFirst = opening.socket->kind == EchoSocketKind::Raw;
    const PreparedEchoSocket prepared = PrepareEchoSocket(*opening.socket, m_path);
    if (!prepared.identifier) {
        failure = prepared.pathError != 0 ? Unpinned(destination, prepared.pathError)
                                          : EchoResult{kGeneralFailure, 0};
        return nullptr;
    }
    (destination.isV6() ? m_v6Pinned : m_v4Pinned) = true;
    kept.emplace(KeptSocket{std::move(*opening.socket), *prepared.identifier});
    return &*kept;
}

void IcmpEchoFacility::pinTo(const ProbePath &path)
{
    m_path = path;
    m_v4.reset();
    m_v6.reset();
    m_v4Pinned = false;
    m_v6Pinned = false;
}

// An echo that cannot leave by the path is not sent another way. Until a socket of its
// family has been bound to the path, that tells nothing of the line (a name mistyped,
// a modem not up yet, a right missing): the watch is blind to the address. Once one
// has been, the path going away (a modem unplugged, a dial-up link ended) is the
// watched line going away, and the echo fails.
EchoResult IcmpEchoFacility::Unpinned(const IpAddress &destination, int error) const
{
    const bool pinnedBefore = destination.isV6() ? m_v6Pinned : m_v4Pinned;
    if (error == EPERM)
        return {kGeneralFailure, 0, EchoHindrance::NoPermission};
    if (!pinnedBefore)
        return {kGeneralFailure, 0, EchoHindrance::NoPath};
    return {StatusForLocalError(error), 0};
}

EchoResult IcmpEchoFacility::echo(const IpAddress &destination, const QByteArray &payload,
                                  quint32 timeoutMs)
{
    if (m_stop != nullptr && m_stop->stopRequested())
        return {kGeneralFailure, 0, EchoHindrance::Stopped};
    EchoResult failure;
    KeptSocket *kept = SocketFor(destination, failure);
    if (kept == nullptr)
        return failure;

    Expectation expected;
    Clock::time_point sent;
    // An ICMP error that came after its echo's wait ended stays pending on the socket,
    // and the next send, to whichever address, fails with it instead of going out. It
    // is queued as well, so a failed send empties the queue: an entry that quotes this
    // request, or the send's own local failure, is this echo's answer; an empty queue
    // leaves the send's own error. Entries meant only for other echoes, which someone
    // may keep sending, say nothing of this one: the request goes once more, on a new
    // socket whose identifier none of them quotes.
    for (bool fresh = false;; fresh = true) {
        const quint16 sequence = m_nextSequence++;
        expected = ExpectationFor(destination, kept->identifier, sequence);
        const QByteArray request = destination.isV6()
                                       ? BuildEcho6Request(kept->identifier, sequence, payload)
                                       : BuildEchoRequest(kept->identifier, sequence, payload);
        sent = Clock::now();
        if (SendRequest(kept->socket.handle.get(), request, SocketAddressOf(destination)) >= 0)
            break;
        const int error = errno;
        if (LeavesSocketUnusable(error)) {
            (destination.isV6() ? m_v6 : m_v4).reset();
            return {StatusForLocalError(error), 0};
        }
        const QueuedErrors queued = ReadQueuedErrors(kept->socket, expected);
        if (queued.ours)
            return {*queued.ours, 0};
        // A socket bound to an interface stays bound to it when it goes, and one of that
        // name that comes back (a modem plugged in again) is another, which only a
        // socket bound anew reaches: the request goes once more on one, which fails as
        // the path does while it is away.
        const bool bindAnew = !m_path.interfaceName.isEmpty();
        if (fresh || (!queued.any && !bindAnew))
            return {StatusForLocalError(error), 0};
        (destination.isV6() ? m_v6 : m_v4).reset();
        kept = SocketFor(destination, failure);
        if (kept == nullptr)
            return failure;
    }
    const EchoSocket &socket = kept->socket;
    const int descriptor = socket.handle.get();

    // The deadline, not the number of wake-ups, ends the wait: stray packets and
    // signals only send us back to wait out the rest. A stop ends it at once.
    const Clock::time_point deadline = sent + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        short events = 0;
        switch (WaitOnce(descriptor, deadline, m_stop, events)) {
        case ShortWait::TimedOut:
            return {kTimedOut, 0};
        case ShortWait::Stopped:
            return {kGeneralFailure, 0, EchoHindrance::Stopped};
        case ShortWait::Failed:
            // A wait that fails on the descriptor says nothing good of the socket.
            (destination.isV6() ? m_v6 : m_v4).reset();
            return {kGeneralFailure, 0};
        case ShortWait::Quiet:
            continue;
        case ShortWait::Ready:
            break;
        }

        std::optional<quint32> status;
        if (events & POLLERR)
            status = ReadQueuedErrors(socket, expected).ours;
        if (!status && (events & POLLIN))
            status = ReadWaitingPackets(socket, expected);
        if (status) {
            const quint32 roundTrip =
                *status == kSuccess ? WholeMilliseconds(Clock::now() - sent) : 0;
            return {*status, roundTrip};
        }
    }
}
