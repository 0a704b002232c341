#pragma once

// The application-wide busy (hourglass) pointer, shown while a blocking operation
// holds up the window.
class BusyPointer
{
public:
    virtual ~BusyPointer() = default;
    virtual void setBusy(bool busy) = 0;
};

class QtBusyPointer final : public BusyPointer
{
public:
    void setBusy(bool busy) override;
};

// Shows the busy pointer for as long as it lives, so that every way out of a
// blocking operation restores the pointer.
class BusyScope
{
public:
    explicit BusyScope(BusyPointer &pointer) : m_pointer(pointer) { m_pointer.setBusy(true); }
    ~BusyScope() { m_pointer.setBusy(false); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    BusyPointer &m_pointer;
};
