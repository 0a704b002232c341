#include "NotifySocket.h"

#include <cstddef>
#include <cstring>

NotifySocket::NotifySocket(const QByteArray &address)
{
    const bool abstract = address.startsWith('@');
    // A path keeps room for its terminating NUL.
    if ((!abstract && !address.startsWith('/')) || address.size() < 2 ||
        std::size_t(address.size()) >= sizeof(m_address.sun_path))
        return;
    m_address.sun_family = AF_UNIX;
    std::memcpy(m_address.sun_path, address.constData(), std::size_t(address.size()));
    // An abstract name begins with a NUL and ends where the length says, not at a NUL.
    if (abstract)
        m_address.sun_path[0] = '\0';
    m_addressLength = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(address.size()) +
                                (abstract ? 0 : 1));
    m_socket.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

bool NotifySocket::send(const QByteArray &state) const
{
    if (!m_socket.isValid())
        return false;
    // A full queue answers EAGAIN at once; a reader that has gone answers
    // ECONNREFUSED, and never SIGPIPE.
    const ssize_t sent = ::sendto(m_socket.get(), state.constData(), std::size_t(state.size()),
                                  MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&m_address), m_addressLength);
    return sent == state.size();
}
