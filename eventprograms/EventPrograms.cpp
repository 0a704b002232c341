#include "EventPrograms.h"

#include "Clock.h"
#include "LogWriter.h"
#include "OpenProgramStart.h"
#include "ProgramLookup.h"
#include "ProgramOutput.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr qsizetype kMostOutput = 2048;

QString Seconds(qint32 seconds)
{
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

// A share as the log's reason writes it: whole figures as they are, others to a tenth.
QString PercentText(double percent)
{
    return QString::number(percent, 'f', percent == double(qint64(percent)) ? 0 : 1);
}

// An environment string ends at its first NUL, so one inside a value (an address typed
// with it) would cut the rest off unseen: it goes as U+FFFD instead. Every other
// character, line breaks and escapes included, reaches the program as it is.
QString EnvironmentValue(QString value)
{
    return value.replace(QChar(u'\0'), QChar::ReplacementCharacter);
}

// The figures of an address's judging window, where a limit gave it some.
void AddWindowFigures(std::vector<std::pair<QString, QString>> &variables, const char *which,
                      const ProbeReport *probe)
{
    if (probe == nullptr)
        return;
    if (probe->lossPercent)
        variables.emplace_back(QStringLiteral("CORVANE_LOSS_PERCENT_") + QLatin1String(which),
                               PercentText(*probe->lossPercent));
    if (probe->medianMs)
        variables.emplace_back(QStringLiteral("CORVANE_MEDIAN_MS_") + QLatin1String(which),
                               QString::number(*probe->medianMs));
}

} // namespace

// One program under way: its process, the start of its output, and the timers that
// stop it.
struct EventPrograms::Run
{
    std::unique_ptr<QProcess> process;
    QByteArray output;
    bool outputCut = false;
    bool timedOut = false;
    // Its process group, which outlives the program while anything it started runs.
    pid_t group = 0;
    // Told to end by a signal, by the time-out or by the watch's stop.
    bool stopped = false;
    QTimer deadline;
    QTimer killLater;
};

EventPrograms::EventPrograms(const Options &options, LogWriter &log, const Clock &clock,
                             int killDelayMs)
    : m_options(options), m_log(log), m_clock(clock), m_killDelayMs(killDelayMs)
{
}

EventPrograms::~EventPrograms()
{
    // Nothing is logged any more; a program left running must not outlive us.
    for (std::unique_ptr<Run> &run : m_runs) {
        if (!run)
            continue;
        run->process->disconnect();
        Terminate(*run, SIGKILL);
        run->process->waitForFinished(1000);
    }
}

int EventPrograms::running() const
{
    int count = 0;
    for (const std::unique_ptr<Run> &run : m_runs)
        count += run ? 1 : 0;
    return count;
}

void EventPrograms::outageStarted()
{
    m_outageStarted = m_clock.now().toUTC();
    m_outage.started(m_clock.monotonicMs());
    m_failingCycles = 0;
    m_sends = 0;
    m_consoleLine.clear();
    // Told with the cycle that follows, which names the addresses and their results.
    m_outageToTell = true;
}

void EventPrograms::outageEnded()
{
    m_outage.ended(m_clock.monotonicMs());
    m_lineBackToTell = true;
}

void EventPrograms::cycleDone(const CycleReport &report)
{
    m_outage.cycleDone(report.answered, m_clock.monotonicMs());
    m_lastCycle = report;
    if (report.secondary)
        m_secondaryAddress = report.secondary->address;
    // A held cycle neither failed nor answered.
    if (!report.answered && !report.held)
        ++m_failingCycles;
    if (std::exchange(m_outageToTell, false))
        RunProgram(OptionKey::OnOutage);
    if (std::exchange(m_lineBackToTell, false))
        RunProgram(OptionKey::OnLineBack);
}

void EventPrograms::commandSent(CommandKind kind, const QString &)
{
    if (kind != CommandKind::Fail)
        return;
    ++m_sends;
    RunProgram(OptionKey::OnFailCommand);
}

void EventPrograms::acknowledgement(bool acknowledged, const QString &line)
{
    m_consoleLine = line;
    RunProgram(acknowledged ? OptionKey::OnAcknowledged : OptionKey::OnNoAcknowledgement);
}

void EventPrograms::RunProgram(OptionKey key)
{
    const QString commandLine = OptionText(m_options, key);
    if (m_stopped || commandLine.trimmed().isEmpty())
        return;
    const auto found = std::find(std::begin(kEventProgramKeys), std::end(kEventProgramKeys), key);
    const auto index = static_cast<std::size_t>(found - std::begin(kEventProgramKeys));
    if (m_runs[index]) {
        WriteEntry(QStringLiteral("%1 skipped: the previous run has not finished.")
                       .arg(OptionKeyName(key)));
        return;
    }
    Start(index, key, commandLine);
}

void EventPrograms::Start(std::size_t index, OptionKey key, const QString &commandLine)
{
    const QString name = OptionKeyName(key);
    ProgramToRun found = FindProgram(commandLine, m_settingsFile);
    if (!found.refusal.isEmpty()) {
        WriteEntry(QStringLiteral("%1 could not be started: %2.").arg(name, found.refusal));
        return;
    }

    const bool outageKnown = m_outageStarted.isValid();
    const qint64 outageMs = m_outage.lengthMs(m_clock.monotonicMs());
    const std::optional<ProbeReport> &secondary = m_lastCycle.secondary;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::vector<std::pair<QString, QString>> variables = {
        {QStringLiteral("CORVANE_EVENT"), name},
        {QStringLiteral("CORVANE_OUTAGE_STARTED"),
         outageKnown ? m_outageStarted.toString(Qt::ISODate) : QString()},
        {QStringLiteral("CORVANE_OUTAGE_SECONDS"),
         outageKnown ? QString::number(outageMs / 1000) : QString()},
        {QStringLiteral("CORVANE_FAILING_CYCLES"), QString::number(m_failingCycles)},
        {QStringLiteral("CORVANE_SENDS"), QString::number(m_sends)},
        {QStringLiteral("CORVANE_ADDRESS_PRIMARY"), m_lastCycle.primary.address},
        {QStringLiteral("CORVANE_STATUS_PRIMARY"), QString::number(m_lastCycle.primary.status)},
        {QStringLiteral("CORVANE_ADDRESS_SECONDARY"), m_secondaryAddress},
        {QStringLiteral("CORVANE_STATUS_SECONDARY"),
         secondary ? QString::number(secondary->status) : QString()},
        {QStringLiteral("CORVANE_CONSOLE_LINE"), m_consoleLine},
        {QStringLiteral("CORVANE_CONFIG"), m_settingsFile},
    };
    // Only where a loss or round-trip limit gave them, so that a program can tell "no
    // limit" from an empty value.
    if (!m_lastCycle.reason.isEmpty())
        variables.emplace_back(QStringLiteral("CORVANE_REASON"), m_lastCycle.reason);
    AddWindowFigures(variables, "PRIMARY", &m_lastCycle.primary);
    AddWindowFigures(variables, "SECONDARY", secondary ? &*secondary : nullptr);
    for (const auto &[variable, value] : variables)
        environment.insert(variable, EnvironmentValue(value));

    auto run = std::make_unique<Run>();
    run->process = std::make_unique<QProcess>();
    QProcess &process = *run->process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);

    Run &started = *run;
    QObject::connect(&process, &QProcess::readyRead, &process, [&started] {
        const QByteArray bytes = started.process->readAll();
        // The rest is read and dropped, so that a chatty program never blocks on a
        // full pipe.
        const qsizetype room = kMostOutput - started.output.size();
        started.output.append(bytes.left(room));
        started.outputCut = started.outputCut || bytes.size() > room;
    });
    QObject::connect(
        &process, &QProcess::finished, &process,
        [this, index, name, &started](int exitCode, QProcess::ExitStatus status) {
            const QString how = status == QProcess::NormalExit
                                    ? QStringLiteral("exit %1").arg(exitCode)
                                    : QStringLiteral("ended by signal %1").arg(exitCode);
            Finished(index, started.timedOut
                                ? QStringLiteral("%1 did not finish within %2; stopped.")
                                      .arg(name, Seconds(started.deadline.interval() / 1000))
                                : QStringLiteral("Ran %1: %2.").arg(name, how));
        });
    QObject::connect(&process, &QProcess::errorOccurred, &process,
                     [this, index, name, &started](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             Finished(index, QStringLiteral("%1 could not be started: %2.")
                                                 .arg(name, started.process->errorString()));
                     });

    run->deadline.setSingleShot(true);
    run->deadline.setInterval(m_options.eventTimeoutSeconds * 1000);
    QObject::connect(&run->deadline, &QTimer::timeout, &process, [this, &started] {
        started.timedOut = true;
        Terminate(started, SIGTERM);
        started.killLater.start();
    });
    run->killLater.setSingleShot(true);
    run->killLater.setInterval(m_killDelayMs);
    QObject::connect(&run->killLater, &QTimer::timeout, &process,
                     [this, &started] { Terminate(started, SIGKILL); });

    m_runs[index] = std::move(run);
    StartOpenProgram(process, std::move(found.file), found.program, found.arguments, environment);
    if (m_runs[index]) {
        m_runs[index]->group = static_cast<pid_t>(process.processId());
        // Also from here, in case a stop comes before the child got as far as its own.
        ::setpgid(m_runs[index]->group, m_runs[index]->group);
        m_runs[index]->deadline.start();
    }
}

void EventPrograms::Terminate(Run &run, int signal)
{
    run.stopped = true;
    if (run.process->processId() > 0 && run.group > 0)
        ::kill(-run.group, signal);
}

void EventPrograms::Finished(std::size_t index, const QString &verdict)
{
    std::unique_ptr<Run> done = std::move(m_runs[index]);
    if (!done)
        return;
    done->output.append(done->process->readAll().left(kMostOutput - done->output.size()));
    // A program told to end may have ended alone, leaving what it started (a child that
    // ignores SIGTERM) in its group; its end is the last we hear of the group, so the
    // rest is killed now rather than left to run unwatched. The group's number is not
    // handed out again while anything is left in it.
    if (done->stopped && done->group > 0)
        ::kill(-done->group, SIGKILL);
    const QString output = ProgramOutputForLog(done->output, done->outputCut);
    WriteEntry(output.isEmpty() ? verdict : verdict + QStringLiteral("\r\n") + output);
    // Its own signal is still being delivered.
    done->process.release()->deleteLater();
}

void EventPrograms::watchStopping()
{
    m_stopped = true;
    for (std::unique_ptr<Run> &run : m_runs) {
        if (run)
            Terminate(*run, SIGTERM);
    }
    // All were told at once, so the stop waits for the slowest, not for their sum.
    QDeadlineTimer deadline(m_killDelayMs);
    for (std::unique_ptr<Run> &run : m_runs) {
        if (!run)
            continue;
        // Each wait ends with the program's entry, written by its finished handler,
        // which also empties run.
        QProcess *process = run->process.get();
        if (!process->waitForFinished(static_cast<int>(deadline.remainingTime())) && run) {
            Terminate(*run, SIGKILL);
            process->waitForFinished(1000);
        }
    }
}

void EventPrograms::WriteEntry(const QString &text)
{
    m_log.WriteLog(text, true, true, kSystemMessage);
}
