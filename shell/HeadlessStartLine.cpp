#include "HeadlessStartLine.h"

#include "PortDevice.h"
#include "WholeNumber.h"
#include "WindowFields.h"

namespace {

// The device the link will open for the port field, by the same look-up.
QString PortText(const QString &port, SettingsStore &store)
{
    const std::optional<qint16> number = WholeNumber16(port);
    if (!number || *number < 1)
        return QStringLiteral("port \"%1\" (no device)").arg(port);
    const QString device = PortDevicePath(store, *number);
    if (device.isEmpty())
        return QStringLiteral("port %1 (no device: the settings file cannot be read)").arg(*number);
    return QStringLiteral("port %1 on %2").arg(*number).arg(device);
}

} // namespace

QString HeadlessStartLine(const QString &settingsFile, const QString &historyFile,
                          const WindowFields &fields, SettingsStore &store)
{
    return QStringLiteral(
               "Corvane runs headless: settings %1, log %2, history %3, %4, addresses %5 and %6.")
        .arg(settingsFile, fields.text(Field::FailLog), historyFile,
             PortText(fields.text(Field::FailPort), store), fields.text(Field::AddrPri),
             fields.text(Field::AddrSec));
}
