#include "PowerCycle.h"

#include "Clock.h"
#include "LogWriter.h"
#include "Options.h"
#include "PowerProgram.h"
#include "RelayFrame.h"
#include "SerialPort.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// The relay's own port runs at the console's settings: relay boards on a serial line
// take 9600 baud, 8 bits, no parity.
const QString kRelayLineSettings = QStringLiteral("9600,N,8,1");

// How long a stop waits for the program that switches the power back on: the stop
// line must not wait for long, and an "on" that has not finished by then is killed.
constexpr int kLongestStopWaitMs = 5000;

// A program's process may only go once control is back in the event loop: its end is
// told from within its own signal.
void ReleaseLater(std::unique_ptr<PowerProgram> program)
{
    if (program)
        QTimer::singleShot(0, [spent = program.release()] { delete spent; });
}

} // namespace

PowerCycle::PowerCycle(const Options &options, LogWriter &log, const Clock &clock, PowerPorts ports)
    : m_options(options), m_log(log), m_clock(clock), m_ports(std::move(ports))
{
}

PowerCycle::~PowerCycle() = default;

ModemLine PowerCycle::RelayLine() const
{
    return m_options.powerLine == QStringLiteral("RTS") ? ModemLine::Rts : ModemLine::Dtr;
}

QString PowerCycle::ChosenWay(Way &way) const
{
    const bool frames = !m_options.powerOff.isEmpty() || !m_options.powerOn.isEmpty();
    const bool line = !m_options.powerLine.isEmpty();
    const bool program = !m_options.powerProgram.trimmed().isEmpty();
    const int ways = int(frames) + int(line) + int(program);
    if (ways == 0)
        return QStringLiteral("no way to switch the relay is set: PowerOff and PowerOn, "
                              "PowerLine or PowerProgram");
    // Two ways at once could leave the relay off by the one not undone.
    if (ways > 1)
        return QStringLiteral("more than one way to switch the relay is set; set only one of "
                              "PowerOff and PowerOn, PowerLine or PowerProgram");
    if (frames && (m_options.powerOff.isEmpty() || m_options.powerOn.isEmpty()))
        return QStringLiteral("PowerOff and PowerOn must both be set");
    if (!program && m_options.powerPort == 0)
        return QStringLiteral("PowerPort names no port for the relay");
    way = frames ? Way::Frames : line ? Way::Line : Way::Program;
    return {};
}

bool PowerCycle::Start(const QString &label)
{
    if (m_stopping || running()) {
        WriteEntry(QStringLiteral("%1 not started: %2.")
                       .arg(label, m_stopping ? QStringLiteral("Corvane is stopping")
                                              : QStringLiteral("a power cycle is under way")));
        return false;
    }
    Way way = Way::Frames;
    if (const QString refusal = ChosenWay(way); !refusal.isEmpty()) {
        WriteEntry(QStringLiteral("%1 not started: %2.").arg(label, refusal));
        return false;
    }
    m_label = label;
    m_way = way;
    m_failure.clear();
    m_portNumber = m_options.powerPort;
    m_step = Step::Off;
    if (m_way != Way::Program && !TakePort()) {
        Finish();
        return true;
    }
    SwitchOff();
    return true;
}

bool PowerCycle::TakePort()
{
    const auto [console, consoleNumber] =
        m_ports.console ? m_ports.console() : std::pair<SerialPort *, int>(nullptr, 0);
    if (console != nullptr && consoleNumber == m_portNumber) {
        // The console's port is the link's to open and close.
        if (!console->isOpen()) {
            Fail(QStringLiteral("port %1 is the console's, and it is closed").arg(m_portNumber));
            return false;
        }
        m_port = console;
        return true;
    }
    m_ownPort = m_ports.makePort();
    PendingFailure pending;
    pending.remember(m_ownPort->setCommPort(m_portNumber));
    if (!pending.isPending()) {
        pending.remember(m_ownPort->setSettings(kRelayLineSettings));
        pending.remember(m_ownPort->setHandshaking(0));
        pending.remember(m_ownPort->setPortOpen(true));
    }
    if (pending.isPending()) {
        Fail(QStringLiteral("port %1 did not open: %2")
                 .arg(m_portNumber)
                 .arg(pending.description()));
        m_ownPort.reset();
        return false;
    }
    m_port = m_ownPort.get();
    // Most drivers raise both lines as a port opens; a relay on one of them is off only
    // while the cycle says so.
    if (m_way == Way::Line)
        m_port->setModemLine(RelayLine(), false);
    return true;
}

void PowerCycle::SwitchOff()
{
    if (m_way == Way::Program) {
        StartProgram(false);
        return;
    }
    if (!SwitchNow(false)) {
        // Half a frame may have reached the board: the "on" goes at once.
        SwitchOn();
        return;
    }
    m_step = Step::Hold;
    m_holdEndsMs = m_clock.monotonicMs() + qint64(m_options.powerHoldSeconds) * 1000;
}

void PowerCycle::SwitchOn()
{
    m_step = Step::On;
    if (m_way == Way::Program) {
        StartProgram(true);
        if (!m_stopping || !m_program)
            return;
        const int waitMs = std::min(kLongestStopWaitMs, m_options.eventTimeoutSeconds * 1000);
        if (!m_program->WaitMs(waitMs)) {
            m_program->Kill(QStringLiteral("\"on\" had not finished as Corvane stopped; killed"));
            m_program->WaitMs(1000);
        }
        if (running())
            Finish();
        return;
    }
    SwitchNow(true);
    Finish();
}

bool PowerCycle::SwitchNow(bool on)
{
    const QString which = on ? QStringLiteral("on") : QStringLiteral("off");
    Outcome outcome;
    QString how;
    if (m_way == Way::Frames) {
        const RelayFrame frame = ParseRelayFrame(on ? m_options.powerOn : m_options.powerOff);
        if (!frame.refusal.isEmpty())
            outcome = Outcome::failure(frame.refusal);
        // The whole frame, with no gaps: a board reads a frame as one.
        for (qsizetype index = 0; index < frame.bytes.size() && !outcome.failed(); ++index)
            outcome = m_port->output(frame.bytes[index]);
    } else {
        outcome = m_port->setModemLine(RelayLine(), !on);
        how = QStringLiteral(" (%1 %2)")
                  .arg(m_options.powerLine,
                       on ? QStringLiteral("released") : QStringLiteral("asserted"));
    }
    if (outcome.failed()) {
        Fail(QStringLiteral("%1 through port %2 failed: %3")
                 .arg(which)
                 .arg(m_portNumber)
                 .arg(outcome.description()));
        return false;
    }
    WriteEntry(
        QStringLiteral("%1: %2 through port %3%4.").arg(m_label, which).arg(m_portNumber).arg(how));
    return true;
}

void PowerCycle::StartProgram(bool on)
{
    ReleaseLater(std::move(m_program));
    m_programEndsMs = m_clock.monotonicMs() + qint64(m_options.eventTimeoutSeconds) * 1000;
    m_program = std::make_unique<PowerProgram>(
        m_options.powerProgram, m_settingsFile, on ? QStringLiteral("on") : QStringLiteral("off"),
        [this, on](bool succeeded, const QString &why) { ProgramEnded(on, succeeded, why); });
    m_program->Start();
}

void PowerCycle::ProgramEnded(bool on, bool succeeded, const QString &why)
{
    const QString which = on ? QStringLiteral("on") : QStringLiteral("off");
    if (succeeded)
        WriteEntry(QStringLiteral("%1: %2 by %3.").arg(m_label, which, m_options.powerProgram));
    else
        Fail(QStringLiteral("%1 by %2 failed: %3").arg(which, m_options.powerProgram, why));
    if (on) {
        Finish();
        return;
    }
    // While stopping, the stop itself switches the power on.
    if (m_stopping)
        return;
    if (!succeeded) {
        SwitchOn();
        return;
    }
    m_step = Step::Hold;
    m_holdEndsMs = m_clock.monotonicMs() + qint64(m_options.powerHoldSeconds) * 1000;
}

void PowerCycle::Tick()
{
    const qint64 now = m_clock.monotonicMs();
    if (m_step == Step::Hold && now >= m_holdEndsMs) {
        SwitchOn();
        return;
    }
    if ((m_step == Step::Off || m_step == Step::On) && m_program && now >= m_programEndsMs)
        m_program->Kill(QStringLiteral("it did not finish within %1 seconds; killed")
                            .arg(m_options.eventTimeoutSeconds));
}

void PowerCycle::watchStopping()
{
    m_stopping = true;
    if (m_step == Step::Off && m_program) {
        m_program->Kill(QStringLiteral("\"off\" was cut short as Corvane stopped"));
        m_program->WaitMs(1000);
    }
    if (m_step == Step::Off || m_step == Step::Hold) {
        SwitchOn();
        return;
    }
    if (m_step == Step::On && m_program) {
        if (!m_program->WaitMs(
                std::min(kLongestStopWaitMs, m_options.eventTimeoutSeconds * 1000))) {
            m_program->Kill(QStringLiteral("\"on\" had not finished as Corvane stopped; killed"));
            m_program->WaitMs(1000);
        }
        if (running())
            Finish();
    }
}

void PowerCycle::Fail(const QString &why)
{
    if (m_failure.isEmpty())
        m_failure = why;
}

void PowerCycle::Finish()
{
    if (m_ownPort)
        m_ownPort->setPortOpen(false);
    m_ownPort.reset();
    m_port = nullptr;
    ReleaseLater(std::move(m_program));
    m_step = Step::Idle;
    PowerVerdict verdict;
    verdict.succeeded = m_failure.isEmpty();
    if (!verdict.succeeded)
        verdict.description = QStringLiteral("%1 failed: %2.").arg(m_label, m_failure);
    else if (m_stopping)
        verdict.description =
            QStringLiteral("%1 cut short as Corvane stops; the power is back on.").arg(m_label);
    else
        verdict.description = QStringLiteral("%1 done: the power was off for %2 seconds.")
                                  .arg(m_label)
                                  .arg(m_options.powerHoldSeconds);
    WriteEntry(verdict.description);
    if (onFinished)
        onFinished(verdict);
}

void PowerCycle::WriteEntry(const QString &text)
{
    m_log.WriteLog(text, true, true, kSystemMessage);
}
