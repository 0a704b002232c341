#include "TerminationSignals.h"

#include "StopLatch.h"

#include <QDebug>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
static_assert(std::size(kSignals) == TerminationSignals::kSignalCount);

// The handler can reach nothing but process-wide state; they are set while one
// TerminationSignals object lives, and -1 and null otherwise.
std::atomic<int> writeEndForHandler{-1};
std::atomic<StopLatch *> latchForHandler{nullptr};

// A signal can land in the middle of anything, including malloc or a lock held
// inside Qt, so the handler must not call Qt, allocate or lock. It raises the latch
// and writes one byte to the pipe (both async-signal-safe), and leaves errno as it
// found it for the code it interrupted. A full pipe drops the byte: a wake-up is
// pending.
extern "C" void ForwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (StopLatch *latch = latchForHandler.load(std::memory_order_relaxed))
        latch->raise();
    const int descriptor = writeEndForHandler.load(std::memory_order_relaxed);
    if (descriptor >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(StopLatch *stop, QObject *parent) : QObject(parent)
{
    if (writeEndForHandler.load() >= 0) {
        qWarning("Termination signals are already taken over by another object.");
        return;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Cannot make the pipe for termination signals: %s", std::strerror(errno));
        return;
    }
    m_readEnd.reset(ends[0]);
    m_writeEnd.reset(ends[1]);
    latchForHandler.store(stop);
    writeEndForHandler.store(m_writeEnd.get());

    m_notifier = new QSocketNotifier(m_readEnd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = ForwardSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls elsewhere in the program resume instead of failing.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < std::size(kSignals); ++index) {
        ::sigaction(kSignals[index], nullptr, &m_previous[index]);
        // A signal ignored from the start (nohup) stays ignored: whoever started the
        // program asked it to outlive the terminal.
        if (m_previous[index].sa_handler != SIG_IGN)
            ::sigaction(kSignals[index], &action, nullptr);
    }
    m_active = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_active)
        return;
    // Handlers first, so that no signal finds the pipe closed.
    for (std::size_t index = 0; index < std::size(kSignals); ++index)
        ::sigaction(kSignals[index], &m_previous[index], nullptr);
    writeEndForHandler.store(-1);
    latchForHandler.store(nullptr);
    delete m_notifier;
}

void TerminationSignals::readPipe()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(m_readEnd.get(), bytes, sizeof bytes)) > 0) {
        for (ssize_t index = 0; index < count; ++index)
            Q_EMIT received(bytes[index]);
    }
}
