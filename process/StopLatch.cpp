#include "StopLatch.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

StopLatch::StopLatch()
{
    int ends[2];
    // A signal handler writes to it, and must never block on a full pipe.
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Cannot make the pipe for the stop latch: %s", std::strerror(errno));
        return;
    }
    m_readEnd.reset(ends[0]);
    m_writeEnd.reset(ends[1]);
}

void StopLatch::raise()
{
    // The flag first: whoever is woken by the pipe must find it set.
    if (m_raised.exchange(true, std::memory_order_acq_rel) || !m_writeEnd.isValid())
        return;
    const int savedErrno = errno;
    const unsigned char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_writeEnd.get(), &byte, 1);
    errno = savedErrno;
}
