#include "IpAddress.h"

#include <QHashFunctions>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <cstring>

IpAddress IpAddress::v4(quint32 networkOrder)
{
    IpAddress address;
    address.m_family = Family::V4;
    address.m_v4 = networkOrder;
    return address;
}

IpAddress IpAddress::v6(const V6Bytes &bytes, quint32 scopeId)
{
    IpAddress address;
    address.m_family = Family::V6;
    address.m_v6 = bytes;
    address.m_scopeId = scopeId;
    return address;
}

QString IpAddress::toString() const
{
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (m_family == Family::V4) {
        in_addr address{};
        address.s_addr = m_v4;
        ::inet_ntop(AF_INET, &address, text.data(), text.size());
        return QString::fromLatin1(text.data());
    }
    ::inet_ntop(AF_INET6, m_v6.data(), text.data(), text.size());
    QString result = QString::fromLatin1(text.data());
    if (m_scopeId != 0) {
        std::array<char, IF_NAMESIZE> name{};
        result += u'%';
        result += ::if_indextoname(m_scopeId, name.data()) != nullptr
                      ? QString::fromLocal8Bit(name.data())
                      : QString::number(m_scopeId);
    }
    return result;
}

size_t qHash(const IpAddress &address, size_t seed)
{
    if (address.family() == IpAddress::Family::V4)
        return qHash(address.v4Address(), seed);
    const auto &bytes = address.v6Bytes();
    return qHashMulti(
        seed, QByteArrayView(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
        address.scopeId());
}

IpAddress IpAddressOf(const sockaddr &address)
{
    if (address.sa_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        IpAddress::V6Bytes bytes{};
        std::memcpy(bytes.data(), &v6.sin6_addr, bytes.size());
        return IpAddress::v6(bytes, v6.sin6_scope_id);
    }
    return IpAddress::v4(reinterpret_cast<const sockaddr_in &>(address).sin_addr.s_addr);
}

SocketAddress SocketAddressOf(const IpAddress &address)
{
    SocketAddress socketAddress;
    if (address.isV6()) {
        auto &target = reinterpret_cast<sockaddr_in6 &>(socketAddress.storage);
        target.sin6_family = AF_INET6;
        std::memcpy(&target.sin6_addr, address.v6Bytes().data(), sizeof target.sin6_addr);
        target.sin6_scope_id = address.scopeId();
        socketAddress.length = sizeof target;
    } else {
        auto &target = reinterpret_cast<sockaddr_in &>(socketAddress.storage);
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = address.v4Address();
        socketAddress.length = sizeof target;
    }
    return socketAddress;
}
