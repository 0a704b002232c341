#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// The line settings of a serial port in the notation of a settings text such as
// "9600,N,8,1": speed, parity (N, E, O, M or S), data bits (5 to 8) and stop bits
// (1, 1.5 or 2).
struct SerialLineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Nothing when the text is not such a setting.
std::optional<SerialLineSettings> ParseLineSettings(const QString &text);

QString DescribeLineSettings(const SerialLineSettings &settings,
                             QSerialPort::FlowControl flowControl);

// The settings the driver holds for an open terminal descriptor, in the words of
// DescribeLineSettings, so that a driver that silently ignored part of a request
// shows up as a difference (a pseudo-terminal, for one, keeps 8 bits without
// parity whatever it is told). Nothing, with errno set, when they cannot be read.
std::optional<QString> DescribeDeviceSettings(int descriptor);
