#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class LogWriter;
class MessageBoxes;
class Settings;

// The keys of the Options section, in the order the Options window shows them.
enum class OptionKey
{
    GraceSeconds,
    MaxSendsPerOutage,
    ResendBackoff,
    MaxResendMinutes,
    AckPattern,
    AckSeconds,
    ReopenPort,
    Notify,
    MetricsFile,
    TrayBadge,
};
inline constexpr OptionKey kOptionKeys[] = {
    OptionKey::GraceSeconds,  OptionKey::MaxSendsPerOutage,
    OptionKey::ResendBackoff, OptionKey::MaxResendMinutes,
    OptionKey::AckPattern,    OptionKey::AckSeconds,
    OptionKey::ReopenPort,    OptionKey::Notify,
    OptionKey::MetricsFile,   OptionKey::TrayBadge,
};

// How carefully the failure action is taken. Each default acts as the program did
// before the option existed, so a settings file without the section runs as always.
struct Options
{
    // After start-up, no failure action for this long.
    qint32 graceSeconds = 0;
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
    // A corner of the tray icon shows how the line stands.
    bool trayBadge = true;
};

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
