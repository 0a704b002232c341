// The Interface and SourceAddress options come from a settings file edited by hand and
// go to the kernel as they are: the name into SO_BINDTODEVICE, the address into
// bind(). The input's first line is the name, the rest the address. Whatever the
// bytes, a name the check takes must be one the kernel reads as written, and an
// address it takes must be the address written, never another.
#include "FuzzProperty.h"
#include "Options.h"
#include "ProbePath.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The kernel's own test of a device name, and the NUL that would end it early.
bool KernelReadsAsWritten(const QByteArray &name)
{
    const auto bad = [](char byte) {
        return byte == '\0' || byte == '/' || byte == ':' || byte == ' ' ||
               (byte >= '\t' && byte <= '\r');
    };
    return name.size() <= 15 && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), bad);
}

void CheckName(const QString &text)
{
    if (text.isEmpty() || OptionRefusal(OptionKey::Interface, text))
        return;
    RequireProperty(KernelReadsAsWritten(text.toUtf8()),
                    "a name taken is bound as written, within the kernel's 15 bytes");
    RequireProperty(ProbePathOf(text, {}).interfaceName == text.toUtf8(),
                    "the path binds the name as it was taken");
}

void CheckAddress(const QString &text)
{
    if (text.isEmpty() || OptionRefusal(OptionKey::SourceAddress, text))
        return;
    const ProbePath path = ProbePathOf({}, text);
    RequireProperty(path.source.has_value(), "an address taken is bound");
    std::array<unsigned char, 16> written{};
    const QByteArray latin = text.toLatin1();
    if (::inet_pton(AF_INET, latin.constData(), written.data()) == 1) {
        RequireProperty(!path.source->isV6(), "an IPv4 address is bound to IPv4 sockets");
        const quint32 address = path.source->v4Address();
        RequireProperty(std::memcmp(&address, written.data(), 4) == 0,
                        "an IPv4 address is bound as written");
        return;
    }
    RequireProperty(::inet_pton(AF_INET6, latin.constData(), written.data()) == 1,
                    "an address taken is one of the two families");
    const std::array<unsigned char, 12> mapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const bool v4Mapped = std::equal(mapped.begin(), mapped.end(), written.begin());
    if (path.source->isV6()) {
        RequireProperty(std::equal(written.begin(), written.end(), path.source->v6Bytes().begin()),
                        "an IPv6 address is bound as written");
        return;
    }
    const quint32 address = path.source->v4Address();
    RequireProperty(v4Mapped && std::memcmp(&address, written.data() + 12, 4) == 0,
                    "only an IPv4-mapped address is bound as the IPv4 address it maps");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString input = FuzzText(data, size);
    const qsizetype lineEnd = input.indexOf(u'\n');
    CheckName(lineEnd < 0 ? input : input.left(lineEnd));
    if (lineEnd >= 0)
        CheckAddress(input.mid(lineEnd + 1));
    return 0;
}
