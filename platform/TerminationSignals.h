#pragma once

#include "FileDescriptor.h"

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Brings SIGTERM, SIGINT and SIGHUP into the Qt event loop: received() is emitted on
// the thread that owns this object, where ending the program in order is safe. The
// previous handlers come back when the object is destroyed. A signal that was ignored
// when the object was made stays ignored. One object at a time.
class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
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
