#include "EchoSocket.h"

#include "Icmp6Packet.h"
#include "IcmpPacket.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <iterator>
#include <utility>

namespace {

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

// A raw socket sees every ICMP message the host receives; let through only replies
// and the errors that can quote a request. The kernel checks these types before it
// copies a packet for the socket, which is the cheaper place to turn most away.
bool FilterRawSocketTypes(int descriptor, int family)
{
    if (family == AF_INET6) {
        icmp6_filter filter{};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (const quint8 type :
             {Icmp6Type::EchoReply, Icmp6Type::DestinationUnreachable, Icmp6Type::PacketTooBig,
              Icmp6Type::TimeExceeded, Icmp6Type::ParameterProblem})
            ICMP6_FILTER_SETPASS(type, &filter);
        return ::setsockopt(descriptor, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0;
    }
    icmp_filter filter{};
    filter.data = ~((1U << IcmpType::EchoReply) | (1U << IcmpType::DestinationUnreachable) |
                    (1U << IcmpType::SourceQuench) | (1U << IcmpType::TimeExceeded) |
                    (1U << IcmpType::ParameterProblem));
    return ::setsockopt(descriptor, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0;
}

// Of those, only replies that carry our identifier and errors that quote a request
// carrying it reach the socket. Other probers' replies would otherwise pile up in
// its buffer between two echoes and could crowd out the answer to ours. The
// decoders still check everything; this only spares the socket what cannot be ours.
// A load past the packet's end rejects it.
bool FilterRawSocketIdentifier(int descriptor, int family, quint16 identifier)
{
    constexpr quint32 kAccept = 0xFFFFFFFF;
    constexpr quint32 kReject = 0;
    // An IPv6 raw socket sees the packet from its ICMPv6 header on; a quoted request
    // follows the 8-byte error header and a 40-byte IPv6 header, as the decoder insists.
    const sock_filter v6[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 0), // type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, Icmp6Type::EchoReply, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 4), // the reply's identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 4, 5),
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 48), // the quoted request's type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, Icmp6Type::EchoRequest, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 52), // and its identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, kAccept),
        BPF_STMT(BPF_RET | BPF_K, kReject),
    };
    // An IPv4 raw socket sees the IP header first; both IP headers may carry options.
    const sock_filter v4[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0), // X: the IP header's length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),  // type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IcmpType::EchoReply, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4), // the reply's identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 10, 11),
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 8), // the quoted IP header's length, in words
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0x0F),
        BPF_STMT(BPF_ALU | BPF_LSH | BPF_K, 2),
        BPF_STMT(BPF_ALU | BPF_ADD | BPF_X, 0),
        BPF_STMT(BPF_ALU | BPF_ADD | BPF_K, 8),
        BPF_STMT(BPF_MISC | BPF_TAX, 0),       // X: where the quoted request begins
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0), // its type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IcmpType::EchoRequest, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4), // and its identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, kAccept),
        BPF_STMT(BPF_RET | BPF_K, kReject),
    };
    const bool v6Family = family == AF_INET6;
    sock_fprog program{};
    program.len = quint16(v6Family ? std::size(v6) : std::size(v4));
    program.filter = const_cast<sock_filter *>(v6Family ? v6 : v4);
    return ::setsockopt(descriptor, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

// The kernel writes its own identifier (the socket's port) into a datagram socket's
// request and delivers only replies that carry it; binding fixes it before the send,
// to the path's source address when it names one for the family, else to any.
std::optional<quint16> BindDatagramSocket(int descriptor, int family, bool boundToSource)
{
    sockaddr_storage local{};
    local.ss_family = sa_family_t(family);
    const socklen_t size = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (!boundToSource && ::bind(descriptor, reinterpret_cast<const sockaddr *>(&local), size) != 0)
        return std::nullopt;
    socklen_t length = sizeof local;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return std::nullopt;
    if (family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(local).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in &>(local).sin_port);
}

} // namespace

EchoSocketOpening OpenEchoSocket(int family, const EchoSocketKinds &order)
{
    const int protocol = family == AF_INET6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
    EchoSocketOpening opening;
    for (std::size_t index = 0; index < order.count; ++index) {
        const EchoSocketKind kind = order.kinds[index];
        const int type = kind == EchoSocketKind::Raw ? int(SOCK_RAW) : int(SOCK_DGRAM);
        FileDescriptor handle(::socket(family, type | SOCK_CLOEXEC, protocol));
        if (handle.isValid()) {
            opening.socket.emplace(EchoSocket{std::move(handle), kind, family});
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

PreparedEchoSocket PrepareEchoSocket(const EchoSocket &socket, const ProbePath &path)
{
    const int descriptor = socket.handle.get();
    if (socket.kind == EchoSocketKind::Raw) {
        if (const int error = BindToProbePath(descriptor, socket.family, path))
            return {std::nullopt, error};
        // Other raw probers on the host receive the same replies; a random
        // identifier keeps theirs and ours apart.
        const auto identifier = quint16(QRandomGenerator::global()->generate());
        if (!FilterRawSocketTypes(descriptor, socket.family) ||
            !FilterRawSocketIdentifier(descriptor, socket.family, identifier))
            return {};
        // An IPv6 raw socket delivers no IPv6 header: the address an error was sent
        // to, which must be where the quoted request left from, comes beside it.
        const int enable = 1;
        if (socket.family == AF_INET6 &&
            ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_RECVPKTINFO, &enable, sizeof enable) != 0)
            return {};
        return {identifier};
    }

    // ICMP errors about a datagram socket's request reach it only through the
    // error queue, and only with IP_RECVERR (IPV6_RECVERR).
    const int enable = 1;
    const bool queued =
        socket.family == AF_INET6
            ? ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_RECVERR, &enable, sizeof enable) == 0
            : ::setsockopt(descriptor, IPPROTO_IP, IP_RECVERR, &enable, sizeof enable) == 0;
    if (!queued)
        return {};
    if (const int error = BindToProbePath(descriptor, socket.family, path))
        return {std::nullopt, error};
    return {BindDatagramSocket(descriptor, socket.family,
                               path.bindsFamily(FamilyOfSocket(socket.family)))};
}
