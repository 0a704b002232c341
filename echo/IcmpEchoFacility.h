#pragma once

#include "EchoFacility.h"

class StopLatch;

// Echo through the kernel's ICMP and ICMPv6 sockets. The unprivileged datagram socket is
// tried first; where the system refuses it, a raw socket (root or CAP_NET_RAW).
// The kind that opened last time is tried first next time. Every echo opens its
// own socket and closes it before returning, and its wait ends early when the stop
// latch is raised. Host names are looked up through the C library's resolver, and
// that wait ends early on a stop too.
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

private:
    SocketChoice m_choice;
    const StopLatch *m_stop;
    bool m_rawFirst = false;
    // Each echo gets the next sequence number, so that a late reply to an earlier
    // echo is never taken for the answer to this one.
    quint16 m_nextSequence;
};
