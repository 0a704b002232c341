#include "WatchdogFeeder.h"

#include <algorithm>
#include <csignal>
#include <pthread.h>
#include <utility>

namespace {

// A watch that moves is pinged at least this many times per watchdog time. Its
// slowest sign of life is the tick, once a second, so the watchdog time must be a
// few seconds at least; the units' is a minute.
constexpr int kLooksPerWatchdogTime = 4;

} // namespace

std::chrono::microseconds WatchdogLookInterval(std::chrono::microseconds watchdogTime)
{
    // The wait turns its time into the steady clock's nanoseconds from now: a time of
    // centuries overflows there into the past, and the thread would spin. Capped, a
    // long watchdog time is looked at more often than needed, never less.
    constexpr std::chrono::microseconds longest = std::chrono::hours(1);
    // Never a busy loop, whatever time the manager gives.
    constexpr std::chrono::microseconds shortest = std::chrono::milliseconds(1);
    return std::clamp(watchdogTime / kLooksPerWatchdogTime, shortest, longest);
}

WatchdogFeed::WatchdogFeed(WatchProgress progress, StateSender send)
    : m_progress(std::move(progress)), m_send(std::move(send)), m_lastFed(m_progress())
{
}

bool WatchdogFeed::feedIfMoved()
{
    const std::uint64_t now = m_progress();
    if (now == m_lastFed)
        return false;
    m_lastFed = now;
    m_send(QByteArrayLiteral("WATCHDOG=1"));
    return true;
}

WatchdogFeeder::WatchdogFeeder(std::chrono::microseconds watchdogTime, WatchProgress progress,
                               StateSender send)
    : m_feed(std::move(progress), std::move(send)), m_interval(WatchdogLookInterval(watchdogTime))
{
    // Signals keep going to the watch's thread, as before this one existed, where a
    // stop signal interrupts the very wait it must end.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    m_thread = std::thread([this] { Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

WatchdogFeeder::~WatchdogFeeder()
{
    stop();
}

void WatchdogFeeder::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void WatchdogFeeder::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_interval, [this] { return m_stopping; }))
        m_feed.feedIfMoved();
}
