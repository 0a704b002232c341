#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <iterator>
#include <optional>

class LogWriter;
class MessageBoxes;
class Settings;

// The keys of the Options section, in the order the start-up report and --check list
// them. Each has one row in OptionTable.cpp, which says all there is to know of it.
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
    LossWindowCycles,
    FailLossPercent,
    FailLatencyMs,
    RecoverLossPercent,
    RecoverLatencyMs,
    FailingPeriod,
    Interface,
    SourceAddress,
    PowerPort,
    PowerOff,
    PowerOn,
    PowerLine,
    PowerProgram,
    PowerHoldSeconds,
    OwnLinkGuard,
    // Not a key: how many there are, which the table is checked against as it compiles.
    Count,
};

// How carefully the failure action is taken. Each default comes from the key's row,
// and acts as the program did before the option existed, so a settings file without
// the section runs as always.
struct Options
{
    Options();

    // After start-up, no failure action for this long.
    qint32 graceSeconds{};
    // After the machine wakes up, no failure action for this long.
    qint32 resumeGraceSeconds{};
    // Once the fail command has gone, the outage ends only after this many answered
    // cycles in a row.
    qint32 recoverCycles{};
    // Echoes an address gets within one cycle until it answers.
    qint32 echoesPerAddress{};
    // 0: no limit.
    qint32 maxSendsPerOutage{};
    // Multiplies the resend delay after each resend.
    double resendBackoff{};
    // The most the resend delay may grow to; 0: no cap.
    qint32 maxResendMinutes{};
    // Empty: nobody waits for an acknowledgement.
    QString ackPattern;
    qint32 ackSeconds{};
    // A port closed by an error is opened again before a send and when its device
    // comes back.
    bool reopenPort{};
    // Notifications as the line goes down and comes back.
    bool notify{};
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
    qint32 eventTimeoutSeconds{};
    // A corner of the tray icon shows how the line stands.
    bool trayBadge{};
    // A history of every cycle and outage, in a file of its own.
    bool history{};
    // How many of an address's last cycles its loss and median round trip are judged
    // over.
    qint32 lossWindowCycles{};
    // An address passes a cycle only below these; 0: the limit is off, and with both
    // off an address passes when it answered in the cycle.
    qint32 failLossPercent{};
    qint32 failLatencyMs{};
    // During an outage a cycle counts as answered only at or below these; 0: the fail
    // limit's own value.
    qint32 recoverLossPercent{};
    qint32 recoverLatencyMs{};
    // The ping period while an outage lasts; 0: the Period field's.
    qint32 failingPeriod{};
    // Where every echo must leave by, so that a backup path that also reaches the
    // addresses never answers for the watched line; empty: as the routing table chooses.
    QString interfaceName;
    QString sourceAddress;
    // The relay that cycles the router's power: the port it hangs on (0: none), and
    // one way to switch it: the frames that switch it off and on, a modem line held
    // asserted while the power is off, or a program run with "off" and then "on".
    qint32 powerPort{};
    QString powerOff;
    QString powerOn;
    QString powerLine;
    QString powerProgram;
    // How long the power stays off.
    qint32 powerHoldSeconds{};
    // A fail command waits while the interface towards the primary address has no
    // carrier or no address: a reset cannot mend our own cable or card.
    bool ownLinkGuard{};
};

// The program setting read by each event, in the order of the keys.
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
// What runs in place of a refused value: its default, said as a sentence.
QString OptionDefaultInUse(OptionKey key);

// One stored option as start-up reads it: an accepted text is set in the options,
// while a key never stored, or one refused, leaves the default there.
struct StoredOption
{
    // Nothing when the key was never written.
    std::optional<QString> text;
    std::optional<QString> refusal;
};
StoredOption ReadStoredOption(Settings &settings, OptionKey key, Options &options);

// A "Key=value: ..." line for each key of the section that no row reads, with the
// nearest key that one does.
QStringList UnknownOptionLines(Settings &settings);

// Start-up: the stored options. A value its check refuses keeps the default and is
// reported, all such values at once, in one log entry and one "Settings" box.
Options LoadOptions(Settings &settings, LogWriter &log, MessageBoxes &boxes);
