#include "PortDevice.h"

#include "Settings.h"
#include "SettingsStore.h"

QString PortDevicePath(SettingsStore &store, int portNumber)
{
    // A map that cannot be read says nothing about the port; the built-in port it would
    // fall back to may be another device altogether.
    if (store.readable(SettingsAppName).failed())
        return {};
    const std::optional<QString> named =
        store.read(SettingsAppName, PortsSection, QString::number(portNumber));
    if (named && !named->trimmed().isEmpty())
        return named->trimmed();
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}
