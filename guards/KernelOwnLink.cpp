#include "KernelOwnLink.h"

#include "RouteLookup.h"

#include <QByteArray>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// The carrier, which <net/if.h> does not name. It follows the cable or the radio at
// once; IFF_RUNNING, the operational state, follows it a moment later and also stays
// off while a Wi-Fi link waits for its authentication. Either off: nothing passes.
constexpr unsigned int kLowerUp = 0x10000;

struct InterfaceView
{
    bool found = false;
    unsigned int flags = 0;
    bool hasAddress = false;
};

bool IsLinkLocal(const quint8 *bytes)
{
    return bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80;
}

// An address that traffic to destination can leave from: any IPv4 one for IPv4; for
// IPv6 one beyond this link, unless the destination is on the link itself.
bool AddressServes(const sockaddr *address, const IpAddress &destination)
{
    if (address == nullptr)
        return false;
    if (!destination.isV6())
        return address->sa_family == AF_INET;
    if (address->sa_family != AF_INET6)
        return false;
    sockaddr_in6 own{};
    std::memcpy(&own, address, sizeof own);
    const auto *bytes = reinterpret_cast<const quint8 *>(&own.sin6_addr);
    if (IN6_IS_ADDR_LOOPBACK(&own.sin6_addr))
        return false;
    return IsLinkLocal(destination.v6Bytes().data()) || !IsLinkLocal(bytes);
}

InterfaceView ViewOf(const QByteArray &name, const IpAddress &destination, int &error)
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) {
        error = errno;
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owned(list, &::freeifaddrs);
    InterfaceView view;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr || name != entry->ifa_name)
            continue;
        view.found = true;
        view.flags |= entry->ifa_flags;
        view.hasAddress = view.hasAddress || AddressServes(entry->ifa_addr, destination);
    }
    return view;
}

OwnLinkState Unreadable(const QString &what, int error)
{
    return {OwnLinkState::Status::Unreadable,
            {},
            what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))};
}

// The answers by which the kernel says it has no way to the destination: no route, an
// unreachable route, or a prohibited one.
bool MeansNoRoute(int error)
{
    return error == ENETUNREACH || error == EHOSTUNREACH || error == EACCES;
}

} // namespace

OwnLinkState KernelOwnLink::Read(const IpAddress &destination, const QString &pinnedInterface)
{
    OwnLinkState state;
    QByteArray name = pinnedInterface.toUtf8();
    quint32 index = 0;
    if (!pinnedInterface.isEmpty()) {
        state.interfaceName = pinnedInterface;
        index = ::if_nametoindex(name.constData());
        if (index == 0) {
            state.status = OwnLinkState::Status::Missing;
            return state;
        }
    } else {
        const RouteAnswer route = LookUpRoute(destination, destination.scopeId(), kRouteWaitMs);
        if (route.kind == RouteAnswer::Kind::Refused && MeansNoRoute(route.error))
            return {OwnLinkState::Status::NoRoute, {}, {}};
        if (route.kind != RouteAnswer::Kind::Route)
            return Unreadable(QStringLiteral("the route lookup failed"), route.error);
        if (route.outputInterface == 0)
            return Unreadable(QStringLiteral("the route names no interface"), ENODEV);
        std::array<char, IF_NAMESIZE> buffer{};
        if (::if_indextoname(route.outputInterface, buffer.data()) == nullptr) {
            // Gone between the lookup and now.
            state.status = OwnLinkState::Status::Missing;
            return state;
        }
        index = route.outputInterface;
        name = buffer.data();
        state.interfaceName = QString::fromUtf8(name);
    }

    int error = 0;
    const InterfaceView view = ViewOf(name, destination, error);
    if (error != 0)
        return Unreadable(QStringLiteral("the interfaces could not be listed"), error);
    if (!view.found)
        state.status = OwnLinkState::Status::Missing;
    // The loopback interface carries this machine's own addresses and cannot fail.
    else if ((view.flags & IFF_LOOPBACK) != 0)
        state.status = OwnLinkState::Status::Up;
    else if ((view.flags & IFF_UP) == 0 || (view.flags & IFF_RUNNING) == 0 ||
             (view.flags & kLowerUp) == 0)
        state.status = OwnLinkState::Status::NoCarrier;
    else if (!view.hasAddress)
        state.status = OwnLinkState::Status::NoAddress;
    if (state.status != OwnLinkState::Status::Up || pinnedInterface.isEmpty())
        return state;

    // Echoes bound to the pinned interface go only where a route by it leads.
    const RouteAnswer route = LookUpRoute(destination, index, kRouteWaitMs);
    if (route.kind == RouteAnswer::Kind::Refused && MeansNoRoute(route.error))
        state.status = OwnLinkState::Status::NoRoute;
    else if (route.kind != RouteAnswer::Kind::Route)
        return Unreadable(QStringLiteral("the route lookup failed"), route.error);
    return state;
}
