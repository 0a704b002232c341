#pragma once

#include <QString>

// Replaces the tip of the notification-area icon.
class TrayTip
{
public:
    virtual ~TrayTip() = default;
    virtual void UpdateTrayTip(const QString &text) = 0;
};
