#include "ProbeTarget.h"

#include "EchoProbe.h"

#include <QList>
#include <QUrl>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr qsizetype kLongestLabel = 63;
constexpr qsizetype kLongestName = 253;

ProbeTarget Invalid()
{
    return {};
}

bool IsAsciiDigit(QChar character)
{
    return character >= u'0' && character <= u'9';
}

// The interface index a zone names: its number, or the interface of that name.
// 0 when there is no such interface.
quint32 ZoneIndex(QStringView zone)
{
    if (!zone.isEmpty() && std::all_of(zone.begin(), zone.end(), IsAsciiDigit)) {
        bool ok = false;
        const quint32 index = zone.toUInt(&ok);
        char name[IF_NAMESIZE] = {};
        return ok && ::if_indextoname(index, name) != nullptr ? index : 0;
    }
    if (zone.isEmpty() || zone.size() >= IF_NAMESIZE)
        return 0;
    return ::if_nametoindex(zone.toLocal8Bit().constData());
}

ProbeTarget Ipv6Literal(QStringView text)
{
    const qsizetype percent = text.indexOf(u'%');
    const QStringView literal = percent < 0 ? text : text.first(percent);
    // inet_pton reads bytes; a character outside Latin-1 must not turn into one that
    // it accepts.
    if (std::any_of(literal.begin(), literal.end(), [](QChar c) { return c.unicode() > 0x7F; }))
        return Invalid();
    IpAddress::V6Bytes bytes{};
    if (::inet_pton(AF_INET6, literal.toLatin1().constData(), bytes.data()) != 1)
        return Invalid();
    // Like 0.0.0.0, "::" reaches the local host and would always answer.
    if (bytes == IpAddress::V6Bytes{})
        return Invalid();
    quint32 scope = 0;
    if (percent >= 0) {
        scope = ZoneIndex(text.sliced(percent + 1));
        if (scope == 0)
            return Invalid();
    }
    // A link-local address means nothing without the link it is on.
    const bool linkLocal = bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80;
    if (linkLocal && scope == 0)
        return Invalid();
    ProbeTarget target;
    target.kind = ProbeTarget::Kind::Address;
    // An IPv4-mapped address ("::ffff:192.0.2.1") is how IPv6 writes an IPv4 host;
    // an ICMPv6 echo to it goes nowhere, so the host is probed over IPv4.
    const std::array<quint8, 12> mappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(mappedPrefix.begin(), mappedPrefix.end(), bytes.begin())) {
        quint32 v4 = 0;
        std::memcpy(&v4, bytes.data() + mappedPrefix.size(), sizeof v4);
        // Like 0.0.0.0 itself, which reaches the local host.
        if (v4 == 0)
            return Invalid();
        target.address = IpAddress::v4(v4);
        return target;
    }
    target.address = IpAddress::v6(bytes, scope);
    return target;
}

bool IsLetterOrDigit(char character)
{
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
           (character >= '0' && character <= '9');
}

bool IsHostNameCharacter(char character)
{
    return IsLetterOrDigit(character) || character == '-' || character == '_';
}

// Letters, digits, hyphens and underscores in dot-separated labels of 1 to 63
// characters that begin and end with a letter or a digit, at most 253 in all, with
// an optional final dot. The ends keep a negative part ("127.0.0.-1") from passing
// as a name. A name whose last
// label is all digits, or that the C library would read as a number in another form
// ("127.1", "0x7f000001"), is a mistyped address: resolving it would probe some
// other host, which may well answer.
bool IsHostName(const QByteArray &ascii)
{
    const QByteArray name = ascii.endsWith('.') ? ascii.chopped(1) : ascii;
    if (name.isEmpty() || name.size() > kLongestName)
        return false;
    const QList<QByteArray> labels = name.split('.');
    for (const QByteArray &label : labels) {
        if (label.isEmpty() || label.size() > kLongestLabel ||
            !std::all_of(label.begin(), label.end(), IsHostNameCharacter) ||
            !IsLetterOrDigit(label.front()) || !IsLetterOrDigit(label.back()))
            return false;
    }
    const QByteArray &last = labels.last();
    if (std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    in_addr numeric{};
    return ::inet_aton(name.constData(), &numeric) == 0;
}

ProbeTarget HostName(const QString &text)
{
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x7F; });
    // QUrl::toAce gives an empty text for a name that no IDNA rule admits.
    const QByteArray name = ascii ? text.toLatin1() : QUrl::toAce(text);
    if (!IsHostName(name))
        return Invalid();
    ProbeTarget target;
    target.kind = ProbeTarget::Kind::HostName;
    target.hostName = name;
    return target;
}

} // namespace

ProbeTarget ParseProbeTarget(const QString &text)
{
    if (const quint32 dotted = ParseDottedAddress(text); dotted != 0) {
        ProbeTarget target;
        target.kind = ProbeTarget::Kind::Address;
        target.address = IpAddress::v4(dotted);
        return target;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.contains(u':'))
        return Ipv6Literal(trimmed);
    return HostName(trimmed);
}
