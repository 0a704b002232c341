#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

// The folders where a serial port's lock file may be, in the order Qt's serial port
// looks for one.
const QStringList &SerialLockFolders();

// Why the port could not be opened, in words that say how to put it right: a lock
// file left by another program is named with its owner and PID, whether that
// process still lives, and the command that clears it; a device the user may not
// open names the group to join where joining it would help, else its owner and mode.
// Other failures keep the driver's reason.
QString PortOpenFailureText(const QString &portName, const QString &device,
                            QSerialPort::SerialPortError error, const QString &reason,
                            const QStringList &lockFolders = SerialLockFolders());
