#pragma once

#include <chrono>
#include <ctime>

class StopLatch;

// The kernel lets a poll end late by up to a thousandth of its time-out (2 ms of a
// 2-second wait); short waits in a row keep that slack to a tenth of a millisecond.
// Every wait on a deadline (an echo, a host-name lookup) is cut into these.
constexpr std::chrono::steady_clock::duration kLongestSingleWait = std::chrono::milliseconds(100);

inline timespec AsTimespec(std::chrono::steady_clock::duration duration)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    const auto nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(duration - seconds);
    return timespec{time_t(seconds.count()), long(nanoseconds.count())};
}

// How one short wait ended.
enum class ShortWait
{
    TimedOut, // the deadline had passed before it began
    Stopped,  // the stop latch is raised
    Failed,   // the poll itself failed
    Quiet,    // nothing happened: a signal, or the short wait ran out
    Ready,    // the descriptor has events
};

// One short wait, never past the deadline, for the descriptor to be readable or in
// error. A raised stop latch ends it at once; without a latch only the descriptor
// and the deadline count. Each wake is marked on the latch, as a sign of life of the
// waiting thread. events receives the descriptor's poll events when Ready.
ShortWait WaitOnce(int descriptor, std::chrono::steady_clock::time_point deadline,
                   const StopLatch *stop, short &events);
