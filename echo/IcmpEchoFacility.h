#pragma once

#include "EchoFacility.h"
#include "EchoSocket.h"

#include <optional>

class StopLatch;

// Echo through the kernel's ICMP and ICMPv6 sockets. The unprivileged datagram socket is
// tried first; where the system refuses it, a raw socket (root or CAP_NET_RAW).
// The kind that opened last time is tried first next time. One socket per address
// family stays open for the life of the facility, and is opened again only after an
// error that leaves it unusable; a reply is taken only when its identifier, sequence
// and source match the echo under way, so a late answer to an earlier echo never
// counts. The wait ends early when the stop latch is raised. Host names are looked up through the C
// library's resolver, and that wait ends early on a stop too. Every socket is bound to
// the probe path as it opens, before its first send; the resolver's queries are not.
class IcmpEchoFacility : public EchoFacility
{
public:
    enum class SocketChoice
    {
        DatagramFirst, // datagram socket, raw socket when the datagram one is refused
        DatagramOnly,
        RawOnly,
    };

    // stop, when given, must outlive the facility.
    explicit IcmpEchoFacility(SocketChoice choice = SocketChoice::DatagramFirst,
                              const StopLatch *stop = nullptr);

    EchoResult echo(const IpAddress &destination, const QByteArray &payload,
                    quint32 timeoutMs) override;
    NameLookup lookUp(const QByteArray &name, quint32 timeoutMs) override;
    bool maySendEchoes() override;
    // Closes the sockets open now, so that the next echo of each family opens one bound
    // to the path.
    void pinTo(const ProbePath &path) override;

private:
    // An open socket and the identifier its requests carry.
    struct KeptSocket
    {
        EchoSocket socket;
        quint16 identifier = 0;
    };
    // The family's kept socket, opened when there is none; nothing with the hindrance
    // or failure that kept it from opening.
    KeptSocket *SocketFor(const IpAddress &destination, EchoResult &failure);

    // The failure of an echo whose socket could not be bound to the path.
    EchoResult Unpinned(const IpAddress &destination, int error) const;

    SocketChoice m_choice;
    const StopLatch *m_stop;
    ProbePath m_path;
    // Whether a socket of the family has been bound to the path since it was given.
    bool m_v4Pinned = false;
    bool m_v6Pinned = false;
    bool m_rawFirst = false;
    // Each echo gets the next sequence number, so that a late reply to an earlier
    // echo is never taken for the answer to this one.
    quint16 m_nextSequence;
    std::optional<KeptSocket> m_v4;
    std::optional<KeptSocket> m_v6;
};
