#pragma once

#include <QString>

// Decodes a command string and writes it, paced, to the router's console. Reports
// its own failures to the user.
class CommandSender
{
public:
    virtual ~CommandSender() = default;
    virtual void SendCommand(const QString &command) = 0;
};
