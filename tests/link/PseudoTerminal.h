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
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }
    int slave() const { return m_slave; }

    // The router sends.
    bool send(const QByteArray &bytes)
    {
        const int master = m_master.load();
        return master >= 0 && ::write(master, bytes.constData(), bytes.size()) == bytes.size();
    }

    // The router hangs up.
    void closeMaster()
    {
        const int master = m_master.exchange(-1);
        if (master >= 0)
            ::close(master);
    }

    // What reached the router: reads until quietMs pass without a byte.
    QByteArray receive(int quietMs = 150)
    {
        QByteArray bytes;
        Arrival arrival;
        while (waitForByte(quietMs, arrival))
            bytes.append(arrival.byte);
        return bytes;
    }

    struct Arrival
    {
        char byte = 0;
        std::chrono::steady_clock::time_point at{};
    };

    // Waits up to timeoutMs for one byte from the link and notes when it came.
    bool waitForByte(int timeoutMs, Arrival &arrival)
    {
        const int master = m_master.load();
        if (master < 0)
            return false;
        pollfd watched{master, POLLIN, 0};
        if (::poll(&watched, 1, timeoutMs) <= 0 || !(watched.revents & POLLIN))
            return false;
        arrival.at = std::chrono::steady_clock::now();
        return ::read(master, &arrival.byte, 1) == 1;
    }

private:
    std::atomic<int> m_master{-1};
    int m_slave = -1;
    QString m_slavePath;
};

// Records, on a thread of its own, every byte the router receives and when, while
// the test's thread is held up by a paced send. After hangUpAfter bytes (when
// given) it closes the master, as a router that goes away in the middle.
class RouterRecorder
{
public:
    explicit RouterRecorder(PseudoTerminal &terminal, int hangUpAfter = -1)
        : m_thread([this, &terminal, hangUpAfter] {
              PseudoTerminal::Arrival arrival;
              m_started.store(true);
              while (!m_stop.load()) {
                  if (!terminal.waitForByte(20, arrival))
                      continue;
                  m_arrivals.push_back(arrival);
                  if (static_cast<int>(m_arrivals.size()) == hangUpAfter) {
                      terminal.closeMaster();
                      return;
                  }
              }
          })
    {
        // A byte that came before the thread watched would be timed late.
        while (!m_started.load())
            std::this_thread::yield();
    }
    ~RouterRecorder() { stop(); }

    // Waits for the last bytes, then ends the thread; the arrivals are then stable.
    const std::vector<PseudoTerminal::Arrival> &stop()
    {
        if (m_thread.joinable()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_stop.store(true);
            m_thread.join();
        }
        return m_arrivals;
    }

private:
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stop{false};
    std::vector<PseudoTerminal::Arrival> m_arrivals;
    std::thread m_thread;
};
