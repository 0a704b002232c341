#pragma once

#include "FileDescriptor.h"
#include "ProbePath.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <optional>

enum class EchoSocketKind
{
    Datagram,
    Raw,
};

// One ICMP (AF_INET) or ICMPv6 (AF_INET6) socket for one echo.
struct EchoSocket
{
    FileDescriptor handle;
    EchoSocketKind kind = EchoSocketKind::Datagram;
    int family = 0;
};

// The kinds of socket to try, in order.
struct EchoSocketKinds
{
    std::array<EchoSocketKind, 2> kinds;
    std::size_t count;
};

struct EchoSocketOpening
{
    std::optional<EchoSocket> socket;
    // No socket, and only because this user may not open one: no request can go out.
    bool permissionRefused = false;
};

// Opens the first kind that the system allows, for the family.
EchoSocketOpening OpenEchoSocket(int family, const EchoSocketKinds &order);

// What readying a socket came to: the identifier its requests carry, or nothing.
struct PreparedEchoSocket
{
    std::optional<quint16> identifier;
    // Set when binding it to the probe path is what failed: that call's errno.
    int pathError = 0;
};

// Readies a new socket for its echoes, bound to the path before its first send.
PreparedEchoSocket PrepareEchoSocket(const EchoSocket &socket, const ProbePath &path);
