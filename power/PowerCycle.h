#pragma once

#include "SerialPort.h"
#include "WatchEvents.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class Clock;
class LogWriter;
class PowerProgram;
struct Options;

// How a power cycle ended.
struct PowerVerdict
{
    bool succeeded = false;
    // The log's sentence on it.
    QString description;
};

// Where the relay's port comes from.
struct PowerPorts
{
    // The console's port and the number it was opened with; a port that is not open
    // serves as none.
    std::function<std::pair<SerialPort *, int>()> console;
    // A port of its own for the relay, not yet opened, for any other number.
    std::function<std::unique_ptr<SerialPort>()> makePort;
};

// Switches the router's power off through a relay, holds it off for PowerHoldSeconds
// and switches it on again, by one of three ways: the relay's frames on its port, a
// modem line asserted for the hold, or a program run with "off" and then "on". The
// hold is counted on the watch's tick, so that cycles, the schedule and the log go on
// meanwhile. Everything runs on the watch's thread, whose sends block it: when the
// relay shares the console's port, its bytes go between the console's sends, never
// within one. A stop during the cycle switches the power on before the stop line.
class PowerCycle final : public WatchEvents
{
public:
    PowerCycle(const Options &options, LogWriter &log, const Clock &clock, PowerPorts ports);
    ~PowerCycle() override;
    PowerCycle(const PowerCycle &) = delete;
    PowerCycle &operator=(const PowerCycle &) = delete;

    // The file the program is named in, which must be trusted as the event programs'.
    void setSettingsFile(const QString &path) { m_settingsFile = path; }

    // Begins a cycle; label starts each of its log entries ("Power test"). False, with
    // an entry, when none may begin: one is under way, the watch is stopping, or the
    // options name no single way to switch the relay. After true, onFinished is told
    // the verdict, also when the cycle fails at once.
    bool Start(const QString &label);
    bool running() const { return m_step != Step::Idle; }
    // The power is off, and stays off until the hold is over.
    bool holding() const { return m_step == Step::Hold; }
    // The watch's once-a-second tick: ends the hold, and stops a program past its time.
    void Tick();

    std::function<void(const PowerVerdict &)> onFinished;

    // The power goes back on now, and the cycle ends, before the stop line.
    void watchStopping() override;

private:
    enum class Step
    {
        Idle,
        Off,
        Hold,
        On,
    };
    enum class Way
    {
        Frames,
        Line,
        Program,
    };

    QString ChosenWay(Way &way) const;
    ModemLine RelayLine() const;
    bool TakePort();
    void SwitchOff();
    void SwitchOn();
    // The frame or the line, at once; false after logging why it failed.
    bool SwitchNow(bool on);
    void StartProgram(bool on);
    void ProgramEnded(bool on, bool succeeded, const QString &why);
    void Fail(const QString &why);
    void Finish();
    QString Where() const;
    void WriteEntry(const QString &text);

    const Options &m_options;
    LogWriter &m_log;
    const Clock &m_clock;
    PowerPorts m_ports;
    QString m_settingsFile;

    Step m_step = Step::Idle;
    Way m_way = Way::Frames;
    QString m_label;
    int m_portNumber = 0;
    SerialPort *m_port = nullptr;
    // The relay's own port, when it is not the console's.
    std::unique_ptr<SerialPort> m_ownPort;
    std::unique_ptr<PowerProgram> m_program;
    qint64 m_holdEndsMs = 0;
    qint64 m_programEndsMs = 0;
    // The first failure of the cycle; empty while all went well.
    QString m_failure;
    bool m_stopping = false;
};
