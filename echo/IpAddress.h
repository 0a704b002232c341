#pragma once

#include <QString>
#include <QtGlobal>

#include <sys/socket.h>

#include <array>

// An address an echo can go to: IPv4, or IPv6 with the interface index of its zone
// (0 for none). Bytes are in network order, as they sit in a packet.
class IpAddress
{
public:
    enum class Family
    {
        V4,
        V6,
    };
    using V6Bytes = std::array<quint8, 16>;

    // An IPv4 address in network byte order (first byte lowest in memory).
    static IpAddress v4(quint32 networkOrder);
    static IpAddress v6(const V6Bytes &bytes, quint32 scopeId = 0);

    Family family() const { return m_family; }
    bool isV6() const { return m_family == Family::V6; }
    // Meaningful for IPv4 only.
    quint32 v4Address() const { return m_v4; }
    // Meaningful for IPv6 only.
    const V6Bytes &v6Bytes() const { return m_v6; }
    quint32 scopeId() const { return m_scopeId; }

    // The usual text form: dotted for IPv4, RFC 5952 for IPv6, with "%" and the
    // zone's interface name (or its index when it has no name) when there is one.
    QString toString() const;

    friend bool operator==(const IpAddress &, const IpAddress &) = default;

private:
    Family m_family = Family::V4;
    quint32 m_v4 = 0;
    V6Bytes m_v6{};
    quint32 m_scopeId = 0;
};

size_t qHash(const IpAddress &address, size_t seed = 0);

// The address of an IPv4 or IPv6 socket address, as the resolver and the socket calls
// fill them in; any other family reads as IPv4.
IpAddress IpAddressOf(const sockaddr &address);

// The address as the socket calls take it; the length is that of the family's own
// address structure.
struct SocketAddress
{
    sockaddr_storage storage{};
    socklen_t length = 0;
};

SocketAddress SocketAddressOf(const IpAddress &address);
