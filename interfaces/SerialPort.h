#pragma once

#include "Outcome.h"

#include <QByteArray>
#include <QString>

// The modem control lines a relay can hang on.
enum class ModemLine
{
    Dtr,
    Rts,
};

// The serial line to the router's console. Every operation may fail with a
// description; the caller decides when to report it.
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    // The line configuration, applied in this order before an open. Setting the
    // port number also finds its device, which later opens use until the number is
    // set again; the rest may be set anew before every open.
    virtual Outcome setCommPort(int portNumber) = 0;
    virtual Outcome setSettings(const QString &settings) = 0; // "9600,N,8,1"
    virtual Outcome setHandshaking(int mode) = 0;             // 0 = none
    virtual Outcome setInputLen(int length) = 0;              // 0 = read all that waits
    virtual Outcome setOutBufferSize(int bytes) = 0;
    virtual Outcome setInBufferSize(int bytes) = 0;
    virtual Outcome setPortOpen(bool open) = 0;

    virtual bool isOpen() const = 0;
    // Whether the device found for the port number is there, so that a port lost
    // with its device (a USB adapter pulled) can open again once it is back. A port
    // without a device node of its own never goes away.
    virtual bool devicePresent() const { return true; }
    // Writes one byte and does not return before it has left the process.
    virtual Outcome output(char byte) = 0;
    // Asserts or releases a modem control line of the open port, for a relay wired to
    // it; a port that has none says so.
    virtual Outcome setModemLine(ModemLine /*line*/, bool /*asserted*/)
    {
        return Outcome::failure(QStringLiteral("This port has no modem control lines."));
    }
    // Bytes waiting to be read; 0 for a closed port.
    virtual Outcome inBufferCount(int &count) = 0;
    // Reads and removes what is waiting; an implementation may hand over a large
    // amount in parts, over several calls.
    virtual Outcome input(QByteArray &data) = 0;
};
