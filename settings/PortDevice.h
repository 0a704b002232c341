#pragma once

#include <QString>

class SettingsStore;

inline const QString PortsSection = QStringLiteral("Ports");

// The device behind serial port number portNumber (at least 1): the device named
// under that number in the "Ports" section of the settings (for an adapter whose
// name the system makes up, such as /dev/serial/by-id/...), otherwise the
// portNumber-th built-in port, /dev/ttyS<portNumber - 1>. Empty text when the settings
// cannot be read, so that no other device is taken for the one the map may name.
QString PortDevicePath(SettingsStore &store, int portNumber);
