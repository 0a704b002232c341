#pragma once

#include "FileDescriptor.h"

#include <atomic>
#include <cstdint>

// Whether the program has been asked to stop. Once it has, every wait ends at once
// and no new work (a cycle, a send) begins, so that the stop line is the last thing
// the program does.
class StopRequest
{
public:
    virtual ~StopRequest() = default;
    virtual bool stopRequested() const = 0;
};

// A stop request that blocking waits can watch: a pipe whose read end becomes
// readable when the latch is raised and stays readable for good, because nothing
// ever reads it. A wait polls the read end beside whatever it waits for. A signal
// handler may raise the latch: raising is an atomic store and one write(2).
class StopLatch final : public StopRequest
{
public:
    StopLatch();
    StopLatch(const StopLatch &) = delete;
    StopLatch &operator=(const StopLatch &) = delete;

    // Async-signal-safe, and harmless when repeated.
    void raise();
    bool stopRequested() const override { return m_raised.load(std::memory_order_acquire); }

    // For poll(2): readable once the latch is raised. -1 when the pipe could not be
    // made; waits then run their full time, as they did before there was a latch.
    int descriptor() const { return m_readEnd.get(); }

    // Every wait that watches the latch marks each of its wakes here. A cycle or a send
    // may hold the watch's thread for minutes and still be going fine; its waits then
    // wake at least every tenth of a second or so, and a thread of its own can tell
    // that from a hang, which wakes nothing.
    void markWake() const noexcept { m_wakes.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t wakes() const noexcept { return m_wakes.load(std::memory_order_relaxed); }

private:
    FileDescriptor m_readEnd;
    FileDescriptor m_writeEnd;
    std::atomic<bool> m_raised = false;
    // Waits hold the latch as const, for they only watch it; their wakes count all the
    // same.
    mutable std::atomic<std::uint64_t> m_wakes = 0;
    static_assert(std::atomic<bool>::is_always_lock_free, "raised from a signal handler");
};
