#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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

private:
    std::atomic<int> m_master{-1};
    int m_slave = -1;
    QString m_slavePath;
};

using SteadyTime = std::chrono::steady_clock::time_point;

// Runs send on this thread while another notes when each byte reaches the router.
// After hangUpAfter bytes (when given) it hangs up, as a router that goes away in
// the middle.
template <typename Send>
std::vector<SteadyTime> RecordArrivals(PseudoTerminal &terminal, Send send, int hangUpAfter = -1)
{
    std::vector<SteadyTime> arrivals;
    std::atomic<bool> started{false};
    std::atomic<bool> stop{false};
    std::thread router([&] {
        started.store(true);
        for (char byte = 0; !stop.load();) {
            if (!terminal.waitForByte(20, byte))
                continue;
            arrivals.push_back(std::chrono::steady_clock::now());
            if (static_cast<int>(arrivals.size()) == hangUpAfter) {
                terminal.hangUp();
                return;
            }
        }
    });
    // A byte that came before the thread watched would be timed late.
    while (!started.load())
        std::this_thread::yield();
    send();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.store(true);
    router.join();
    return arrivals;
}
