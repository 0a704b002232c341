#pragma once

#include "IpAddress.h"

#include <QString>

// What this machine's own side of the line is like on the way to one address: the
// interface the traffic would leave by, and whether it could carry anything.
struct OwnLinkState
{
    enum class Status
    {
        Up,
        NoRoute,    // the kernel has no route to the address (by the pinned interface)
        Missing,    // the interface named or routed through does not exist (any more)
        NoCarrier,  // it is down, has no carrier, or waits for its authentication
        NoAddress,  // it has no address of the destination's family
        Unreadable, // the kernel's state could not be read
    };
    Status status = Status::Up;
    // The interface judged, as the kernel names it; empty when none was found.
    QString interfaceName;
    // Unreadable: why.
    QString error;
};

// Reads the kernel's view of this machine's own link. It is asked on the watch's
// thread just before a fail command goes, so it must answer within milliseconds and
// never wait on the network.
class OwnLinkReader
{
public:
    virtual ~OwnLinkReader() = default;
    // pinnedInterface: the interface every echo must leave by; empty: the one the
    // kernel routes destination through now.
    virtual OwnLinkState Read(const IpAddress &destination, const QString &pinnedInterface) = 0;
};
