#pragma once

#include "FileDescriptor.h"

#include <QObject>

#include <csignal>

class QSocketNotifier;
class StopLatch;

// Brings SIGTERM, SIGINT and SIGHUP into the Qt event loop: received() is emitted on
// the thread that owns this object, where ending the program in order is safe. The
// previous handlers come back when the object is destroyed. A signal that was ignored
// when the object was made stays ignored. One object at a time.
//
// The event loop only gets to the signal once the work in hand returns, so the
// handler first raises the stop latch, when there is one: every wait under way
// (an echo, the pacing of a send) ends at once, and nothing new begins.
class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    // stop must outlive this object.
    explicit TerminationSignals(StopLatch *stop = nullptr, QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be taken over (see the warning printed).
    bool isActive() const { return m_active; }

    static constexpr int kSignalCount = 3;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    FileDescriptor m_readEnd;
    FileDescriptor m_writeEnd;
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[kSignalCount] = {};
    bool m_active = false;
};
