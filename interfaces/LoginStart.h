#pragma once

#include <QString>

#include <optional>

// Whether the program starts with the user's desktop session.
class LoginStart
{
public:
    virtual ~LoginStart() = default;

    virtual bool isOn() const = 0;
    // Nothing when done; else what stood in the way, for the user to read.
    virtual std::optional<QString> turnOn() = 0;
    virtual std::optional<QString> turnOff() = 0;
};
