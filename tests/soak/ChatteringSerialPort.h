#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QRandomGenerator>

// A router's console held in memory. It keeps what is written for the test to
// compare, answers every carriage return with a prompt, and now and then talks on
// its own: a few lines, or now and again a long listing. What a read hands over is
// kept as well, until the test has looked for it in the log.
class ChatteringSerialPort final : public SerialPort
{
public:
    explicit ChatteringSerialPort(QRandomGenerator &random) : m_random(random) {}

    Outcome setCommPort(int) override { return Outcome::success(); }
    Outcome setSettings(const QString &) override { return Outcome::success(); }
    Outcome setHandshaking(int) override { return Outcome::success(); }
    Outcome setInputLen(int) override { return Outcome::success(); }
    Outcome setOutBufferSize(int) override { return Outcome::success(); }
    Outcome setInBufferSize(int) override { return Outcome::success(); }
    Outcome setPortOpen(bool open) override
    {
        m_open = open;
        return Outcome::success();
    }
    bool isOpen() const override { return m_open; }

    Outcome output(char byte) override;
    Outcome inBufferCount(int &count) override;
    Outcome input(QByteArray &data) override;

    // Called once a second; the console speaks up about once in four minutes.
    void chatter();

    // Everything written since the test last emptied it.
    QByteArray written;
    // Everything read since the test last emptied it.
    QByteArray delivered;
    qint64 bursts = 0;

private:
    char RandomCharacter();

    QRandomGenerator &m_random;
    QByteArray m_waiting;
    bool m_open = false;
};
