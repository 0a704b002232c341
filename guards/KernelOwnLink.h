#pragma once

#include "OwnLink.h"

// The kernel's view, read afresh at every call; needs no privilege. The route comes
// from an rtnetlink lookup, the interface's state and addresses from getifaddrs.
//
// Worst case: the route lookup is answered from the routing tables while it is sent
// and its wait is capped at kRouteWaitMs; getifaddrs asks the kernel for its list of
// interfaces and addresses, which waits while another task changes the network
// configuration (the kernel's rtnl lock). On a quiet machine the whole read takes a
// few hundred microseconds; behind such a change, as long as that change holds the
// lock, which a driver bringing a card up can stretch to tens of milliseconds.
class KernelOwnLink final : public OwnLinkReader
{
public:
    static constexpr int kRouteWaitMs = 10;

    OwnLinkState Read(const IpAddress &destination, const QString &pinnedInterface) override;
};
