#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A count that moves whenever the watch shows a sign of life: a tick, or a wait on its
// thread that woke up.
using WatchProgress = std::function<std::uint64_t()>;
using StateSender = std::function<void(const QByteArray &)>;

// How often the feeder looks at the watch: a few times per watchdog time, within a
// millisecond and an hour.
std::chrono::microseconds WatchdogLookInterval(std::chrono::microseconds watchdogTime);

// One look at the watch: a watchdog ping when its progress moved since the last ping,
// nothing when it did not.
class WatchdogFeed
{
public:
    WatchdogFeed(WatchProgress progress, StateSender send);

    // True when it pinged.
    bool feedIfMoved();

private:
    WatchProgress m_progress;
    StateSender m_send;
    std::uint64_t m_lastFed;
};

// Pings the service manager's watchdog from a thread of its own, for as long as the
// watch moves. A cycle of many echoes with long time-outs, or a fail command paced
// byte by byte, holds the watch's thread for minutes while all goes well, so its tick
// cannot be the only one to ping; but its waits wake at least every few tenths of a
// second, each wake moves the progress, and this thread pings while it moves. A watch
// stuck in a system call, or spinning without a wait, moves nothing: the pings stop
// and the manager restarts it, as it should.
class WatchdogFeeder
{
public:
    // Looks at the progress a few times per watchdog time, so that a watch that moves
    // is pinged well before the time runs out.
    WatchdogFeeder(std::chrono::microseconds watchdogTime, WatchProgress progress,
                   StateSender send);
    ~WatchdogFeeder();
    WatchdogFeeder(const WatchdogFeeder &) = delete;
    WatchdogFeeder &operator=(const WatchdogFeeder &) = delete;

    // At once, whatever the watchdog time; no ping follows. Harmless when repeated.
    void stop();

private:
    void Run();

    WatchdogFeed m_feed;
    const std::chrono::microseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
