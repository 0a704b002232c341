#pragma once

#include "BusyPointer.h"
#include "CaretNotation.h"
#include "CommandSender.h"
#include "EchoFacility.h"
#include "EchoProbe.h"
#include "FakeClock.h"
#include "LogWriter.h"
#include "SerialPort.h"
#include "TextFile.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

#include <array>
#include <utility>

#include <malloc.h>
#include <unistd.h>

// The sanitizer's allocator, when the build has one, counts what it hands out; without
// it the symbol stays unresolved and glibc's arenas are asked instead.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

inline qint64 HeapBytesInUse()
{
    if (__sanitizer_get_current_allocated_bytes != nullptr)
        return qint64(__sanitizer_get_current_allocated_bytes());
    // Large blocks are mapped apart from the arenas and counted separately.
    const struct mallinfo2 usage = mallinfo2();
    return qint64(usage.uordblks) + qint64(usage.hblkhd);
}

inline qint64 ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    // Total size, then resident size, in pages.
    const QList<QByteArray> fields =
        statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ') : QList<QByteArray>();
    return fields.size() < 2 ? -1 : fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// A router's console held in memory. It answers every carriage return with a prompt
// and now and then talks on its own: a few lines, or now and again a long listing.
// What is written and what a read hands over are kept until the test has compared them.
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
    Outcome output(char byte) override
    {
        if (!m_open)
            return Outcome::failure(QStringLiteral("The port is not open."));
        written.append(byte);
        if (byte == '\r')
            m_waiting.append("\r\nRouter>");
        return Outcome::success();
    }
    Outcome inBufferCount(int &count) override
    {
        count = m_open ? int(m_waiting.size()) : 0;
        return Outcome::success();
    }
    Outcome input(QByteArray &data) override
    {
        data = m_waiting;
        delivered.append(std::exchange(m_waiting, {}));
        return Outcome::success();
    }

    // Called once a second; the console speaks up about once in four minutes.
    void chatter()
    {
        if (m_random.bounded(240) != 0)
            return;
        ++bursts;
        const int lines =
            m_random.bounded(50) == 0 ? 200 + m_random.bounded(300) : 1 + m_random.bounded(6);
        if (m_random.bounded(2) == 0)
            m_waiting.append("\r\n");
        for (int line = 0; line < lines; ++line) {
            for (int position = m_random.bounded(72); position > 0; --position)
                m_waiting.append(RandomCharacter());
            m_waiting.append("\r\n");
        }
        // A burst ends in a prompt, never in a digit, so that the log's next header
        // cannot be read as starting inside the router's text.
        m_waiting.append(m_random.bounded(2) == 0 ? "Router>" : "Router#");
    }

    QByteArray written;
    QByteArray delivered;
    qint64 bursts = 0;

private:
    char RandomCharacter()
    {
        // Mostly plain text, with the odd control character and Latin-1 letter that line
        // noise or a terminal escape brings. Brackets are left out: the log's headers are
        // told apart by their bracketed category, and the router must not fake one.
        static constexpr std::array<char, 5> kControls = {'\0', '\a', '\b', '\t', '\x1b'};
        const int pick = m_random.bounded(100);
        if (pick == 0)
            return kControls[m_random.bounded(int(kControls.size()))];
        if (pick == 1)
            return char(0xA0 + m_random.bounded(0x60));
        char character = '[';
        while (character == '[' || character == ']')
            character = char(' ' + m_random.bounded(95));
        return character;
    }

    QRandomGenerator &m_random;
    QByteArray m_waiting;
    bool m_open = false;
};

// Echo answers from the state of a simulated network. An echo that gets no answer
// holds the thread for its whole time-out, as a real one does, so the ticks that
// fall due meanwhile are lost.
class OutageEcho final : public EchoFacility
{
public:
    enum class Reach
    {
        Both,
        SecondaryOnly,
        Neither,
    };

    OutageEcho(FakeClock &clock, const IpAddress &primary) : m_clock(clock), m_primary(primary) {}

    EchoResult echo(const IpAddress &destination, const QByteArray &, quint32 timeoutMs) override
    {
        constexpr quint32 kRoundTripMs = 14;
        if (reach == Reach::Neither ||
            (reach == Reach::SecondaryOnly && destination == m_primary)) {
            m_clock.advanceMs(timeoutMs);
            return EchoResult{kEchoTimedOut, 0};
        }
        m_clock.advanceMs(kRoundTripMs);
        return EchoResult{kEchoSuccess, kRoundTripMs};
    }
    // The soak's addresses are all literals.
    NameLookup lookUp(const QByteArray &, quint32) override { return {}; }

    Reach reach = Reach::Both;

private:
    FakeClock &m_clock;
    IpAddress m_primary;
};

// Stands between the engine and schedule and the real log and link. It notes the
// program's own entries of the current tick, and the bytes each command should put on
// the wire, so that none can go missing or double on the way to the file or the port.
class Tap final : public LogWriter, public CommandSender
{
public:
    Tap(LogWriter &log, CommandSender &sender, const FakeClock &clock)
        : m_log(log), m_sender(sender), m_clock(clock)
    {
    }

    void WriteLog(const QString &message, bool stamp, bool spaced, const QString &category) override
    {
        if (category == kSystemMessage) {
            tick.append({message, m_clock.now().toMSecsSinceEpoch()});
            ++written[message];
        }
        m_log.WriteLog(message, stamp, spaced, category);
    }
    void WriteReceived(const QByteArray &bytes, bool stamp) override
    {
        m_log.WriteReceived(bytes, stamp);
    }
    void SendCommand(const QString &command) override
    {
        for (const CommandByte &next : DecodeCommand(command))
            expectedBytes.append(next.byte);
        m_sender.SendCommand(command);
    }

    // The entries of the tick, each with the time it was written.
    QList<std::pair<QString, qint64>> tick;
    QHash<QString, qint64> written;
    QByteArray expectedBytes;

private:
    LogWriter &m_log;
    CommandSender &m_sender;
    const FakeClock &m_clock;
};

class IdleDesktop final : public BusyPointer, public TextEditor
{
public:
    void setBusy(bool) override {}
    Outcome open(const QString &) override { return Outcome::success(); }
};
