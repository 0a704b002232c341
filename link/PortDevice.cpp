#include "PortDevice.h"

#include "Settings.h"
#include "SettingsStore.h"

QString PortDevicePath(SettingsStore &store, int portNumber)
{
    const std::optional<QString> named =
        store.read(SettingsAppName, PortsSection, QString::number(portNumber));
    if (named && !named->trimmed().isEmpty())
        return named->trimmed();
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}
