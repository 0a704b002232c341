#pragma once

#include "StopLatch.h"

// Blocks the calling thread. The serial link paces every byte it writes, and the
// router needs to see those gaps on the wire, so the wait is real, not an event.
// A stop of the program cuts every pause short; the pause also answers whether a
// stop has come, for work that must not begin once it has (a send).
class Pause : public StopRequest
{
public:
    // True when the whole time passed; false when a stop cut the pause short or had
    // come before it began.
    [[nodiscard]] virtual bool pauseMs(int milliseconds) = 0;
};

class ThreadPause final : public Pause
{
public:
    // Without a latch nothing cuts a pause short.
    explicit ThreadPause(const StopLatch *stop = nullptr) : m_stop(stop) {}

    bool pauseMs(int milliseconds) override;
    bool stopRequested() const override { return m_stop != nullptr && m_stop->stopRequested(); }

private:
    const StopLatch *m_stop;
};
