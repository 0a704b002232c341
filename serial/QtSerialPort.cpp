#include "QtSerialPort.h"

#include "PortOpenFailure.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

namespace {

// A byte that the driver has not taken within this time is not coming out: at
// 9600 baud one byte takes about a millisecond on the wire.
constexpr int kWriteTimeoutMs = 1000;

// The most one input() hands over, and the most QSerialPort keeps for us: a device
// that sends faster than the poll takes it waits in the driver, which holds the
// writer back, instead of filling the process's memory.
constexpr qint64 kReadBytes = qint64{64} * 1024;

// Reads per collection; QSerialPort reads up to 32 KiB at a time, and stops when
// its buffer is full.
constexpr int kDrainReads = 4;

} // namespace

QtSerialPort::QtSerialPort(DeviceResolver resolver) : m_resolver(std::move(resolver))
{
    m_port.setReadBufferSize(kReadBytes);
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

Outcome QtSerialPort::setCommPort(int portNumber)
{
    if (m_port.isOpen())
        return Outcome::failure(
            QStringLiteral("The port number cannot change while %1 is open.").arg(portName()));
    m_portNumber = portNumber;
    m_portNumberValid = portNumber >= 1;
    m_device.clear();
    if (!m_portNumberValid)
        return Outcome::failure(
            QStringLiteral("%1 is not a serial port number: ports are numbered from 1.")
                .arg(portNumber));
    return findDevice();
}

Outcome QtSerialPort::findDevice()
{
    m_device = m_resolver(m_portNumber);
    if (m_device.isEmpty())
        return Outcome::failure(
            QStringLiteral("No device is known for port %1.").arg(m_portNumber));
    return Outcome::success();
}

Outcome QtSerialPort::setSettings(const QString &settings)
{
    const std::optional<SerialLineSettings> parsed = ParseLineSettings(settings);
    if (!parsed)
        return Outcome::failure(
            QStringLiteral("\"%1\" is not a line setting such as \"9600,N,8,1\".").arg(settings));
    m_lineSettings = *parsed;
    return Outcome::success();
}

Outcome QtSerialPort::setHandshaking(int mode)
{
    switch (mode) {
    case 0:
        m_flowControl = QSerialPort::NoFlowControl;
        return Outcome::success();
    case 1:
        m_flowControl = QSerialPort::SoftwareControl;
        return Outcome::success();
    case 2:
        m_flowControl = QSerialPort::HardwareControl;
        return Outcome::success();
    default:
        return Outcome::failure(
            QStringLiteral("Handshaking %1 is not supported (0 none, 1 XON/XOFF, 2 RTS/CTS).")
                .arg(mode));
    }
}

Outcome QtSerialPort::setInputLen(int length)
{
    // A read always takes everything that is waiting.
    if (length != 0)
        return Outcome::failure(
            QStringLiteral("Reading %1 bytes at a time is not supported; only 0 (everything "
                           "waiting) is.")
                .arg(length));
    return Outcome::success();
}

Outcome QtSerialPort::setOutBufferSize(int bytes)
{
    // Every byte is handed to the driver before output() returns, so no transmit
    // buffer of ours ever holds more than one byte.
    if (bytes <= 0)
        return Outcome::failure(
            QStringLiteral("A transmit buffer of %1 bytes is not possible.").arg(bytes));
    return Outcome::success();
}

Outcome QtSerialPort::setInBufferSize(int bytes)
{
    // Taken as a lower bound only: a receive buffer with a ceiling would leave the
    // excess in the driver, whose own buffer drops bytes when it fills up, and every
    // byte the router sends has to reach the log.
    if (bytes <= 0)
        return Outcome::failure(
            QStringLiteral("A receive buffer of %1 bytes is not possible.").arg(bytes));
    return Outcome::success();
}

Outcome QtSerialPort::setPortOpen(bool open)
{
    if (!open) {
        close();
        return Outcome::success();
    }
    return this->open();
}

bool QtSerialPort::isOpen() const
{
    return m_port.isOpen() && m_lostReason.isEmpty();
}

bool QtSerialPort::devicePresent() const
{
    // A link such as /dev/serial/by-id/... counts only while its device is there too.
    return !m_device.isEmpty() && QFileInfo::exists(m_device);
}

Outcome QtSerialPort::open()
{
    if (m_port.isOpen() && m_lostReason.isEmpty())
        return Outcome::failure(QStringLiteral("%1 is already open.").arg(portName()));
    close();
    if (!m_portNumberValid)
        return Outcome::failure(
            QStringLiteral("No serial port is chosen: port numbers start at 1."));
    if (m_device.isEmpty()) {
        if (Outcome found = findDevice(); found.failed())
            return found;
    }

    m_port.setPortName(m_device);
    m_port.setBaudRate(m_lineSettings.baudRate);
    m_port.setParity(m_lineSettings.parity);
    m_port.setDataBits(m_lineSettings.dataBits);
    m_port.setStopBits(m_lineSettings.stopBits);
    m_port.setFlowControl(m_flowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        return Outcome::failure(
            PortOpenFailureText(portName(), m_device, m_port.error(), m_port.errorString()));

    Outcome verified = verifyAppliedSettings();
    if (verified.failed())
        m_port.close();
    return verified;
}

void QtSerialPort::close()
{
    if (m_port.isOpen()) {
        collectArrivedBytes();
        // Closing empties QSerialPort's buffer.
        m_received += m_port.readAll();
        m_port.close();
    }
    m_lostReason.clear();
}

Outcome QtSerialPort::verifyAppliedSettings() const
{
    const std::optional<QString> applied = DescribeDeviceSettings(m_port.handle());
    if (!applied)
        return Outcome::failure(QStringLiteral("Cannot read back the line settings of %1: %2.")
                                    .arg(portName(), QString::fromLocal8Bit(std::strerror(errno))));
    const QString requested = DescribeLineSettings(m_lineSettings, m_flowControl);
    if (*applied != requested)
        return Outcome::failure(
            QStringLiteral("%1 did not take the line settings: asked for %2, it has %3.")
                .arg(portName(), requested, *applied));
    return Outcome::success();
}

Outcome QtSerialPort::output(char byte)
{
    if (!m_lostReason.isEmpty())
        return Outcome::failure(m_lostReason);
    if (!m_port.isOpen())
        return Outcome::failure(QStringLiteral("%1 is not open.").arg(portName()));

    const bool written = m_port.write(&byte, 1) == 1 && m_port.waitForBytesWritten(kWriteTimeoutMs);
    closeIfLost();
    if (!m_lostReason.isEmpty())
        return Outcome::failure(m_lostReason);
    if (!written) {
        const QString reason = m_port.errorString();
        // A byte left behind would go out later, out of its pacing.
        m_port.clear(QSerialPort::Output);
        return Outcome::failure(
            QStringLiteral("Writing to %1 failed: %2.").arg(portName(), reason));
    }
    return Outcome::success();
}

Outcome QtSerialPort::setModemLine(ModemLine line, bool asserted)
{
    if (!m_lostReason.isEmpty())
        return Outcome::failure(m_lostReason);
    if (!m_port.isOpen())
        return Outcome::failure(QStringLiteral("%1 is not open.").arg(portName()));
    // TIOCMBIS or TIOCMBIC underneath; a pseudo-terminal or a USB adapter without the
    // line refuses it, and the relay then never moved.
    const bool set = line == ModemLine::Dtr ? m_port.setDataTerminalReady(asserted)
                                            : m_port.setRequestToSend(asserted);
    if (set)
        return Outcome::success();
    const QString reason = m_port.errorString();
    m_port.clearError();
    return Outcome::failure(
        QStringLiteral("Setting %1 on %2 failed: %3.")
            .arg(line == ModemLine::Dtr ? QStringLiteral("DTR") : QStringLiteral("RTS"), portName(),
                 reason));
}

Outcome QtSerialPort::inBufferCount(int &count)
{
    collectArrivedBytes();
    if (m_received.isEmpty() && !m_lostReason.isEmpty()) {
        count = 0;
        return Outcome::failure(m_lostReason);
    }
    const qint64 waiting = m_received.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
    count = static_cast<int>(qMin<qint64>(waiting, std::numeric_limits<int>::max()));
    return Outcome::success();
}

Outcome QtSerialPort::input(QByteArray &data)
{
    collectArrivedBytes();
    if (m_received.isEmpty() && !m_lostReason.isEmpty()) {
        data.clear();
        return Outcome::failure(m_lostReason);
    }
    data = std::exchange(m_received, {});
    if (m_port.isOpen() && data.size() < kReadBytes)
        data += m_port.read(kReadBytes - data.size());
    return Outcome::success();
}

void QtSerialPort::collectArrivedBytes()
{
    // Takes what the driver holds even when no event loop has run since it came.
    // QSerialPort's bounded buffer ends the reads once it is full.
    for (int read = 0; read < kDrainReads && m_port.isOpen() && m_lostReason.isEmpty() &&
                       m_port.bytesAvailable() < kReadBytes;
         ++read) {
        if (!m_port.waitForReadyRead(0))
            break;
    }
    closeIfLost();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    const bool deviceFailed = error == QSerialPort::ResourceError ||
                              error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (!deviceFailed || !m_port.isOpen() || !m_lostReason.isEmpty())
        return;
    // The driver's error text is often stale here (a hang-up reads 0 bytes and sets
    // no errno), so the description says what it means instead.
    m_lostReason = QStringLiteral("The connection to %1 was lost: the device hung up or was "
                                  "removed.")
                       .arg(portName());
    // A hung-up descriptor stays readable forever; left open, it would keep the
    // event loop spinning. The close cannot happen here, inside QSerialPort's own
    // notification, so it follows as soon as control is back in the event loop
    // or in one of our operations.
    QMetaObject::invokeMethod(
        &m_port, [this] { closeIfLost(); }, Qt::QueuedConnection);
}

void QtSerialPort::closeIfLost()
{
    if (m_lostReason.isEmpty() || !m_port.isOpen())
        return;
    m_received += m_port.readAll();
    m_port.close();
}

QString QtSerialPort::portName() const
{
    if (m_device.isEmpty())
        return QStringLiteral("port %1").arg(m_portNumber);
    return QStringLiteral("port %1 (%2)").arg(m_portNumber).arg(m_device);
}
