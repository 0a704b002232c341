#pragma once

#include "LoginStart.h"

#include <QStringList>

// The start at login of a freedesktop session: an entry named corvane.desktop in the
// autostart folder of the user's configuration folder. Corvane removes only an
// entry it wrote itself, so that one the user or an administrator put there by hand
// stays.
class XdgAutostart final : public LoginStart
{
public:
    // configFolder: $XDG_CONFIG_HOME, or ~/.config; command: the program and its
    // arguments, as the entry starts them.
    XdgAutostart(const QString &configFolder, QStringList command);

    QString entryPath() const { return m_entryPath; }

    bool isOn() const override;
    std::optional<QString> turnOn() override;
    std::optional<QString> turnOff() override;

private:
    QString m_entryPath;
    QStringList m_command;
};
