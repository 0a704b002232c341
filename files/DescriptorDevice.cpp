#include "DescriptorDevice.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace {

// A descriptor's flags are shared with every process that holds it, so standard output
// may have been set not to block: a full pipe then waits for its reader here, as it
// would in write(2). False, with errno as it was, if the wait itself fails.
bool WaitForRoom(int descriptor)
{
    pollfd room{descriptor, POLLOUT, 0};
    int result;
    do {
        result = ::poll(&room, 1, -1);
    } while (result < 0 && errno == EINTR);
    errno = EAGAIN;
    return result > 0;
}

} // namespace

DescriptorDevice::DescriptorDevice(int descriptor) : m_descriptor(descriptor)
{
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool DescriptorDevice::readerGone() const
{
    return m_failure == EPIPE;
}

qint64 DescriptorDevice::readData(char *, qint64)
{
    return -1;
}

qint64 DescriptorDevice::writeData(const char *data, qint64 size)
{
    if (m_failure != 0)
        return -1;
    qint64 written = 0;
    while (written < size) {
        const ssize_t result = ::write(m_descriptor, data + written, size_t(size - written));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitForRoom(m_descriptor))
            continue;
        if (result <= 0) {
            // A descriptor that takes no byte at all is as full as a full disk.
            m_failure = result < 0 ? errno : ENOSPC;
            setErrorString(QString::fromLocal8Bit(std::strerror(m_failure)));
            return -1;
        }
        written += result;
    }
    return written;
}
