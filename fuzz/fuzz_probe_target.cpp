// Address fields hold whatever the user typed, and what the parser makes of it
// decides whether the resolver is asked at all. Each kind of target is checked
// against the text by a reading of its own.
#include "EchoProbe.h"
#include "FuzzProperty.h"
#include "ProbeTarget.h"

#include <QList>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

bool IsNameByte(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.';
}

void CheckHostName(const QString &text, const QByteArray &name)
{
    RequireProperty(!name.isEmpty() && name.size() <= 254, "a host name is 1 to 254 bytes");
    RequireProperty(std::all_of(name.begin(), name.end(), IsNameByte),
                    "a host name holds letters, digits, '-', '_' and '.' only");
    RequireProperty(!name.startsWith('.') && !name.contains(".."),
                    "a host name has no empty label");
    const QByteArray bare = name.endsWith('.') ? name.chopped(1) : name;
    for (const QByteArray &label : bare.split('.'))
        RequireProperty(std::isalnum(static_cast<unsigned char>(label.front())) &&
                            std::isalnum(static_cast<unsigned char>(label.back())),
                        "a label begins and ends with a letter or a digit");
    RequireProperty(!text.trimmed().contains(u' ') && !text.contains(u':'),
                    "a text with a blank or a colon inside is never looked up");
    in_addr numeric{};
    RequireProperty(::inet_aton(name.constData(), &numeric) == 0,
                    "a name the C library reads as a number is never looked up");
    const QByteArray last =
        name.endsWith('.') ? name.chopped(1).split('.').last() : name.split('.').last();
    RequireProperty(
        !std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; }),
        "a name whose last label is all digits is a mistyped address");
}

void CheckAddress(const QString &text, const IpAddress &address)
{
    if (!address.isV6()) {
        // Or the one an IPv6 literal maps, in its last four bytes.
        quint32 expected = ParseDottedAddress(text);
        IpAddress::V6Bytes literal{};
        const QByteArray literalText = text.trimmed().section(u'%', 0, 0).toLatin1();
        if (::inet_pton(AF_INET6, literalText.constData(), literal.data()) == 1) {
            RequireProperty(literal[10] == 0xFF && literal[11] == 0xFF,
                            "only an IPv4-mapped IPv6 literal is probed over IPv4");
            std::memcpy(&expected, literal.data() + 12, sizeof expected);
        }
        RequireProperty(address.v4Address() == expected && expected != 0,
                        "an IPv4 target is the address the text holds");
        return;
    }
    RequireProperty(ParseDottedAddress(text) == 0, "dotted IPv4 is never read as IPv6");
    RequireProperty(address.v6Bytes() != IpAddress::V6Bytes{}, "'::' is never probed");
    const ProbeTarget again = ParseProbeTarget(address.toString());
    RequireProperty(again.kind == ProbeTarget::Kind::Address && again.address == address,
                    "an IPv6 target reads back from its own text");
}

// A name the rules admit, spelled by the input: its bytes pick the characters and
// where the labels end, within 63 characters a label and 253 in all.
QByteArray LegalName(const std::uint8_t *data, std::size_t size)
{
    static constexpr char kCharacters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    constexpr qsizetype kLongestLabel = 63;
    constexpr qsizetype kLongestName = 253;
    QByteArray name;
    qsizetype label = 0;
    for (std::size_t at = 0; at < size && name.size() < kLongestName; ++at) {
        const bool labelEnds = data[at] >= 224 || label == kLongestLabel;
        if (labelEnds && label > 0 && name.size() < kLongestName - 1) {
            name += '.';
            label = 0;
        }
        if (!labelEnds || label == 0) {
            name += kCharacters[data[at] % 64];
            ++label;
        }
    }
    if (name.isEmpty())
        name = "a";
    // A label begins and ends with a letter or a digit.
    for (qsizetype at = 0; at < name.size(); ++at) {
        const bool end =
            at == 0 || at == name.size() - 1 || name[at - 1] == '.' || name[at + 1] == '.';
        if (end && (name[at] == '-' || name[at] == '_'))
            name[at] = 'a';
    }
    // A last label of digits, or one the C library reads as a hexadecimal number, is
    // a mistyped address; a letter beyond 'f' makes it a name.
    const QByteArray last = name.split('.').last();
    if (std::all_of(last.begin(), last.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) || c == 'x' || c == 'X';
        }))
        name.back() = 'z';
    if (size > 0 && data[0] % 2 == 1)
        name += '.';
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    const ProbeTarget target = ParseProbeTarget(text);
    switch (target.kind) {
    case ProbeTarget::Kind::Invalid:
        RequireProperty(ParseDottedAddress(text) == 0, "a dotted address is always probed");
        break;
    case ProbeTarget::Kind::Address:
        CheckAddress(text, target.address);
        break;
    case ProbeTarget::Kind::HostName:
        CheckHostName(text, target.hostName);
        break;
    }

    const ProbeTarget padded =
        ParseProbeTarget(QStringLiteral(" \t") + text + QStringLiteral("\r\n "));
    RequireProperty(padded.kind == target.kind && padded.address == target.address &&
                        padded.hostName == target.hostName,
                    "blanks around the text change nothing");

    const QByteArray legal = LegalName(data, size);
    const ProbeTarget named = ParseProbeTarget(QString::fromLatin1(legal));
    RequireProperty(named.kind == ProbeTarget::Kind::HostName && named.hostName == legal,
                    "a name of legal labels within 253 characters is looked up as written");
    return 0;
}
