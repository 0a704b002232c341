#pragma once

#include <chrono>
#include <ctime>

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
