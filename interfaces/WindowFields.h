#pragma once

#include <QString>

// The fields of the main window that the logic reads and writes. The logic reads a
// field's text afresh every time it needs the value: the fields are the live
// configuration.
enum class Field
{
    AddrPri,
    AddrSec,
    TimeoutPri,
    TimeoutSec,
    Period,
    FailCommand,
    FailPort,
    FailTries,
    FailResend,
    FailLog,
    StatusPri,
    TripPri,
    StatusSec,
    TripSec,
    SchedCmd0,
    SchedCmd1,
    SchedCmd2,
    SchedCmd3,
    SchedTime0,
    SchedTime1,
    SchedTime2,
    SchedTime3,
};

constexpr int kScheduleSlots = 4;

inline Field SchedCmdField(int slot)
{
    return static_cast<Field>(static_cast<int>(Field::SchedCmd0) + slot);
}

inline Field SchedTimeField(int slot)
{
    return static_cast<Field>(static_cast<int>(Field::SchedTime0) + slot);
}

class WindowFields
{
public:
    virtual ~WindowFields() = default;
    virtual QString text(Field field) const = 0;
    virtual void setText(Field field, const QString &text) = 0;
    virtual bool isEnabled(Field field) const = 0;
    virtual void setEnabled(Field field, bool enabled) = 0;
};

// The consecutive-failures meter. Its minimum is 0.
class Meter
{
public:
    virtual ~Meter() = default;
    virtual int maximum() const = 0;
    // Refused (returns false, maximum unchanged) unless the maximum lies above 0.
    virtual bool setMaximum(int maximum) = 0;
    virtual int value() const = 0;
    virtual void setValue(int value) = 0;
};
