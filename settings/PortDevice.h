#pragma once

#include <QString>

#include <optional>

class SettingsStore;

inline const QString PortsSection = QStringLiteral("Ports");

// The device behind serial port number portNumber (at least 1): the device named
// under that number in the "Ports" section of the settings (for an adapter whose
// name the system makes up, such as /dev/serial/by-id/...), otherwise the
// portNumber-th built-in port, /dev/ttyS<portNumber - 1>. Empty text when the settings
// cannot be read, so that no other device is taken for the one the map may name.
QString PortDevicePath(SettingsStore &store, int portNumber);

// The highest port number, as the link reads the port field: a 16-bit whole number.
inline constexpr int kHighestPortNumber = 32767;

using DevicePresence = bool (*)(const QString &device);
// Whether anything is at the path now; a link to nothing is not.
bool DeviceNodePresent(const QString &device);

// Why the port field's text cannot be the watch's port, or nothing when it can: a
// number from 1 to kHighestPortNumber that "Ports" names a device for (present or not:
// an adapter may be plugged in later), or whose built-in device is there. A port that
// cannot be used is refused rather than swapped for another: port 1 may be a
// different device, which the fail command would then reach.
std::optional<QString> PortRefusal(SettingsStore &store, const QString &portText,
                                   DevicePresence present = DeviceNodePresent);
