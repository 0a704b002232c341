#include "PortDevice.h"

#include "Settings.h"
#include "SettingsStore.h"
#include "WholeNumber.h"

#include <QFileInfo>

namespace {

// The device "Ports" names for the number, or empty text.
QString NamedDevice(SettingsStore &store, int portNumber)
{
    return store.read(SettingsAppName, PortsSection, QString::number(portNumber))
        .value_or(QString())
        .trimmed();
}

} // namespace

QString PortDevicePath(SettingsStore &store, int portNumber)
{
    // A map that cannot be read says nothing about the port; the built-in port it would
    // fall back to may be another device altogether.
    if (store.readable(SettingsAppName).failed())
        return {};
    QString named = NamedDevice(store, portNumber);
    if (!named.isEmpty())
        return named;
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

bool DeviceNodePresent(const QString &device)
{
    return QFileInfo::exists(device);
}

std::optional<QString> PortRefusal(SettingsStore &store, const QString &portText,
                                   DevicePresence present)
{
    const std::optional<qint16> number = WholeNumber16(portText);
    if (!number || *number < 1)
        return QStringLiteral("A port number from 1 to %1 is required.").arg(kHighestPortNumber);
    const QString device = PortDevicePath(store, *number);
    if (device.isEmpty())
        return QStringLiteral("No device is known for port %1: the settings file cannot be read.")
            .arg(*number);
    if (NamedDevice(store, *number).isEmpty() && !present(device))
        return QStringLiteral("No device is known for port %1: [%2] names none, and %3 is not "
                              "there.")
            .arg(QString::number(*number), PortsSection, device);
    return std::nullopt;
}
