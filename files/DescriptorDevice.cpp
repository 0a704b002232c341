#include "DescriptorDevice.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

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
