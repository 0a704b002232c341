#include "ProbePath.h"

#include "FileDescriptor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char *kInterfaceBlind =
    " No echo is sent until it can be; until then the watch is blind: a cycle that no "
    "address answers is not counted, and no fail command is sent.";

QString FamilyName(IpAddress::Family family)
{
    return family == IpAddress::Family::V6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4");
}

QString InterfaceRefusal(int error)
{
    QString why;
    switch (error) {
    case ENODEV:
        why = QStringLiteral("this machine has no interface of that name now.");
        break;
    case EPERM: // before Linux 5.7 binding to an interface needs CAP_NET_RAW
        why = QStringLiteral("binding to an interface needs CAP_NET_RAW on this system.");
        break;
    default:
        why = QStringLiteral("echo sockets cannot be bound to it: %1.")
                  .arg(QString::fromLocal8Bit(std::strerror(error)));
        break;
    }
    return why + QString::fromLatin1(kInterfaceBlind);
}

// No echo is sent from a group or the broadcast address. The ICMP datagram socket
// refuses to be bound to one where a raw socket would take it, so both are refused
// alike, and --check says so as the watch meets it.
bool IsGroupOrBroadcast(const IpAddress &address)
{
    if (address.isV6())
        return address.v6Bytes()[0] == 0xFF;
    const quint32 host = ntohl(address.v4Address());
    return host >> 28 == 0xE || host == 0xFFFFFFFF;
}

QString SourceRefusal(int error, const IpAddress &source)
{
    const bool linkLocal =
        source.isV6() && source.v6Bytes()[0] == 0xFE && (source.v6Bytes()[1] & 0xC0) == 0x80;
    QString why;
    if (IsGroupOrBroadcast(source))
        why = QStringLiteral("no echo is sent from a multicast or broadcast address.");
    else if (error == EADDRNOTAVAIL)
        why = QStringLiteral("this machine has no such address now.");
    else if (error == EINVAL && linkLocal)
        why = QStringLiteral("a link-local address is bound only with the Interface it is on.");
    else
        why = QStringLiteral("echo sockets cannot be bound to it: %1.")
                  .arg(QString::fromLocal8Bit(std::strerror(error)));
    return why +
           QStringLiteral(" No echo to an %1 address is sent until it can be; until then such "
                          "an address tells nothing: a cycle that no address answers is not "
                          "counted, and no fail command is sent.")
               .arg(FamilyName(source.family()));
}

int SocketFamilyOf(IpAddress::Family family)
{
    return family == IpAddress::Family::V6 ? AF_INET6 : AF_INET;
}

} // namespace

ProbePath ProbePathOf(const QString &interfaceName, const QString &sourceAddress)
{
    ProbePath path;
    path.interfaceName = interfaceName.toUtf8();
    // Read as the option's check reads it, so that what it took is what is bound.
    const QByteArray text = sourceAddress.toLatin1();
    quint32 v4 = 0;
    IpAddress::V6Bytes v6{};
    if (text.isEmpty() || text.contains('\0'))
        return path;
    if (::inet_pton(AF_INET, text.constData(), &v4) == 1) {
        path.source = IpAddress::v4(v4);
    } else if (::inet_pton(AF_INET6, text.constData(), v6.data()) == 1) {
        // An IPv6 socket cannot be bound to an IPv4-mapped address; it names an IPv4
        // one, as it does in an address field.
        const std::array<quint8, 12> mapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::equal(mapped.begin(), mapped.end(), v6.begin())) {
            std::memcpy(&v4, v6.data() + mapped.size(), sizeof v4);
            path.source = IpAddress::v4(v4);
        } else {
            path.source = IpAddress::v6(v6);
        }
    }
    return path;
}

IpAddress::Family FamilyOfSocket(int family)
{
    return family == AF_INET6 ? IpAddress::Family::V6 : IpAddress::Family::V4;
}

int BindToProbePath(int descriptor, int family, const ProbePath &path)
{
    if (!path.interfaceName.isEmpty() &&
        ::setsockopt(descriptor, SOL_SOCKET, SO_BINDTODEVICE, path.interfaceName.constData(),
                     socklen_t(path.interfaceName.size() + 1)) != 0)
        return errno;
    if (!path.bindsFamily(FamilyOfSocket(family)))
        return 0;
    if (IsGroupOrBroadcast(*path.source))
        return EADDRNOTAVAIL;
    const SocketAddress local = SocketAddressOf(*path.source);
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&local.storage), local.length) != 0)
        return errno;
    return 0;
}

ProbePathRefusals CheckProbePath(const ProbePath &path)
{
    ProbePathRefusals refusals;
    if (path.interfaceName.isEmpty() && !path.source)
        return refusals;
    // A UDP socket, which every user may open and bind as an echo socket is bound.
    const int family = path.source ? SocketFamilyOf(path.source->family()) : AF_INET;
    FileDescriptor probe(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (!probe.isValid()) {
        const int error = errno;
        if (!path.interfaceName.isEmpty())
            refusals.interfaceName = InterfaceRefusal(error);
        if (path.source)
            refusals.source = SourceRefusal(error, *path.source);
        return refusals;
    }
    ProbePath interfaceOnly;
    interfaceOnly.interfaceName = path.interfaceName;
    if (const int error = BindToProbePath(probe.get(), family, interfaceOnly))
        refusals.interfaceName = InterfaceRefusal(error);
    if (!path.source)
        return refusals;
    ProbePath sourceOnly;
    sourceOnly.source = path.source;
    // On the socket bound to the interface when it could be, as an echo socket would be.
    if (const int error = BindToProbePath(probe.get(), family, sourceOnly))
        refusals.source = SourceRefusal(error, *path.source);
    return refusals;
}
