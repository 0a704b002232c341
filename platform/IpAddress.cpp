#include "IpAddress.h"

#include <QHashFunctions>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>

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
