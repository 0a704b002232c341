#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <iterator>
#include <optional>

class LogWriter;
class MessageBoxes;
class Settings;

// The keys of the Options section, in the order the start-up report and --check list
// them.
enum class OptionKey
{
    GraceSeconds,
    ResumeGraceSeconds,
    RecoverCycles,
    EchoesPerAddress,
    MaxSendsPerOutage,
    ResendBackoff,
    MaxResendMinutes,
    AckPattern,
    AckSeconds,
    ReopenPort,
    Notify,
    MetricsFile,
    OnOutage,
    OnFailCommand,
    OnAcknowledged,
    OnNoAcknowledgement,
    OnLineBack,
    EventTimeoutSeconds,
    TrayBadge,
    History,
};
inline constexpr OptionKey kOptionKeys[] = {
    OptionKey::GraceSeconds,
    OptionKey::ResumeGraceSeconds,
    OptionKey::RecoverCycles,
    OptionKey::EchoesPerAddress,
    OptionKey::MaxSendsPerOutage,
    OptionKey::ResendBackoff,
    OptionKey::MaxResendMinutes,
    OptionKey::AckPattern,
    OptionKey::AckSeconds,
    OptionKey::ReopenPort,
    OptionKey::Notify,
    OptionKey::MetricsFile,
    OptionKey::OnOutage,
    OptionKey::OnFailCommand,
    OptionKey::OnAcknowledged,
    OptionKey::OnNoAcknowledgement,
    OptionKey::OnLineBack,
    OptionKey::EventTimeoutSeconds,
    OptionKey::TrayBadge,
    OptionKey::History,
};
// A key left out of the list would be neither loaded nor shown.
static_assert(std::size(kOptionKeys) == std::size_t(OptionKey::History) + 1);

// How carefully the failure action is taken. Each default acts as the program did
// before the option existed, so a settings file without the section runs as always.
struct Options
{
    // After start-up, no failure action for this long.
    qint32 graceSeconds = 0;
    // After the machine wakes up, no failure action for this long.
    qint32 resumeGraceSeconds = 0;
    // Once the fail command has gone, the outage ends only after this many answered
    // cycles in a row.
    qint32 recoverCycles = 1;
    // Echoes an address gets within one cycle until it answers.
    qint32 echoesPerAddress = 1;
    // 0: no limit.
    qint32 maxSendsPerOutage = 0;
    // Multiplies the resend delay after each resend.
    double resendBackoff = 1;
    // The most the resend delay may grow to; 0: no cap.
    qint32 maxResendMinutes = 0;
    // Empty: nobody waits for an acknowledgement.
    QString ackPattern;
    qint32 ackSeconds = 30;
    // A port closed by an error is opened again before a send and when its device
    // comes back.
    bool reopenPort = true;
    // Notifications as the line goes down and comes back.
    bool notify = true;
    // The metrics file for node_exporter; empty writes none.
    QString metricsFile;
    // The programs run as the watch tells of an event, each with its arguments as a
    // shell would split them; empty runs nothing.
    QString onOutage;
    QString onFailCommand;
    QString onAcknowledged;
    QString onNoAcknowledgement;
    QString onLineBack;
    // An event program that runs longer is stopped.
    qint32 eventTimeoutSeconds = 30;
    // A corner of the tray icon shows how the line stands.
    bool trayBadge = true;
    // A history of every cycle and outage, in a file of its own.
    bool history = true;
};

// The program setting read by each event, in the order of kOptionKeys.
inline constexpr OptionKey kEventProgramKeys[] = {
    OptionKey::OnOutage,       OptionKey::OnFailCommand,
    OptionKey::OnAcknowledged, OptionKey::OnNoAcknowledgement,
    OptionKey::OnLineBack,
};

bool IsEventProgram(OptionKey key);
QString OptionKeyName(OptionKey key);
// The value as it is stored and shown.
QString OptionText(const Options &options, OptionKey key);
// What the check says when it refuses the text for the key, or nothing when it takes
// it. The one rule for an entry in the window and a value stored by hand.
std::optional<QString> OptionRefusal(OptionKey key, const QString &text);
// Takes a text that OptionRefusal accepts.
void SetOption(Options &options, OptionKey key, const QString &text);

// Start-up: the stored options. A value its check refuses keeps the default and is
// reported, all such values at once, in one log entry and one "Settings" box.
Options LoadOptions(Settings &settings, LogWriter &log, MessageBoxes &boxes);
