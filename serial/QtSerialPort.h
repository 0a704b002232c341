#pragma once

#include "QtSerialPortSettings.h"
#include "SerialPort.h"

#include <QSerialPort>

#include <functional>

// The serial line on a real device through QSerialPort.
//
// The device of a port number is looked up when the number is set (or, when it
// never was, at the first open), and every later open uses it.
//
// The process holds at most 64 KiB that have come from the device and not been
// taken by input(), and one input() hands over at most that much: the rest waits
// in the driver. Every byte that has reached the process stays readable until
// input() takes it, even when the port closes in between (a report closing the
// port, the device going away): a closed port reports nothing waiting only once
// those are read.
// When the device goes away while open (a USB adapter pulled, the far end of a
// pseudo-terminal closed) the port is closed at once, so that the dead descriptor
// cannot keep the event loop busy, and the next operation fails with a
// description, until the port is closed or opened again.
class QtSerialPort final : public SerialPort
{
public:
    // Names the device of a port number; the number is at least 1.
    using DeviceResolver = std::function<QString(int portNumber)>;

    explicit QtSerialPort(DeviceResolver resolver);

    Outcome setCommPort(int portNumber) override;
    Outcome setSettings(const QString &settings) override;
    Outcome setHandshaking(int mode) override;
    Outcome setInputLen(int length) override;
    Outcome setOutBufferSize(int bytes) override;
    Outcome setInBufferSize(int bytes) override;
    Outcome setPortOpen(bool open) override;

    bool isOpen() const override;
    bool devicePresent() const override;
    Outcome output(char byte) override;
    Outcome setModemLine(ModemLine line, bool asserted) override;
    Outcome inBufferCount(int &count) override;
    Outcome input(QByteArray &data) override;

private:
    Outcome open();
    void close();
    // Looks up the device of the port number and keeps it.
    Outcome findDevice();
    // Lets QSerialPort take from the driver what its bounded buffer has room for.
    void collectArrivedBytes();
    void onError(QSerialPort::SerialPortError error);
    void closeIfLost();
    Outcome verifyAppliedSettings() const;
    QString portName() const;

    DeviceResolver m_resolver;
    QSerialPort m_port;
    // The device of the port number, as looked up when the number was set.
    QString m_device;
    int m_portNumber = 1;
    bool m_portNumberValid = true;
    SerialLineSettings m_lineSettings;
    QSerialPort::FlowControl m_flowControl = QSerialPort::NoFlowControl;
    // What QSerialPort held when the port closed.
    QByteArray m_received;
    // Why the device went away; empty while it is there.
    QString m_lostReason;
};
