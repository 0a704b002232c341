#pragma once

#include "IpAddress.h"

#include <QByteArray>
#include <QString>

// What the text of an address field names: an address to probe as it stands, a
// host name to look up first, or nothing that can be probed.
struct ProbeTarget
{
    enum class Kind
    {
        Invalid,
        Address,
        HostName,
    };
    Kind kind = Kind::Invalid;
    // For Kind::Address.
    IpAddress address;
    // For Kind::HostName: ASCII, an internationalised name in its ACE form, as the
    // resolver takes it.
    QByteArray hostName;
};

// Blanks around the text are ignored. Dotted IPv4 is read by ParseDottedAddress and
// keeps its rules; an IPv6 literal may carry a zone ("fe80::1%eth0"), and one that
// maps an IPv4 address ("::ffff:192.0.2.1") names that IPv4 address; any other text
// is a host name when it could be one.
ProbeTarget ParseProbeTarget(const QString &text);
