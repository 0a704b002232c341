#pragma once

#include "EchoFacility.h"

// Echo through the kernel's ICMP sockets. The unprivileged datagram socket is
// tried first; where the system refuses it, a raw socket (root or CAP_NET_RAW).
// Every echo opens its own socket and closes it before returning.
class IcmpEchoFacility : public EchoFacility
{
public:
    enum class SocketChoice
    {
        DatagramFirst, // datagram socket, raw socket when the datagram one is refused
        DatagramOnly,
        RawOnly,
    };

    explicit IcmpEchoFacility(SocketChoice choice = SocketChoice::DatagramFirst);

    EchoResult echo(quint32 destination, const QByteArray &payload, quint32 timeoutMs) override;

private:
    SocketChoice m_choice;
    // Each echo gets the next sequence number, so that a late reply to an earlier
    // echo is never taken for the answer to this one.
    quint16 m_nextSequence;
};
