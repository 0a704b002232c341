#include "JournalMirror.h"

#include "FileDescriptor.h"

#include <QString>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <utility>

using namespace std::chrono_literals;

namespace {

QByteArray DropNotice(std::uint64_t dropped)
{
    const QString count = dropped == 1 ? QStringLiteral("1 log entry is")
                                       : QStringLiteral("%1 log entries are").arg(dropped);
    return SD_WARNING + QStringLiteral("The journal took nothing for a while: %1 missing here.\n")
                            .arg(count)
                            .toUtf8();
}

// Blocks for as long as the stream does. A stream that fails (a reader gone) loses
// the line: there is nobody else to tell.
void WriteWhole(int descriptor, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t result =
            ::write(descriptor, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return;
        written += result;
    }
}

} // namespace

// Shared with the writer, which may outlive the mirror while stuck in a write.
struct JournalMirror::Queue
{
    struct QueuedLine
    {
        QByteArray text;
        // Lines dropped just before this one, said before it.
        std::uint64_t droppedBefore = 0;
    };

    FileDescriptor stream;
    std::size_t capacity = 0;
    std::mutex mutex;
    std::condition_variable linesWaiting;
    std::condition_variable lineWritten;
    std::deque<QueuedLine> lines;
    // Dropped since the last line queued, not yet said.
    std::uint64_t dropped = 0;
    std::uint64_t writes = 0;
    bool writing = false;
    bool closing = false;

    bool idle() const { return lines.empty() && dropped == 0 && !writing; }

    void Run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            linesWaiting.wait(lock, [this] { return !lines.empty() || dropped > 0 || closing; });
            QByteArray bytes;
            if (!lines.empty()) {
                QueuedLine line = std::move(lines.front());
                lines.pop_front();
                if (line.droppedBefore > 0)
                    bytes = DropNotice(line.droppedBefore);
                bytes += line.text;
            } else if (dropped > 0) {
                // The stream caught up with the queue after the drops: no later line
                // would say them.
                bytes = DropNotice(std::exchange(dropped, 0));
            } else {
                return;
            }
            writing = true;
            lock.unlock();
            WriteWhole(stream.get(), bytes);
            lock.lock();
            writing = false;
            ++writes;
            lineWritten.notify_all();
        }
    }
};

JournalMirror::JournalMirror(int descriptor, std::size_t queuedLines)
    : m_queue(std::make_shared<Queue>())
{
    m_queue->stream.reset(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    m_queue->capacity = queuedLines;
    // Signals keep going to the watch's thread, where a stop signal is waited for.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    m_writer = std::thread([queue = m_queue] { queue->Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

JournalMirror::~JournalMirror()
{
    std::unique_lock lock(m_queue->mutex);
    m_queue->closing = true;
    m_queue->linesWaiting.notify_all();
    const auto giveUp = std::chrono::steady_clock::now() + 1s;
    while (!m_queue->idle() && std::chrono::steady_clock::now() < giveUp) {
        const std::uint64_t writes = m_queue->writes;
        if (!m_queue->lineWritten.wait_for(lock, 250ms, [&] { return m_queue->writes != writes; }))
            break;
    }
    const bool done = m_queue->idle();
    lock.unlock();
    // A writer stuck in a write keeps the queue alive by its own share of it.
    if (done)
        m_writer.join();
    else
        m_writer.detach();
}

void JournalMirror::send(QByteArray line)
{
    {
        const std::lock_guard lock(m_queue->mutex);
        if (m_queue->lines.size() >= m_queue->capacity) {
            ++m_queue->dropped;
            return;
        }
        m_queue->lines.push_back({std::move(line), std::exchange(m_queue->dropped, 0)});
    }
    m_queue->linesWaiting.notify_one();
}
