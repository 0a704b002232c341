#pragma once

#include "IpAddress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// What the kernel answered to a route lookup.
struct RouteAnswer
{
    enum class Kind
    {
        None,    // no answer to the request in what was read
        Route,   // the route it would take now
        Refused, // an error instead, ENETUNREACH when there is no route
        Failed,  // the lookup could not be made or its answer not read
    };
    Kind kind = Kind::None;
    // Route: the interface it leaves by; 0 when the answer named none.
    quint32 outputInterface = 0;
    // Refused, Failed: the error number.
    int error = 0;
};

// The rtnetlink request for the route to destination (RTM_GETROUTE), leaving by
// outputInterface unless that is 0.
QByteArray RouteRequest(const IpAddress &destination, quint32 outputInterface, quint32 sequence);

// The answer to the request numbered sequence among the messages of one datagram;
// others' messages and malformed ones are passed over.
RouteAnswer ReadRouteReply(QByteArrayView datagram, quint32 sequence);

// Asks the kernel through a socket of its own, opened and closed here so that nothing
// of one lookup is left for the next. The kernel answers while the request is sent,
// from its routing tables without taking a lock in current kernels; the wait for the
// answer is bounded by waitMs in any case.
RouteAnswer LookUpRoute(const IpAddress &destination, quint32 outputInterface, int waitMs);
