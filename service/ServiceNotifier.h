#pragma once

#include "WatchEvents.h"

#include <QByteArray>

#include <functional>
#include <optional>

class Clock;

// Tells the service manager how the watch is doing: ready at the watch's first tick,
// alive at each tick after that, a line of state after each cycle and send, and the
// stop as it begins. The pings come from the watch's own tick only, so that a watch
// that stops ticking (a hang anywhere on its thread) is restarted by the manager.
class ServiceNotifier final : public WatchEvents
{
public:
    // notify sends one state to the manager ("READY=1", "STATUS=..."). watchdogUs is
    // the manager's watchdog time, 0 for none; longestCycleMs says how long a cycle
    // may take with the time-outs of the moment, during which the tick cannot run.
    ServiceNotifier(const Clock &clock, std::function<void(const QByteArray &)> notify,
                    qint64 watchdogUs = 0, std::function<qint64()> longestCycleMs = {});

    void watchTicked() override;
    void cycleDone(const CycleReport &report) override;
    void commandSent(CommandKind kind, const QString &command) override;
    void watchStopping() override;

private:
    void SendStatus();

    const Clock &m_clock;
    std::function<void(const QByteArray &)> m_notify;
    qint64 m_watchdogUs;
    std::function<qint64()> m_longestCycleMs;
    bool m_ready = false;
    bool m_stopping = false;
    std::optional<CycleReport> m_lastCycle;
    qint32 m_failingCycles = 0;
    std::optional<qint64> m_lastFailMs;
};
