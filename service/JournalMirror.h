#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>
#include <thread>

// Hands the log's entries to the journal's stream without ever holding the watch.
//
// A stream that stops reading (a journal that hangs or is overwhelmed) fills, and a
// write to it blocks until it reads again: on the watch's thread that is a hang which
// a stop signal no longer ends, without its stop line. Here the writes are a thread's
// of its own, behind a bounded queue; a line that finds the queue full is dropped,
// and when the stream moves again the journal is told how many went missing there.
class JournalMirror
{
public:
    static constexpr std::size_t kQueuedLines = 256;

    // Writes to a copy of descriptor, which the caller may close at once.
    explicit JournalMirror(int descriptor, std::size_t queuedLines = kQueuedLines);
    // Lets the lines still queued go out while they do, for a second at most, so that
    // the stop line reaches a journal that reads; a stream that takes nothing for a
    // quarter of a second is left to the writer, which ends with the program.
    ~JournalMirror();
    JournalMirror(const JournalMirror &) = delete;
    JournalMirror &operator=(const JournalMirror &) = delete;

    // One whole line, its line end included. Returns at once, whatever the stream.
    void send(QByteArray line);

private:
    struct Queue;

    std::shared_ptr<Queue> m_queue;
    std::thread m_writer;
};
