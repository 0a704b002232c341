#include "QtSerialPortSettings.h"

#include <QStringList>

#include <termios.h>

#include <utility>

namespace {

QString DescribeFlowControl(QSerialPort::FlowControl flowControl)
{
    switch (flowControl) {
    case QSerialPort::HardwareControl:
        return QStringLiteral("RTS/CTS flow control");
    case QSerialPort::SoftwareControl:
        return QStringLiteral("XON/XOFF flow control");
    default:
        return QStringLiteral("no flow control");
    }
}

std::optional<qint32> BaudRateOf(speed_t speed)
{
    static const std::pair<speed_t, qint32> rates[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
    };
    for (const auto &[constant, rate] : rates) {
        if (constant == speed)
            return rate;
    }
    return std::nullopt;
}

} // namespace

std::optional<SerialLineSettings> ParseLineSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    SerialLineSettings settings;
    bool isNumber = false;
    settings.baudRate = parts[0].toInt(&isNumber);
    if (!isNumber || settings.baudRate <= 0)
        return std::nullopt;

    const QString parity = parts[1].toUpper();
    if (parity == QLatin1String("N"))
        settings.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        settings.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        settings.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        settings.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        settings.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = parts[2].toInt(&isNumber);
    if (!isNumber || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    if (parts[3] == QLatin1String("1"))
        settings.stopBits = QSerialPort::OneStop;
    else if (parts[3] == QLatin1String("1.5"))
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (parts[3] == QLatin1String("2"))
        settings.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return settings;
}

QString DescribeLineSettings(const SerialLineSettings &settings,
                             QSerialPort::FlowControl flowControl)
{
    const char parity = "N?EOSM"[settings.parity];
    const QString stopBits = settings.stopBits == QSerialPort::OneStop   ? QStringLiteral("1")
                             : settings.stopBits == QSerialPort::TwoStop ? QStringLiteral("2")
                                                                         : QStringLiteral("1.5");
    return QStringLiteral("%1,%2,%3,%4 with %5")
        .arg(settings.baudRate)
        .arg(QLatin1Char(parity))
        .arg(static_cast<int>(settings.dataBits))
        .arg(stopBits, DescribeFlowControl(flowControl));
}

std::optional<QString> DescribeDeviceSettings(int descriptor)
{
    termios attributes{};
    if (::tcgetattr(descriptor, &attributes) != 0)
        return std::nullopt;
    SerialLineSettings settings;
    const speed_t speed = cfgetospeed(&attributes);
    settings.baudRate = cfgetispeed(&attributes) == speed ? BaudRateOf(speed).value_or(-1) : -1;

    const tcflag_t flags = attributes.c_cflag;
    switch (flags & CSIZE) {
    case CS5:
        settings.dataBits = QSerialPort::Data5;
        break;
    case CS6:
        settings.dataBits = QSerialPort::Data6;
        break;
    case CS7:
        settings.dataBits = QSerialPort::Data7;
        break;
    default:
        settings.dataBits = QSerialPort::Data8;
        break;
    }
    if (!(flags & PARENB))
        settings.parity = QSerialPort::NoParity;
    else if (flags & CMSPAR)
        settings.parity = (flags & PARODD) ? QSerialPort::MarkParity : QSerialPort::SpaceParity;
    else
        settings.parity = (flags & PARODD) ? QSerialPort::OddParity : QSerialPort::EvenParity;
    settings.stopBits = (flags & CSTOPB) ? QSerialPort::TwoStop : QSerialPort::OneStop;

    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    if (flags & CRTSCTS)
        flowControl = QSerialPort::HardwareControl;
    else if (attributes.c_iflag & (IXON | IXOFF))
        flowControl = QSerialPort::SoftwareControl;
    return DescribeLineSettings(settings, flowControl);
}
