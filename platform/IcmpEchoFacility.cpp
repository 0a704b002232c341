#include "IcmpEchoFacility.h"

#include "IcmpPacket.h"
#include "StopLatch.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
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

class SocketHandle
{
public:
    explicit SocketHandle(int descriptor) : m_descriptor(descriptor) {}
    SocketHandle(SocketHandle &&other) noexcept
        : m_descriptor(std::exchange(other.m_descriptor, -1))
    {
    }
    SocketHandle(const SocketHandle &) = delete;
    SocketHandle &operator=(const SocketHandle &) = delete;
    SocketHandle &operator=(SocketHandle &&) = delete;
    ~SocketHandle()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }

    bool isValid() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }

private:
    int m_descriptor;
};

enum class SocketKind
{
    Datagram,
    Raw,
};

struct EchoSocket
{
    SocketHandle handle;
    SocketKind kind;
};

// Why a socket of one kind could not be opened, as far as trying the other kind
// goes.
enum class OpenRefusal
{
    Permission,  // this user may not: the other kind may still be allowed
    Unsupported, // the kernel has no such socket: the other kind may still work
    Other,       // out of descriptors or memory: the other kind would fail alike
};

OpenRefusal RefusalOf(int error)
{
    switch (error) {
    case EACCES: // the user's group is outside net.ipv4.ping_group_range ("1 0" admits none)
    case EPERM:  // no CAP_NET_RAW, or a security module or a seccomp policy denies it
        return OpenRefusal::Permission;
    case EPROTONOSUPPORT: // a kernel built without ICMP datagram sockets
    case ESOCKTNOSUPPORT: // the same on kernels that report it by socket type
        return OpenRefusal::Unsupported;
    default:
        return OpenRefusal::Other;
    }
}

// The kinds of socket to try, in order.
struct KindsToTry
{
    std::array<SocketKind, 2> kinds;
    std::size_t count;
};

KindsToTry KindsFor(IcmpEchoFacility::SocketChoice choice, bool rawFirst)
{
    switch (choice) {
    case IcmpEchoFacility::SocketChoice::DatagramOnly:
        return {{SocketKind::Datagram, SocketKind::Datagram}, 1};
    case IcmpEchoFacility::SocketChoice::RawOnly:
        return {{SocketKind::Raw, SocketKind::Raw}, 1};
    case IcmpEchoFacility::SocketChoice::DatagramFirst:
        break;
    }
    if (rawFirst)
        return {{SocketKind::Raw, SocketKind::Datagram}, 2};
    return {{SocketKind::Datagram, SocketKind::Raw}, 2};
}

struct SocketOpening
{
    std::optional<EchoSocket> socket;
    // No socket, and only because this user may not open one: no request can go out.
    bool permissionRefused = false;
};

SocketOpening OpenEchoSocket(const KindsToTry &order)
{
    SocketOpening opening;
    for (std::size_t index = 0; index < order.count; ++index) {
        const SocketKind kind = order.kinds[index];
        SocketHandle handle(
            ::socket(AF_INET, (kind == SocketKind::Raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC,
                     IPPROTO_ICMP));
        if (handle.isValid()) {
            opening.socket.emplace(EchoSocket{std::move(handle), kind});
            return opening;
        }
        const OpenRefusal refusal = RefusalOf(errno);
        if (refusal == OpenRefusal::Other) {
            opening.permissionRefused = false;
            return opening;
        }
        opening.permissionRefused = opening.permissionRefused || refusal == OpenRefusal::Permission;
    }
    return opening;
}

// Readies the socket for one echo and gives the identifier its request carries.
std::optional<quint16> PrepareSocket(const EchoSocket &socket)
{
    const int descriptor = socket.handle.descriptor();
    if (socket.kind == SocketKind::Raw) {
        // A raw socket sees every ICMP message the host receives; let through only
        // replies and the errors that can quote a request.
        icmp_filter filter{};
        filter.data = ~((1U << IcmpType::EchoReply) | (1U << IcmpType::DestinationUnreachable) |
                        (1U << IcmpType::SourceQuench) | (1U << IcmpType::TimeExceeded) |
                        (1U << IcmpType::ParameterProblem));
        if (::setsockopt(descriptor, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0)
            return std::nullopt;
        // Other raw probers on the host receive the same replies; a random
        // identifier keeps theirs and ours apart.
        return quint16(QRandomGenerator::global()->generate());
    }

    // ICMP errors about a datagram socket's request reach it only through the
    // error queue, and only with IP_RECVERR.
    const int enable = 1;
    if (::setsockopt(descriptor, IPPROTO_IP, IP_RECVERR, &enable, sizeof enable) != 0)
        return std::nullopt;
    // The kernel writes its own identifier (the socket's port) into the request
    // and delivers only replies that carry it; binding fixes it before the send.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    socklen_t length = sizeof local;
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return std::nullopt;
    return ntohs(local.sin_port);
}

// Room for any reply to our request or error quoting it; larger packets arrive
// truncated and are foreign anyway.
constexpr std::size_t kReceiveBufferSize = 2048;

// Reads every packet waiting on the socket; the first one that settles the echo wins.
std::optional<quint32> ReadWaitingPackets(const EchoSocket &socket, const EchoExpectation &expected)
{
    std::array<char, kReceiveBufferSize> buffer{};
    for (;;) {
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t received = ::recvfrom(socket.handle.descriptor(), buffer.data(),
                                            buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                            reinterpret_cast<sockaddr *>(&sender), &senderLength);
        if (received < 0)
            return std::nullopt; // drained, or a pending error the error queue reports
        if (std::size_t(received) > buffer.size())
            continue;
        const QByteArrayView bytes(buffer.data(), received);
        const std::optional<quint32> status =
            socket.kind == SocketKind::Raw
                ? DecodeRawPacket(bytes, expected)
                : DecodeDatagram(bytes, sender.sin_addr.s_addr, expected);
        if (status)
            return status;
    }
}

QueuedErrorOrigin OriginOf(const sock_extended_err &error)
{
    switch (error.ee_origin) {
    case SO_EE_ORIGIN_ICMP:
        return QueuedErrorOrigin::Icmp;
    case SO_EE_ORIGIN_LOCAL:
        return QueuedErrorOrigin::Local;
    default:
        return QueuedErrorOrigin::Other;
    }
}

// Reads the socket's error queue: ICMP errors that quote our request, and local
// failures of the send.
std::optional<quint32> ReadQueuedErrors(int descriptor, const EchoExpectation &expected)
{
    std::array<char, kReceiveBufferSize> quoted{};
    alignas(cmsghdr) std::array<char, 512> control{};
    bool readAny = false;
    for (;;) {
        sockaddr_in destination{};
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
            if (!readAny) {
                int pending = 0;
                socklen_t length = sizeof pending;
                ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &pending, &length);
            }
            return std::nullopt;
        }
        readAny = true;
        const QByteArrayView bytes(quoted.data(),
                                   std::min(qsizetype(received), qsizetype(quoted.size())));
        for (cmsghdr *header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR ||
                header->cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
                continue;
            sock_extended_err extended{};
            std::memcpy(&extended, CMSG_DATA(header), sizeof extended);
            const QueuedError error{OriginOf(extended), extended.ee_type, extended.ee_code,
                                    int(extended.ee_errno)};
            const std::optional<quint32> status =
                DecodeQueuedError(error, bytes, destination.sin_addr.s_addr, expected);
            if (status)
                return status;
        }
    }
}

// The kernel lets a poll end late by up to a thousandth of its time-out (2 ms of a
// 2-second wait); short waits in a row keep that slack to a tenth of a millisecond.
constexpr Clock::duration kLongestSingleWait = std::chrono::milliseconds(100);

quint32 WholeMilliseconds(Clock::duration duration)
{
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

timespec AsTimespec(Clock::duration duration)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    const auto nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(duration - seconds);
    return timespec{time_t(seconds.count()), long(nanoseconds.count())};
}

} // namespace

IcmpEchoFacility::IcmpEchoFacility(SocketChoice choice, const StopLatch *stop)
    : m_choice(choice), m_stop(stop),
      m_nextSequence(quint16(QRandomGenerator::global()->generate()))
{
}

bool IcmpEchoFacility::maySendEchoes()
{
    const SocketOpening opening = OpenEchoSocket(KindsFor(m_choice, m_rawFirst));
    if (opening.socket)
        m_rawFirst = opening.socket->kind == SocketKind::Raw;
    // A refused datagram socket does not matter when the raw one opened after it.
    return opening.socket || !opening.permissionRefused;
}

EchoResult IcmpEchoFacility::echo(quint32 destination, const QByteArray &payload, quint32 timeoutMs)
{
    if (m_stop != nullptr && m_stop->stopRequested())
        return {kGeneralFailure, 0, EchoHindrance::Stopped};
    const SocketOpening opening = OpenEchoSocket(KindsFor(m_choice, m_rawFirst));
    if (!opening.socket)
        return {kGeneralFailure, 0,
                opening.permissionRefused ? EchoHindrance::NoPermission : EchoHindrance::None};
    // The kind that worked is tried first from now on: where the datagram socket is
    // refused, every echo would otherwise pay for a failing socket(2) call first.
    m_rawFirst = opening.socket->kind == SocketKind::Raw;
    const EchoSocket &socket = *opening.socket;
    const std::optional<quint16> identifier = PrepareSocket(socket);
    if (!identifier)
        return {kGeneralFailure, 0};

    const EchoExpectation expected{destination, *identifier, m_nextSequence++};
    const QByteArray request = BuildEchoRequest(expected.identifier, expected.sequence, payload);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = destination;

    const int descriptor = socket.handle.descriptor();
    const Clock::time_point sent = Clock::now();
    ssize_t written = 0;
    do {
        written = ::sendto(descriptor, request.constData(), std::size_t(request.size()), 0,
                           reinterpret_cast<const sockaddr *>(&target), sizeof target);
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return {StatusForLocalError(errno), 0};

    // The deadline, not the number of wake-ups, ends the wait: stray packets and
    // signals only send us back to wait out the rest. A stop ends it at once; the
    // latch's descriptor is -1, which ppoll passes over, when there is none.
    const Clock::time_point deadline = sent + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const Clock::duration remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero())
            return {kTimedOut, 0};
        const timespec wait = AsTimespec(std::min(remaining, kLongestSingleWait));
        std::array<pollfd, 2> watched{
            {{descriptor, POLLIN, 0}, {m_stop != nullptr ? m_stop->descriptor() : -1, POLLIN, 0}}};
        const int ready = ::ppoll(watched.data(), watched.size(), &wait, nullptr);
        if (m_stop != nullptr && m_stop->stopRequested())
            return {kGeneralFailure, 0, EchoHindrance::Stopped};
        if (ready < 0 && errno != EINTR)
            return {kGeneralFailure, 0};
        if (ready <= 0)
            continue;

        const short events = watched[0].revents;
        std::optional<quint32> status;
        if (events & POLLERR)
            status = ReadQueuedErrors(descriptor, expected);
        if (!status && (events & POLLIN))
            status = ReadWaitingPackets(socket, expected);
        if (status) {
            const quint32 roundTrip =
                *status == kSuccess ? WholeMilliseconds(Clock::now() - sent) : 0;
            return {*status, roundTrip};
        }
    }
}
