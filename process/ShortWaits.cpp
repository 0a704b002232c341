#include "ShortWaits.h"

#include "StopLatch.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>

ShortWait WaitOnce(int descriptor, std::chrono::steady_clock::time_point deadline,
                   const StopLatch *stop, short &events)
{
    using Clock = std::chrono::steady_clock;
    const Clock::duration remaining = deadline - Clock::now();
    if (remaining <= Clock::duration::zero())
        return ShortWait::TimedOut;
    const timespec wait = AsTimespec(std::min(remaining, kLongestSingleWait));
    // Without a latch its descriptor is -1, which ppoll passes over.
    std::array<pollfd, 2> watched{
        {{descriptor, POLLIN, 0}, {stop != nullptr ? stop->descriptor() : -1, POLLIN, 0}}};
    const int ready = ::ppoll(watched.data(), watched.size(), &wait, nullptr);
    const int error = errno;
    if (stop != nullptr) {
        stop->markWake();
        if (stop->stopRequested())
            return ShortWait::Stopped;
    }
    if (ready < 0 && error != EINTR)
        return ShortWait::Failed;
    if (ready <= 0)
        return ShortWait::Quiet;
    events = watched[0].revents;
    return ShortWait::Ready;
}
