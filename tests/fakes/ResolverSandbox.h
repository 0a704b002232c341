#pragma once

// Name lookups that reach only what a test controls. Inside a process started under
// `unshare -m -n` (its own mount and network namespaces), EnterResolverSandbox brings
// up the namespace's loopback and lays files of its own over /etc/hosts,
// /etc/resolv.conf and /etc/nsswitch.conf: the hosts file, then one DNS server on
// 127.0.0.1, which DnsResponder plays. The network namespace has no way out, and the
// resolver configuration names no other server, so no query can reach a real one.
// Shared by the lookup tests and the echo benchmark.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace ResolverSandbox {

// The resolver's own time-out is far beyond any probe's: a silent server must be
// given up by the probe, not by the resolver.
constexpr const char *kResolvConf = "nameserver 127.0.0.1\n"
                                    "search corvane.test\n"
                                    "options timeout:30 attempts:2\n";
constexpr const char *kNsswitch = "hosts: files dns\n";
// IPv6 first in the file: a name with both must still be probed on IPv4.
constexpr const char *kHosts = "127.0.0.1 localhost\n"
                               "::1 both.hosts.corvane.test\n"
                               "127.0.0.1 both.hosts.corvane.test\n"
                               "127.0.0.1 four.hosts.corvane.test\n"
                               "::1 six.hosts.corvane.test\n";

inline bool WriteFile(const std::string &path, const char *text)
{
    std::ofstream file(path, std::ios::trunc);
    file << text;
    return bool(file);
}

inline std::string ReadFile(const char *path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Returns an empty text once the sandbox stands, else what failed.
inline std::string Enter()
{
    if (std::system("ip link set lo up") != 0)
        return "cannot bring up the namespace's loopback";
    char folder[] = "/tmp/corvane-resolver-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return "cannot make a temporary folder";
    const std::string base(folder);
    const struct
    {
        const char *target;
        const char *text;
    } files[] = {
        {"/etc/resolv.conf", kResolvConf},
        {"/etc/nsswitch.conf", kNsswitch},
        {"/etc/hosts", kHosts},
    };
    for (const auto &file : files) {
        const std::string source = base + "/" + std::to_string(&file - files);
        if (!WriteFile(source, file.text))
            return "cannot write " + source;
        if (::mount(source.c_str(), file.target, nullptr, MS_BIND, nullptr) != 0)
            return std::string("cannot bind-mount over ") + file.target;
        // The mount must be ours alone: anything else would mean the host's file is
        // still the one read.
        if (ReadFile(file.target) != file.text)
            return std::string("the mount over ") + file.target + " does not show";
    }
    // A name service cache daemon would answer from the host's cache, or ask the
    // host's servers; hide its socket.
    if (::access("/run/nscd", F_OK) == 0 && ::mount("tmpfs", "/run/nscd", "tmpfs", 0, nullptr) != 0)
        return "cannot hide the name service cache";
    return {};
}

// A DNS server on 127.0.0.1:53 of the sandbox's network namespace. A name answers
// with its addresses (none for a type it lacks), "NXDOMAIN" for names it does not
// know, and nothing at all for names marked silent.
class DnsResponder
{
public:
    struct Entry
    {
        QByteArray a;    // 4 bytes or empty
        QByteArray aaaa; // 16 bytes or empty
        bool silent = false;
    };

    DnsResponder()
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(53);
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bound = m_socket >= 0 &&
                  ::bind(m_socket, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
    }
    ~DnsResponder()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_socket >= 0)
            ::close(m_socket);
    }
    DnsResponder(const DnsResponder &) = delete;
    DnsResponder &operator=(const DnsResponder &) = delete;

    bool isBound() const { return m_bound; }

    // address: an IPv4 or IPv6 literal.
    void answer(const QByteArray &name, const char *address)
    {
        Entry &entry = m_entries[name.toLower()];
        std::array<char, 16> bytes{};
        if (::inet_pton(AF_INET, address, bytes.data()) == 1)
            entry.a = QByteArray(bytes.data(), 4);
        else if (::inet_pton(AF_INET6, address, bytes.data()) == 1)
            entry.aaaa = QByteArray(bytes.data(), 16);
    }
    void stayQuiet(const QByteArray &name) { m_entries[name.toLower()].silent = true; }

    void start()
    {
        m_thread = std::thread([this] {
            while (m_running) {
                pollfd watched{m_socket, POLLIN, 0};
                if (::poll(&watched, 1, 50) > 0)
                    respond();
            }
        });
    }

private:
    void respond()
    {
        std::array<char, 512> buffer{};
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t received = ::recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                            reinterpret_cast<sockaddr *>(&sender), &senderLength);
        if (received < 12)
            return;
        const QByteArray query(buffer.data(), received);
        // The question: labels up to the root, then type and class.
        QByteArray name;
        qsizetype offset = 12;
        while (offset < query.size() && query[offset] != 0) {
            const int length = quint8(query[offset]);
            if (!name.isEmpty())
                name += '.';
            name += query.mid(offset + 1, length);
            offset += 1 + length;
        }
        if (offset + 5 > query.size())
            return;
        const quint16 type = quint16(quint8(query[offset + 1]) << 8 | quint8(query[offset + 2]));
        const QByteArray question = query.mid(12, offset + 5 - 12);

        const auto found = m_entries.constFind(name.toLower());
        if (found != m_entries.cend() && found->silent)
            return;
        const QByteArray data =
            found == m_entries.cend() ? QByteArray() : (type == 28 ? found->aaaa : found->a);
        const bool known = found != m_entries.cend();
        QByteArray reply = query.left(2);
        reply += char(0x81);                  // a response; recursion was desired
        reply += char(known ? 0x80 : 0x83);   // recursion available; NXDOMAIN when unknown
        reply += QByteArray::fromHex("0001"); // one question
        reply += data.isEmpty() ? QByteArray::fromHex("0000") : QByteArray::fromHex("0001");
        reply += QByteArray::fromHex("00000000"); // no authority, no additional records
        reply += question;
        if (!data.isEmpty()) {
            reply += QByteArray::fromHex("c00c"); // the name of the question
            reply += char(0);
            reply += char(type);
            reply += QByteArray::fromHex("000100000000"); // class IN, TTL 0
            reply += char(0);
            reply += char(data.size());
            reply += data;
        }
        ::sendto(m_socket, reply.constData(), std::size_t(reply.size()), 0,
                 reinterpret_cast<const sockaddr *>(&sender), senderLength);
    }

    int m_socket = -1;
    bool m_bound = false;
    std::atomic<bool> m_running = true;
    std::thread m_thread;
    QHash<QByteArray, Entry> m_entries;
};

} // namespace ResolverSandbox
