// The route reader walks messages and attributes by the lengths they claim. Each
// input is read as it stands, in a buffer of exactly its size so that AddressSanitizer
// sees any read beyond it; then it spells a well-formed reply, which must read back as
// written, and whose every shorter prefix must never name another interface.
#include "FuzzProperty.h"
#include "RouteLookup.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr quint32 kSequence = 1;

void Append(std::vector<char> &bytes, const void *data, std::size_t size)
{
    const char *begin = static_cast<const char *>(data);
    bytes.insert(bytes.end(), begin, begin + size);
    bytes.resize((bytes.size() + 3) & ~std::size_t{3}, '\0');
}

RouteAnswer Read(const std::vector<char> &bytes, std::size_t size)
{
    const std::vector<char> exact(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
    return ReadRouteReply(QByteArrayView(exact.data(), qsizetype(exact.size())), kSequence);
}

// A message of another request, an answer with attributes of other kinds whose sizes
// the input picks, and the output interface, taken from the input, last.
std::vector<char> WellFormed(const std::uint8_t *data, std::size_t size, quint32 &index)
{
    index = 0;
    std::memcpy(&index, data, std::min(size, sizeof index));
    std::vector<char> body;
    rtmsg route{};
    Append(body, &route, sizeof route);
    for (std::size_t at = sizeof index; at < size; ++at) {
        rtattr attribute{};
        attribute.rta_type = data[at] == RTA_OIF ? RTA_DST : data[at];
        attribute.rta_len = static_cast<unsigned short>(sizeof attribute + data[at] % 17);
        Append(body, &attribute, sizeof attribute);
        body.resize(body.size() + ((data[at] % 17 + 3) & ~3), 'x');
    }
    const rtattr output{static_cast<unsigned short>(sizeof(rtattr) + sizeof index), RTA_OIF};
    Append(body, &output, sizeof output);
    Append(body, &index, sizeof index);

    std::vector<char> datagram;
    for (const quint32 sequence : {kSequence + 1, kSequence}) {
        const nlmsghdr header{quint32(sizeof(nlmsghdr) + body.size()), RTM_NEWROUTE, 0, sequence,
                              0};
        Append(datagram, &header, sizeof header);
        datagram.insert(datagram.end(), body.begin(), body.end());
    }
    return datagram;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<char> raw(data, data + size);
    const RouteAnswer answer = Read(raw, raw.size());
    RequireProperty(
        answer.kind == RouteAnswer::Kind::None || answer.kind == RouteAnswer::Kind::Route ||
            (answer.kind == RouteAnswer::Kind::Refused && answer.error > 0 && answer.error <= 4095),
        "an error read is an error number from 1 to 4095");

    quint32 index = 0;
    const std::vector<char> datagram = WellFormed(data, size, index);
    const RouteAnswer whole = Read(datagram, datagram.size());
    RequireProperty(whole.kind == RouteAnswer::Kind::Route && whole.outputInterface == index,
                    "a well-formed answer names the interface written into it");
    for (std::size_t cut = 0; cut < datagram.size(); cut += 1 + cut / 16) {
        const RouteAnswer part = Read(datagram, cut);
        RequireProperty(part.kind == RouteAnswer::Kind::None ||
                            (part.kind == RouteAnswer::Kind::Route &&
                             (part.outputInterface == index || part.outputInterface == 0)),
                        "a cut answer never names another interface");
    }
    return 0;
}
