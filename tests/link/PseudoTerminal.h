#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

// A pseudo-terminal pair standing in for the router: the link opens the slave as
// its serial device, the test plays the router on the master. The test keeps a
// slave descriptor of its own so that the master stays usable while the link has
// the port closed.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        char name[256] = {};
        int master = -1;
        if (::openpty(&master, &m_slave, name, nullptr, nullptr) == 0) {
            m_master.store(master);
            m_slavePath = QString::fromLocal8Bit(name);
        }
    }
    ~PseudoTerminal()
    {
        hangUp();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }
    int slave() const { return m_slave; }

    bool send(const QByteArray &bytes)
    {
        const int master = m_master.load();
        return master >= 0 && ::write(master, bytes.constData(), bytes.size()) == bytes.size();
    }
    void hangUp()
    {
        const int master = m_master.exchange(-1);
        if (master >= 0)
            ::close(master);
    }

    // Waits up to timeoutMs for one byte from the link.
    bool waitForByte(int timeoutMs, char &byte)
    {
        const int master = m_master.load();
        pollfd watched{master, POLLIN, 0};
        return master >= 0 && ::poll(&watched, 1, timeoutMs) > 0 && (watched.revents & POLLIN) &&
               ::read(master, &byte, 1) == 1;
    }
    // What reached the router: everything until quietMs pass without a byte.
    QByteArray receive(int quietMs = 150)
    {
        QByteArray bytes;
        for (char byte = 0; waitForByte(quietMs, byte);)
            bytes.append(byte);
        return bytes;
    }
    // Everything written to the line so far, and nothing more. A marker written behind
    // it through the test's own slave descriptor comes out last, so no quiet time has to
    // be guessed at; timeoutMs bounds only a line that has stopped passing bytes on.
    QByteArray drain(int timeoutMs = 10000)
    {
        static const QByteArray kMarker = QByteArrayLiteral("\xff<drained>\xff");
        if (::write(m_slave, kMarker.constData(), kMarker.size()) != kMarker.size())
            return QByteArrayLiteral("<marker not written>");
        QByteArray bytes;
        for (char byte = 0; !bytes.endsWith(kMarker);) {
            if (!waitForByte(timeoutMs, byte))
                return bytes + "<marker lost>";
            bytes.append(byte);
        }
        bytes.chop(kMarker.size());
        return bytes;
    }

private:
    std::atomic<int> m_master{-1};
    int m_slave = -1;
    QString m_slavePath;
};
