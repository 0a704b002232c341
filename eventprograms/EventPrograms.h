#pragma once

#include "Options.h"
#include "OutageSpan.h"
#include "WatchEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <array>
#include <iterator>
#include <memory>
#include <optional>

class Clock;
class LogWriter;
class QProcess;

// Runs the user's program for an event of the watch: the outage, each fail-command
// send, the router's verdict on it and the line's return. A program is started
// directly, never through a shell, with what happened in its environment; the watch
// never waits for it. One program per event runs at a time, and one that runs too
// long is stopped. Its exit and the start of its output go into the log as one entry.
class EventPrograms final : public WatchEvents
{
public:
    // A program still running killDelayMs after its SIGTERM is killed.
    EventPrograms(const Options &options, LogWriter &log, const Clock &clock,
                  int killDelayMs = 5000);
    ~EventPrograms() override;
    EventPrograms(const EventPrograms &) = delete;
    EventPrograms &operator=(const EventPrograms &) = delete;

    // The file the programs are named in: a program runs only when both belong to the
    // user or root and nobody else may write them.
    void setSettingsFile(const QString &path) { m_settingsFile = path; }

    void cycleDone(const CycleReport &report) override;
    void outageStarted() override;
    void outageEnded() override;
    void commandSent(CommandKind kind, const QString &command) override;
    void acknowledgement(bool acknowledged, const QString &line) override;
    // Ends the programs that still run, each with its entry, before the stop line.
    void watchStopping() override;
    void watchStopped() override { m_stopped = true; }

    // How many programs run now.
    int running() const;

private:
    struct Run;
    static constexpr std::size_t kEvents = std::size(kEventProgramKeys);

    void RunProgram(OptionKey key);
    void Start(std::size_t index, OptionKey key, const QString &commandLine);
    void Finished(std::size_t index, const QString &verdict);
    void Terminate(Run &run, int signal);
    void WriteEntry(const QString &text);

    const Options &m_options;
    LogWriter &m_log;
    const Clock &m_clock;
    QString m_settingsFile;
    const int m_killDelayMs;
    bool m_stopped = false;
    std::array<std::unique_ptr<Run>, kEvents> m_runs;

    // What the environment tells of the outage and the cycle.
    CycleReport m_lastCycle;
    // The secondary address as last probed: a cycle whose primary answered has none.
    QString m_secondaryAddress;
    bool m_outageToTell = false;
    bool m_lineBackToTell = false;
    QDateTime m_outageStarted;
    // Its length as the ledger and the notification tell it.
    OutageSpan m_outage;
    qint32 m_failingCycles = 0;
    qint32 m_sends = 0;
    QString m_consoleLine;
};
