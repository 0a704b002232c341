#pragma once

#include <QByteArray>
#include <QtGlobal>

// What one echo request came to: the status code (0 = the destination answered)
// and, when it answered, the round-trip time in whole milliseconds.
struct EchoResult
{
    quint32 status = 0;
    quint32 roundTripMs = 0;
};

// Sends one ICMP echo request and waits at most timeoutMs for its answer.
// destination is an IPv4 address in network byte order.
class EchoFacility
{
public:
    virtual ~EchoFacility() = default;
    virtual EchoResult echo(quint32 destination, const QByteArray &payload, quint32 timeoutMs) = 0;
};
