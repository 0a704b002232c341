#pragma once

#include "WatchEvents.h"
#include "WatchdogFeeder.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Clock;

// Tells the service manager how the watch is doing: ready as the watch starts, alive
// for as long as it moves, a line of state after each cycle and send, and the stop as
// it begins. The watchdog is pinged from a thread of its own (WatchdogFeeder), while
// the watch's ticks or the waits on its thread move on; a watch that stops moving (a
// hang anywhere on its thread) is restarted by the manager.
class ServiceNotifier final : public WatchEvents
{
public:
    // send hands one state to the manager ("READY=1", "STATUS=...") and must never
    // block; it is called from two threads. watchdogTime is the manager's, zero for
    // none. waitsWoken counts the wakes of the waits on the watch's thread.
    ServiceNotifier(const Clock &clock, StateSender send,
                    std::chrono::microseconds watchdogTime = {}, WatchProgress waitsWoken = {});
    ~ServiceNotifier() override;

    // The ticks and the waits' wakes so far: what the watchdog's pings follow.
    std::uint64_t progress() const;

    void watchStarted() override;
    void watchTicked() override;
    void cycleDone(const CycleReport &report) override;
    void commandSent(CommandKind kind, const QString &command) override;
    void watchStopping() override;

private:
    void SendStatus();

    const Clock &m_clock;
    StateSender m_send;
    std::chrono::microseconds m_watchdogTime;
    WatchProgress m_waitsWoken;
    std::atomic<std::uint64_t> m_ticks = 0;
    // After what its thread reads, so that the thread has ended before they go.
    std::unique_ptr<WatchdogFeeder> m_feeder;
    bool m_ready = false;
    bool m_stopping = false;
    std::optional<CycleReport> m_lastCycle;
    qint32 m_failingCycles = 0;
    std::optional<qint64> m_lastFailMs;
};
