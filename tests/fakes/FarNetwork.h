#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

// How one far address treats the echo requests sent to it. The marks and the delays
// are read cyclically, one per request, counted from the first request to the address.
struct FarHost
{
    std::string address; // inside 192.0.2.0/24 or 2001:db8:2::/64
    // '.' answers the request, 'x' drops it; empty answers every request.
    std::string losses = {};
    // How long the answer waits before it leaves; empty: it leaves at once.
    std::vector<int> delaysMs = {};
    // When set, a router at this address answers each request with "unreachable"
    // (host unreachable for IPv4, address unreachable for IPv6) in place of a reply.
    std::string errorFrom = {};
};

// A line that is bad but not dead, for tests of the echo: a TUN device whose far
// side is played by a thread of this process, which answers echo requests to the far
// addresses as each address's FarHost says. Nothing else answers there, and nothing
// leaves: it starts only in a process that left its parent's network namespace for
// one of its own, so a test runs it in the work of RunInOwnNetworkNamespace.
//
// Our end of the link is 198.51.100.1/24 and 2001:db8:1::1/64 on the device "far0";
// 192.0.2.0/24 and 2001:db8:2::/64 are routed through it.
class FarNetwork
{
public:
    explicit FarNetwork(std::vector<FarHost> hosts);
    ~FarNetwork();
    FarNetwork(const FarNetwork &) = delete;
    FarNetwork &operator=(const FarNetwork &) = delete;

    // Empty while it serves; otherwise why it does not.
    const std::string &failure() const { return m_failure; }
    // The echo requests with a valid checksum seen for the address so far, answered
    // or not; the address is written as in FarHost.
    int requestsTo(const std::string &address) const;

private:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<std::uint8_t>;
    struct Host
    {
        FarHost profile;
        Bytes address;
        Bytes router; // empty unless errorFrom is set
    };
    struct Pending
    {
        Clock::time_point due;
        std::uint64_t order; // among answers due at once, the earlier request's first
        Bytes packet;
        bool operator>(const Pending &other) const
        {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    // Why it cannot serve, or an empty text once the device is up.
    std::string Start(std::vector<FarHost> hosts);
    void Serve();
    void Take(const Bytes &packet);

    std::string m_failure;
    std::vector<Host> m_hosts;
    int m_tun = -1;
    int m_wake = -1; // an eventfd that ends the serving thread
    // The answers that wait for their delay, read and written by the serving thread only.
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> m_pending;
    std::uint64_t m_answers = 0;
    mutable std::mutex m_countsLock;
    std::map<Bytes, int> m_requests; // by destination address
    std::thread m_server;
};
