#include "Pause.h"
#include "ShortWaits.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

bool ThreadPause::pauseMs(int milliseconds)
{
    if (stopRequested())
        return false;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    // Without a latch, ppoll on a descriptor of -1 is a plain sleep.
    pollfd watched{m_stop != nullptr ? m_stop->descriptor() : -1, POLLIN, 0};
    for (;;) {
        const Clock::duration remaining = end - Clock::now();
        if (remaining <= Clock::duration::zero())
            return true;
        const timespec wait = AsTimespec(remaining);
        // A signal, the one that raises the latch among them, only sends us back to
        // look at the latch and wait out the rest.
        const bool failed = ::ppoll(&watched, 1, &wait, nullptr) < 0 && errno != EINTR;
        if (m_stop != nullptr)
            m_stop->markWake();
        if (failed) {
            std::this_thread::sleep_until(end);
            return true;
        }
        if (stopRequested())
            return false;
    }
}
