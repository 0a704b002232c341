#pragma once

#include "IpAddress.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The way every echo must leave by, so that a backup path that also reaches the
// addresses never answers for the watched line. Nothing set: as the routing table
// chooses.
struct ProbePath
{
    // Every echo socket of either family is bound to it; empty: none.
    QByteArray interfaceName;
    // Echo sockets of its family are bound to it; those of the other family are not.
    std::optional<IpAddress> source;

    bool bindsFamily(IpAddress::Family family) const
    {
        return source && source->family() == family;
    }
};

// The path the Interface and SourceAddress options name, as their checks took them. An
// address that maps an IPv4 one ("::ffff:192.0.2.7") is that IPv4 address, as it is
// in an address field; a text that is no address names none.
ProbePath ProbePathOf(const QString &interfaceName, const QString &sourceAddress);

// What this machine cannot take of the path now, and what the watch does meanwhile: a
// sentence for each part, or nothing when it takes it (or it is not set). Tried on a
// socket of its own, bound as an echo socket is, so that it says what an echo would
// meet.
struct ProbePathRefusals
{
    std::optional<QString> interfaceName;
    std::optional<QString> source;
};
ProbePathRefusals CheckProbePath(const ProbePath &path);

// The family of an AF_INET or AF_INET6 socket.
IpAddress::Family FamilyOfSocket(int family);

// Binds a new socket of the family to the path, before its first send: to the
// interface, then to the source address when it is of the family. Returns 0, or the
// errno of the call that failed.
int BindToProbePath(int descriptor, int family, const ProbePath &path);
