#include "FarNetwork.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char *kDevice = "far0";
constexpr std::uint8_t kIcmpProtocol = 1;
constexpr std::uint8_t kIcmp6Protocol = 58;
constexpr std::size_t kIpv4HeaderLength = 20;
constexpr std::size_t kIpv6HeaderLength = 40;
constexpr std::size_t kIcmpHeaderLength = 8;
// An ICMPv6 error must fit the smallest link MTU IPv6 allows.
constexpr std::size_t kIpv6MinimumMtu = 1280;

// The addresses go on only once the device is attached and has a carrier: an IPv6
// address on a link without one would wait, tentative, for the link to come up. The
// kernel installs the IPv6 address's local route later, from a work queue; until
// then an echo to a far address would leave through no route at all.
constexpr const char *kConfiguration = R"(set -e
ip link set far0 up
ip addr add 198.51.100.1/24 dev far0
ip -6 addr add 2001:db8:1::1/64 dev far0 nodad
ip route add 192.0.2.0/24 dev far0
ip -6 route add 2001:db8:2::/64 dev far0
tries=0
until ip -6 route show table local | grep -q '^local 2001:db8:1::1 '; do
    tries=$((tries + 1)); [ $tries -lt 1000 ]; sleep 0.01
done)";

// The four or sixteen bytes of a textual address; empty when it is neither.
Bytes ParseAddress(const std::string &text)
{
    Bytes address(16);
    if (::inet_pton(AF_INET, text.c_str(), address.data()) == 1) {
        address.resize(4);
        return address;
    }
    if (::inet_pton(AF_INET6, text.c_str(), address.data()) == 1)
        return address;
    return {};
}

// True unless this process left its parent's network namespace for one of its own,
// as RunInOwnNetworkNamespace's child does: in the namespace it was started in, a TUN
// device and its routes would change the machine's own network. (The first process's
// namespace would say it more directly, but a container may hide it even from root.)
bool InInheritedNamespace()
{
    struct stat ours = {};
    struct stat parents = {};
    const std::string parent = "/proc/" + std::to_string(::getppid()) + "/ns/net";
    if (::stat("/proc/self/ns/net", &ours) != 0 || ::stat(parent.c_str(), &parents) != 0)
        return true;
    return ours.st_ino == parents.st_ino && ours.st_dev == parents.st_dev;
}

// The one's-complement sum of big-endian 16-bit words, an odd last byte padded with zero.
std::uint32_t Sum(const std::uint8_t *bytes, std::size_t length, std::uint32_t sum = 0)
{
    for (std::size_t at = 0; at + 1 < length; at += 2)
        sum += std::uint32_t(bytes[at] << 8 | bytes[at + 1]);
    if (length % 2 != 0)
        sum += std::uint32_t(bytes[length - 1]) << 8;
    return sum;
}

std::uint16_t Checksum(std::uint32_t sum)
{
    while (sum >> 16 != 0)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return std::uint16_t(~sum);
}

// What an ICMPv6 checksum covers besides the message: both addresses, the message's
// length and the protocol.
std::uint32_t PseudoHeaderSum(const Bytes &source, const Bytes &destination, std::size_t length)
{
    return Sum(source.data(), source.size()) + Sum(destination.data(), destination.size()) +
           std::uint32_t(length >> 16) + std::uint32_t(length & 0xFFFF) + kIcmp6Protocol;
}

void Put16(Bytes &bytes, std::size_t at, std::size_t value)
{
    bytes[at] = std::uint8_t(value >> 8);
    bytes[at + 1] = std::uint8_t(value);
}

struct EchoRequest
{
    bool v6 = false;
    Bytes source;
    Bytes destination;
    std::size_t headerLength = 0; // the IP header's, options included
    std::size_t length = 0;       // the packet's, as its header says
};

// The echo request the packet carries, unless it carries none or its checksum is
// wrong: a real host drops such a request unanswered. What the kernel says on the
// link by itself (router solicitations, multicast reports) is not a request either.
std::optional<EchoRequest> ReadEchoRequest(const Bytes &packet)
{
    EchoRequest request;
    if (packet.size() >= kIpv4HeaderLength && packet[0] >> 4 == 4) {
        request.headerLength = std::size_t(packet[0] & 0x0F) * 4;
        request.length = std::size_t(packet[2] << 8 | packet[3]);
        // More fragments, or an offset: a piece of a request, which a host reassembles.
        const bool fragment = (packet[6] & 0x3F) != 0 || packet[7] != 0;
        if (request.headerLength < kIpv4HeaderLength || packet[9] != kIcmpProtocol || fragment)
            return std::nullopt;
        request.source.assign(packet.begin() + 12, packet.begin() + 16);
        request.destination.assign(packet.begin() + 16, packet.begin() + 20);
    } else if (packet.size() >= kIpv6HeaderLength && packet[0] >> 4 == 6) {
        request.v6 = true;
        request.headerLength = kIpv6HeaderLength;
        request.length = kIpv6HeaderLength + std::size_t(packet[4] << 8 | packet[5]);
        if (packet[6] != kIcmp6Protocol)
            return std::nullopt;
        request.source.assign(packet.begin() + 8, packet.begin() + 24);
        request.destination.assign(packet.begin() + 24, packet.begin() + 40);
    } else {
        return std::nullopt;
    }
    if (request.length < request.headerLength + kIcmpHeaderLength || request.length > packet.size())
        return std::nullopt;
    const std::uint8_t *icmp = packet.data() + request.headerLength;
    const std::size_t icmpLength = request.length - request.headerLength;
    if (icmp[0] != (request.v6 ? 128 : 8) || icmp[1] != 0)
        return std::nullopt;
    const std::uint32_t pseudo =
        request.v6 ? PseudoHeaderSum(request.source, request.destination, icmpLength) : 0;
    if (Checksum(Sum(icmp, icmpLength, pseudo)) != 0)
        return std::nullopt;
    return request;
}

// An IP packet from source to destination that carries the ICMP or ICMPv6 message,
// with every checksum filled in.
Bytes IpPacket(bool v6, const Bytes &source, const Bytes &destination, Bytes message)
{
    const std::uint32_t pseudo = v6 ? PseudoHeaderSum(source, destination, message.size()) : 0;
    Put16(message, 2, Checksum(Sum(message.data(), message.size(), pseudo)));
    Bytes packet(v6 ? kIpv6HeaderLength : kIpv4HeaderLength, 0);
    if (v6) {
        packet[0] = 0x60;
        Put16(packet, 4, message.size());
        packet[6] = kIcmp6Protocol;
        packet[7] = 64; // hop limit
        std::copy(source.begin(), source.end(), packet.begin() + 8);
        std::copy(destination.begin(), destination.end(), packet.begin() + 24);
    } else {
        packet[0] = 0x45;
        Put16(packet, 2, kIpv4HeaderLength + message.size());
        packet[8] = 64; // time to live
        packet[9] = kIcmpProtocol;
        std::copy(source.begin(), source.end(), packet.begin() + 12);
        std::copy(destination.begin(), destination.end(), packet.begin() + 16);
        Put16(packet, 10, Checksum(Sum(packet.data(), packet.size())));
    }
    packet.insert(packet.end(), message.begin(), message.end());
    return packet;
}

// The echo reply: the request's identifier, sequence and payload, back to its sender.
Bytes Reply(const EchoRequest &request, const Bytes &packet)
{
    Bytes message(packet.begin() + std::ptrdiff_t(request.headerLength),
                  packet.begin() + std::ptrdiff_t(request.length));
    message[0] = request.v6 ? 129 : 0;
    message[2] = message[3] = 0;
    return IpPacket(request.v6, request.destination, request.source, std::move(message));
}

// "Unreachable" from the router, quoting the request as routers do: its IPv4 header
// and first 8 bytes, or as much of the IPv6 packet as the smallest MTU leaves room for.
Bytes Unreachable(const EchoRequest &request, const Bytes &packet, const Bytes &router)
{
    Bytes message(kIcmpHeaderLength, 0);
    message[0] = request.v6 ? 1 : 3;
    message[1] = request.v6 ? 3 : 1; // address unreachable; host unreachable
    const std::size_t quoted =
        request.v6
            ? std::min(request.length, kIpv6MinimumMtu - kIpv6HeaderLength - kIcmpHeaderLength)
            : request.headerLength + kIcmpHeaderLength;
    message.insert(message.end(), packet.begin(), packet.begin() + std::ptrdiff_t(quoted));
    return IpPacket(request.v6, router, request.source, std::move(message));
}

} // namespace

FarNetwork::FarNetwork(std::vector<FarHost> hosts)
{
    m_failure = Start(std::move(hosts));
    if (m_failure.empty())
        m_server = std::thread(&FarNetwork::Serve, this);
}

FarNetwork::~FarNetwork()
{
    if (m_server.joinable()) {
        // An eventfd always takes a write of 1; the thread leaves at once on it.
        const std::uint64_t stop = 1;
        const ssize_t written = ::write(m_wake, &stop, sizeof stop);
        static_cast<void>(written);
        m_server.join();
    }
    for (const int descriptor : {m_tun, m_wake}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

std::string FarNetwork::Start(std::vector<FarHost> hosts)
{
    for (FarHost &profile : hosts) {
        Host host{std::move(profile), {}, {}};
        host.address = ParseAddress(host.profile.address);
        if (host.address.empty())
            return "not an address: " + host.profile.address;
        if (host.profile.losses.find_first_not_of(".x") != std::string::npos)
            return "losses other than '.' and 'x': " + host.profile.losses;
        if (std::any_of(host.profile.delaysMs.begin(), host.profile.delaysMs.end(),
                        [](int delay) { return delay < 0; }))
            return "a negative delay for " + host.profile.address;
        if (!host.profile.errorFrom.empty()) {
            host.router = ParseAddress(host.profile.errorFrom);
            if (host.router.size() != host.address.size())
                return "not a router of the same family: " + host.profile.errorFrom;
        }
        m_hosts.push_back(std::move(host));
    }
    if (InInheritedNamespace())
        return "refused: this process has not left the network namespace it was started in";
    m_tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (m_tun < 0)
        return std::string("cannot open /dev/net/tun: ") + std::strerror(errno);
    ifreq device = {};
    std::strncpy(device.ifr_name, kDevice, IFNAMSIZ - 1);
    device.ifr_flags = IFF_TUN | IFF_NO_PI;
    if (::ioctl(m_tun, TUNSETIFF, &device) != 0)
        return std::string("cannot create the TUN device: ") + std::strerror(errno);
    if (std::system(kConfiguration) != 0)
        return "cannot give the TUN device its addresses and routes";
    m_wake = ::eventfd(0, EFD_CLOEXEC);
    if (m_wake < 0)
        return std::string("cannot create an eventfd: ") + std::strerror(errno);
    return {};
}

int FarNetwork::requestsTo(const std::string &address) const
{
    const std::lock_guard<std::mutex> lock(m_countsLock);
    const auto found = m_requests.find(ParseAddress(address));
    return found == m_requests.end() ? 0 : found->second;
}

void FarNetwork::Serve()
{
    Bytes packet(65536);
    for (;;) {
        // Asleep until the next packet, the next answer due, or the stop.
        int timeoutMs = -1;
        if (!m_pending.empty()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(m_pending.top().due - Clock::now());
            timeoutMs = int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
        }
        pollfd watched[2] = {{m_tun, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (::poll(watched, 2, timeoutMs) < 0 && errno != EINTR)
            return;
        if (watched[1].revents != 0 || (watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return;
        if ((watched[0].revents & POLLIN) != 0) {
            const ssize_t length = ::read(m_tun, packet.data(), packet.size());
            if (length > 0)
                Take(Bytes(packet.begin(), packet.begin() + length));
        }
        for (const auto now = Clock::now(); !m_pending.empty() && m_pending.top().due <= now;
             m_pending.pop()) {
            const Bytes &answer = m_pending.top().packet;
            // An answer the kernel refuses is lost, as on a bad line.
            const ssize_t written = ::write(m_tun, answer.data(), answer.size());
            static_cast<void>(written);
        }
    }
}

void FarNetwork::Take(const Bytes &packet)
{
    const std::optional<EchoRequest> request = ReadEchoRequest(packet);
    if (!request)
        return;
    std::size_t seen = 0; // earlier requests to the same address
    {
        const std::lock_guard<std::mutex> lock(m_countsLock);
        seen = std::size_t(m_requests[request->destination]++);
    }
    const auto host = std::find_if(m_hosts.begin(), m_hosts.end(), [&](const Host &candidate) {
        return candidate.address == request->destination;
    });
    if (host == m_hosts.end())
        return; // nobody lives there
    const FarHost &profile = host->profile;
    if (!profile.losses.empty() && profile.losses[seen % profile.losses.size()] == 'x')
        return;
    const int delayMs =
        profile.delaysMs.empty() ? 0 : profile.delaysMs[seen % profile.delaysMs.size()];
    Bytes answer = host->router.empty() ? Reply(*request, packet)
                                        : Unreachable(*request, packet, host->router);
    m_pending.push(
        {Clock::now() + std::chrono::milliseconds(delayMs), m_answers++, std::move(answer)});
}
