#pragma once

#include "EchoFacility.h"

#include <QByteArray>
#include <QtGlobal>

class StopLatch;

// Looks name up with the C library's asynchronous resolver (hosts file, DNS, as
// nsswitch.conf says) and waits at most timeoutMs, less when stop is raised. The
// resolver works on threads of its own, so neither a silent DNS server nor its
// retries can hold the caller past the time-out: a lookup still running then is
// left to finish there, and frees what it used itself.
NameLookup LookUpHostName(const QByteArray &name, quint32 timeoutMs, const StopLatch *stop);
