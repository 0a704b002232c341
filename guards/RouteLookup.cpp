#include "RouteLookup.h"

#include "FileDescriptor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kLastErrorNumber = 4095;

// Netlink pads every message and attribute to four bytes.
constexpr qsizetype Padded(qsizetype length)
{
    return (length + 3) & ~qsizetype{3};
}

void AppendAttribute(QByteArray &message, quint16 type, const void *payload, quint16 size)
{
    rtattr attribute{};
    attribute.rta_len = static_cast<unsigned short>(sizeof attribute + size);
    attribute.rta_type = type;
    message.append(reinterpret_cast<const char *>(&attribute), sizeof attribute);
    message.append(static_cast<const char *>(payload), size);
    message.append(Padded(message.size()) - message.size(), '\0');
}

// The header at offset of bytes, copied out: a datagram keeps no promise of alignment
// to a reader that did not allocate it.
template <typename Header> bool CopyOut(QByteArrayView bytes, qsizetype offset, Header &header)
{
    if (offset < 0 || bytes.size() - offset < qsizetype(sizeof header))
        return false;
    std::memcpy(&header, bytes.data() + offset, sizeof header);
    return true;
}

RouteAnswer ReadRoute(QByteArrayView body)
{
    RouteAnswer answer{RouteAnswer::Kind::Route, 0, 0};
    for (qsizetype at = Padded(sizeof(rtmsg)); at < body.size();) {
        rtattr attribute{};
        if (!CopyOut(body, at, attribute) || attribute.rta_len < sizeof attribute ||
            attribute.rta_len > body.size() - at)
            break;
        quint32 index = 0;
        if (attribute.rta_type == RTA_OIF && attribute.rta_len >= sizeof attribute + sizeof index &&
            CopyOut(body, at + qsizetype(sizeof attribute), index))
            answer.outputInterface = index;
        at += Padded(attribute.rta_len);
    }
    return answer;
}

} // namespace

QByteArray RouteRequest(const IpAddress &destination, quint32 outputInterface, quint32 sequence)
{
    nlmsghdr header{};
    header.nlmsg_type = RTM_GETROUTE;
    header.nlmsg_flags = NLM_F_REQUEST;
    header.nlmsg_seq = sequence;
    rtmsg route{};
    route.rtm_family = destination.isV6() ? AF_INET6 : AF_INET;
    route.rtm_dst_len = destination.isV6() ? 128 : 32;

    QByteArray message(reinterpret_cast<const char *>(&header), sizeof header);
    message.append(reinterpret_cast<const char *>(&route), sizeof route);
    message.append(Padded(message.size()) - message.size(), '\0');
    const quint32 v4 = destination.v4Address();
    if (destination.isV6())
        AppendAttribute(message, RTA_DST, destination.v6Bytes().data(), 16);
    else
        AppendAttribute(message, RTA_DST, &v4, sizeof v4);
    if (outputInterface != 0)
        AppendAttribute(message, RTA_OIF, &outputInterface, sizeof outputInterface);
    header.nlmsg_len = static_cast<quint32>(message.size());
    std::memcpy(message.data(), &header, sizeof header);
    return message;
}

RouteAnswer ReadRouteReply(QByteArrayView datagram, quint32 sequence)
{
    for (qsizetype at = 0; at < datagram.size();) {
        nlmsghdr header{};
        if (!CopyOut(datagram, at, header) || header.nlmsg_len < sizeof header ||
            header.nlmsg_len > quint64(datagram.size() - at))
            break;
        const QByteArrayView body = datagram.sliced(at + qsizetype(sizeof header),
                                                    qsizetype(header.nlmsg_len - sizeof header));
        at += Padded(header.nlmsg_len);
        if (header.nlmsg_seq != sequence)
            continue;
        if (header.nlmsg_type == RTM_NEWROUTE && body.size() >= qsizetype(sizeof(rtmsg)))
            return ReadRoute(body);
        int code = 0;
        // 0 acknowledges a request, which carries no answer; the kernel's error numbers
        // end at 4095, and no other is one.
        if (header.nlmsg_type == NLMSG_ERROR && CopyOut(body, 0, code) && code < 0 &&
            code >= -kLastErrorNumber)
            return {RouteAnswer::Kind::Refused, 0, -code};
    }
    return {};
}

RouteAnswer LookUpRoute(const IpAddress &destination, quint32 outputInterface, int waitMs)
{
    const FileDescriptor socket(
        ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (!socket.isValid())
        return {RouteAnswer::Kind::Failed, 0, errno};
    // A socket of its own hears only answers to its own requests.
    constexpr quint32 kSequence = 1;
    const QByteArray request = RouteRequest(destination, outputInterface, kSequence);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.get(), request.constData(), size_t(request.size()), 0,
                 reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel) < 0)
        return {RouteAnswer::Kind::Failed, 0, errno};
    pollfd readable{socket.get(), POLLIN, 0};
    const int ready = ::poll(&readable, 1, waitMs);
    if (ready <= 0)
        return {RouteAnswer::Kind::Failed, 0, ready == 0 ? ETIMEDOUT : errno};
    // An answer with an error quotes the request, and a route fills a few hundred
    // bytes; MSG_TRUNC tells the whole length, should it ever be longer.
    QByteArray datagram(8192, '\0');
    const ssize_t received =
        ::recv(socket.get(), datagram.data(), size_t(datagram.size()), MSG_DONTWAIT | MSG_TRUNC);
    if (received < 0)
        return {RouteAnswer::Kind::Failed, 0, errno};
    if (received > datagram.size())
        return {RouteAnswer::Kind::Failed, 0, EMSGSIZE};
    datagram.truncate(received);
    const RouteAnswer answer = ReadRouteReply(datagram, kSequence);
    return answer.kind == RouteAnswer::Kind::None
               ? RouteAnswer{RouteAnswer::Kind::Failed, 0, EBADMSG}
               : answer;
}
