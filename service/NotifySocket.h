#pragma once

#include "FileDescriptor.h"

#include <QByteArray>

#include <sys/socket.h>
#include <sys/un.h>

// The service manager's notification socket, written without ever blocking.
//
// Not sd_notify(): in Debian 12's libsystemd it sends on a blocking socket, so a
// reader that stops reading (a manager that hangs, a listener that never reads) holds
// the sender until it reads again. The watch sends from its own thread, and a stop
// signal must still end it with its stop line; a state that cannot go at once is
// dropped instead, for the next one says as much.
class NotifySocket
{
public:
    // address: the value of NOTIFY_SOCKET, a path or '@' and an abstract name. Any
    // other value, one too long among them, leaves it closed: nothing is sent.
    explicit NotifySocket(const QByteArray &address);

    bool isOpen() const { return m_socket.isValid(); }

    // One datagram; true when it went whole. Safe from several threads at once.
    bool send(const QByteArray &state) const;

private:
    FileDescriptor m_socket;
    sockaddr_un m_address = {};
    socklen_t m_addressLength = 0;
};
