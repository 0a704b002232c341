#pragma once

// Blocks the calling thread. The serial link paces every byte it writes, and the
// router needs to see those gaps on the wire, so the wait is real, not an event.
class Pause
{
public:
    virtual ~Pause() = default;
    virtual void pauseMs(int milliseconds) = 0;
};

class ThreadPause final : public Pause
{
public:
    void pauseMs(int milliseconds) override;
};
