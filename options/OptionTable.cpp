#include "OptionTable.h"

#include "CommandWords.h"
#include "RelayFrame.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <arpa/inet.h>

#include <iterator>

namespace {

std::optional<QString> PatternRefusal(const QString &text)
{
    const QRegularExpression pattern(text);
    if (pattern.isValid())
        return std::nullopt;
    return QStringLiteral("The pattern is not a valid regular expression: %1 (at character %2).")
        .arg(pattern.errorString())
        .arg(pattern.patternErrorOffset() + 1);
}

// The file is replaced whole by renaming a new one over it, which would turn a device,
// a FIFO or a folder (or the one a symbolic link names) into a regular file: none of
// them is ours to replace. A relative path would depend on the folder Corvane was
// started in, which under a service manager is "/".
std::optional<QString> MetricsFileRefusal(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    if (QDir::isRelativePath(path))
        return QStringLiteral("An absolute path is required, such as "
                              "/var/lib/prometheus/node-exporter/corvane.prom.");
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("A regular file is required; %1 is a folder, a device or a FIFO.")
            .arg(QDir::toNativeSeparators(path));
    return std::nullopt;
}

// Only the words are checked here. The program is looked for, and its owner checked,
// each time it is to run: it may be installed or fixed after the settings were written.
std::optional<QString> ProgramRefusal(const QString &text)
{
    QString refusal = SplitCommandWords(text).refusal;
    return refusal.isEmpty() ? std::nullopt : std::optional<QString>(std::move(refusal));
}

std::optional<QString> RelayFrameRefusal(const QString &text)
{
    QString refusal = ParseRelayFrame(text).refusal;
    return refusal.isEmpty() ? std::nullopt : std::optional<QString>(std::move(refusal));
}

// Written as the lines are named on a data sheet, so that "dtr" or "Dtr " is not read
// as a line the user may not have meant.
std::optional<QString> ModemLineRefusal(const QString &text)
{
    if (text.isEmpty() || text == QStringLiteral("DTR") || text == QStringLiteral("RTS"))
        return std::nullopt;
    return QStringLiteral("DTR or RTS is required, in capitals.");
}

// A network interface's name as the kernel takes it: at most 15 bytes, and neither a
// slash nor white space, which the kernel's own names never hold. A NUL would end the
// name there and bind to another interface than the one written.
std::optional<QString> InterfaceRefusal(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QByteArray name = text.toUtf8();
    constexpr qsizetype kLongestName = 15;
    if (name.size() > kLongestName)
        return QStringLiteral("An interface name has at most %1 bytes, such as eth0 or wwan0.")
            .arg(kLongestName);
    if (text == QStringLiteral(".") || text == QStringLiteral("..") ||
        text.contains(QRegularExpression(QStringLiteral("[/:\\s\\x{0}-\\x{1f}\\x{7f}]"))))
        return QStringLiteral(
            "An interface name holds no slash, colon, space or control character, such as eth0.");
    return std::nullopt;
}

// Only the form is checked here: whether the address is one of this machine's is known
// when the watch starts, and may change while it runs.
std::optional<QString> SourceAddressRefusal(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    unsigned char bytes[16];
    const QByteArray address = text.toLatin1();
    // The parse stops at a NUL, which would leave what follows it unread.
    if (!address.contains('\0') && (inet_pton(AF_INET, address.constData(), bytes) == 1 ||
                                    inet_pton(AF_INET6, address.constData(), bytes) == 1))
        return std::nullopt;
    return QStringLiteral("An IPv4 or IPv6 address is required, such as 192.0.2.7 or "
                          "2001:db8::7; a host name is not taken.");
}

constexpr const char *kPercentRefusal = "A whole number of percent from %1 to %2 is required.";
constexpr const char *kMillisecondsRefusal =
    "A whole number of milliseconds from %1 to %2 is required.";
constexpr const char *kSecondsRefusal = "A whole number of seconds from %1 to %2 is required.";
constexpr const char *kProgramFallback = "Corvane runs no program.";

// A day of grace covers any boot; a week between resends is as long as a watch can
// sensibly wait; an hour is longer than any console takes to answer. Ten echoes of an
// address, each with its own time-out, are as long as a cycle should last; none would
// leave nothing to decide the cycle by.
constexpr OptionRow kRows[] = {
    {.key = OptionKey::GraceSeconds,
     .name = "GraceSeconds",
     .member = &Options::graceSeconds,
     .byDefault = "0",
     .lowest = 0,
     .highest = 86400,
     .refusal = kSecondsRefusal,
     .page = OptionPage::LineWatch,
     .label = "Start &grace:",
     .unit = "seconds",
     .tip = "Seconds after start-up during which no fail command is sent, so that a boot does "
            "not act before the network is up",
     .defaultMeans = "none"},
    {.key = OptionKey::ResumeGraceSeconds,
     .name = "ResumeGraceSeconds",
     .member = &Options::resumeGraceSeconds,
     .byDefault = "0",
     .lowest = 0,
     .highest = 3600,
     .refusal = kSecondsRefusal,
     .page = OptionPage::LineWatch,
     .label = "Grace after wa&king up:",
     .unit = "seconds",
     .tip = "Seconds after the computer wakes from sleep during which no fail command is sent, "
            "so that a network still coming up does not act; 60 suits a laptop",
     .defaultMeans = "none"},
    {.key = OptionKey::RecoverCycles,
     .name = "RecoverCycles",
     .member = &Options::recoverCycles,
     .byDefault = "1",
     .lowest = 1,
     .highest = 100,
     .refusal = "A whole number of cycles from %1 to %2 is required.",
     .page = OptionPage::LineWatch,
     .label = "Recovery c&ycles:",
     .unit = "cycles",
     .tip = "Answered cycles in a row that end an outage once the fail command has gone, so "
            "that a line answering for a moment does not start a new outage"},
    {.key = OptionKey::EchoesPerAddress,
     .name = "EchoesPerAddress",
     .member = &Options::echoesPerAddress,
     .byDefault = "1",
     .lowest = 1,
     .highest = 10,
     .refusal = "A whole number of echoes from %1 to %2 is required.",
     .page = OptionPage::LineWatch,
     .label = "&Echoes per address:",
     .unit = "echoes",
     .tip = "Echoes an address gets within one cycle until it answers, each with the "
            "address's time-out, so that one lost echo does not fail a cycle"},
    {.key = OptionKey::MaxSendsPerOutage,
     .name = "MaxSendsPerOutage",
     .member = &Options::maxSendsPerOutage,
     .byDefault = "0",
     .lowest = 0,
     .highest = 1000,
     .refusal = "A whole number from %1 (no limit) to %2 is required.",
     .page = OptionPage::LineWatch,
     .label = "&Most sends per outage:",
     .unit = "sends",
     .tip = "How many fail commands one outage may send; the count starts again when an "
            "address answers",
     .defaultMeans = "no limit"},
    {.key = OptionKey::ResendBackoff,
     .name = "ResendBackoff",
     .member = &Options::resendBackoff,
     .byDefault = "1",
     .lowest = 1,
     .highest = 10,
     .refusal = "A factor from %1 to %2 is required, such as 2 or 1.5.",
     .page = OptionPage::LineWatch,
     .label = "Resend &back-off:",
     .unit = "times the last delay",
     .tip = "A factor that multiplies the resend delay after each resend, such as 2 or 1.5",
     .defaultMeans = "the delay stays the same"},
    {.key = OptionKey::MaxResendMinutes,
     .name = "MaxResendMinutes",
     .member = &Options::maxResendMinutes,
     .byDefault = "0",
     .lowest = 0,
     .highest = 10080,
     .refusal = "A whole number of minutes from %1 (no cap) to %2 is required.",
     .page = OptionPage::LineWatch,
     .label = "Longest resend &delay:",
     .unit = "minutes",
     .tip = "Minutes the resend delay may grow to by the back-off",
     .defaultMeans = "no cap"},
    {.key = OptionKey::AckPattern,
     .name = "AckPattern",
     .member = &Options::ackPattern,
     .byDefault = "",
     .textCheck = PatternRefusal,
     .page = OptionPage::LineWatch,
     .label = "&Acknowledgement pattern:",
     .tip = "A regular expression that the router's console output matches when it has acted "
            "on the fail command",
     .defaultMeans = "no check",
     .fallback = "Corvane waits for no acknowledgement."},
    {.key = OptionKey::AckSeconds,
     .name = "AckSeconds",
     .member = &Options::ackSeconds,
     .byDefault = "30",
     .lowest = 1,
     .highest = 3600,
     .refusal = kSecondsRefusal,
     .page = OptionPage::LineWatch,
     .label = "Acknowledgement &wait:",
     .unit = "seconds",
     .tip = "Seconds after a fail command within which the console output must match the "
            "pattern"},
    {.key = OptionKey::ReopenPort,
     .name = "ReopenPort",
     .member = &Options::reopenPort,
     .byDefault = "1",
     .page = OptionPage::LineWatch,
     .label = "&Reopen the comm port by itself",
     .tip = "A port closed by an error opens again before the next send and when its device "
            "comes back"},
    {.key = OptionKey::Notify,
     .name = "Notify",
     .member = &Options::notify,
     .byDefault = "1",
     .page = OptionPage::Desktop,
     .label = "Show &notifications when the line goes down and comes back",
     .tip = "A notification as the line goes down, as the fail command is sent and as the line "
            "comes back"},
    {.key = OptionKey::MetricsFile,
     .name = "MetricsFile",
     .member = &Options::metricsFile,
     .byDefault = "",
     .textCheck = MetricsFileRefusal,
     .page = OptionPage::Desktop,
     .label = "Metrics &file:",
     .tip = "The file for node_exporter's textfile collector, rewritten after every cycle, "
            "such as /var/lib/prometheus/node-exporter/corvane.prom",
     .defaultMeans = "none",
     .fallback = "Corvane writes no metrics file."},
    {.key = OptionKey::OnOutage,
     .name = "OnOutage",
     .member = &Options::onOutage,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::EventPrograms,
     .label = "When an outage &starts:",
     .tip = "The program, with its arguments, that runs at the first failing cycle of an outage",
     .fallback = kProgramFallback},
    {.key = OptionKey::OnFailCommand,
     .name = "OnFailCommand",
     .member = &Options::onFailCommand,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::EventPrograms,
     .label = "When the &fail command is sent:",
     .tip = "The program, with its arguments, that runs at each send of the fail command, "
            "resends included (not FAIL TEST)",
     .fallback = kProgramFallback},
    {.key = OptionKey::OnAcknowledged,
     .name = "OnAcknowledged",
     .member = &Options::onAcknowledged,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::EventPrograms,
     .label = "When the router &acknowledges it:",
     .tip = "The program, with its arguments, that runs when the acknowledgement pattern "
            "matches what the router's console sent after the fail command",
     .fallback = kProgramFallback},
    {.key = OptionKey::OnNoAcknowledgement,
     .name = "OnNoAcknowledgement",
     .member = &Options::onNoAcknowledgement,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::EventPrograms,
     .label = "When &no acknowledgement comes:",
     .tip = "The program, with its arguments, that runs when the acknowledgement wait passes "
            "without a match",
     .fallback = kProgramFallback},
    {.key = OptionKey::OnLineBack,
     .name = "OnLineBack",
     .member = &Options::onLineBack,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::EventPrograms,
     .label = "When the line comes &back:",
     .tip = "The program, with its arguments, that runs at the first answered cycle after an "
            "outage",
     .fallback = kProgramFallback},
    {.key = OptionKey::EventTimeoutSeconds,
     .name = "EventTimeoutSeconds",
     .member = &Options::eventTimeoutSeconds,
     .byDefault = "30",
     .lowest = 1,
     .highest = 3600,
     .refusal = kSecondsRefusal,
     .page = OptionPage::EventPrograms,
     .label = "&Time limit per program:",
     .unit = "seconds",
     .tip = "Seconds an event program may run before it is stopped: SIGTERM to its process "
            "group, and SIGKILL 5 seconds later"},
    {.key = OptionKey::TrayBadge,
     .name = "TrayBadge",
     .member = &Options::trayBadge,
     .byDefault = "1",
     .page = OptionPage::Desktop,
     .label = "Show the line's state on the tray &icon",
     .tip = "A dot in the icon's corner: amber while cycles fail, red once the fail command has "
            "gone, grey while actions are paused"},
    {.key = OptionKey::History,
     .name = "History",
     .member = &Options::history,
     .byDefault = "1",
     .page = OptionPage::Desktop,
     .label = "&Keep a history of every cycle and outage",
     .tip = "A history of every cycle and outage, in a file of its own, for the History "
            "window; when off, no history file is made or written. Takes effect at the next "
            "start of Corvane"},
    {.key = OptionKey::LossWindowCycles,
     .name = "LossWindowCycles",
     .member = &Options::lossWindowCycles,
     .byDefault = "10",
     .lowest = 1,
     .highest = 100,
     .refusal = "A whole number of cycles from %1 to %2 is required.",
     .page = OptionPage::LineQuality,
     .label = "Judging &window:",
     .unit = "cycles",
     .tip = "How many of an address's last cycles its loss and median round trip are judged "
            "over, when a loss or round-trip limit is set"},
    {.key = OptionKey::FailLossPercent,
     .name = "FailLossPercent",
     .member = &Options::failLossPercent,
     .byDefault = "0",
     .lowest = 0,
     .highest = 100,
     .refusal = kPercentRefusal,
     .page = OptionPage::LineQuality,
     .label = "Fail at lo&ss of:",
     .unit = "%",
     .tip = "An address whose echoes over the window are lost this often or more does not "
            "pass the cycle, although it answered",
     .defaultMeans = "off; a cycle without an answer fails"},
    {.key = OptionKey::FailLatencyMs,
     .name = "FailLatencyMs",
     .member = &Options::failLatencyMs,
     .byDefault = "0",
     .lowest = 0,
     .highest = 60000,
     .refusal = kMillisecondsRefusal,
     .page = OptionPage::LineQuality,
     .label = "Fail at &median round trip of:",
     .unit = "ms",
     .tip = "An address whose median round trip over the window is this long or longer does "
            "not pass the cycle, although it answered",
     .defaultMeans = "off"},
    {.key = OptionKey::RecoverLossPercent,
     .name = "RecoverLossPercent",
     .member = &Options::recoverLossPercent,
     .byDefault = "0",
     .lowest = 0,
     .highest = 100,
     .refusal = kPercentRefusal,
     .page = OptionPage::LineQuality,
     .label = "&Recover at loss of at most:",
     .unit = "%",
     .tip = "During an outage a cycle counts as answered only when an address's loss over the "
            "window is this or less; between the two limits the outage's count holds",
     .defaultMeans = "the fail limit, one band"},
    {.key = OptionKey::RecoverLatencyMs,
     .name = "RecoverLatencyMs",
     .member = &Options::recoverLatencyMs,
     .byDefault = "0",
     .lowest = 0,
     .highest = 60000,
     .refusal = kMillisecondsRefusal,
     .page = OptionPage::LineQuality,
     .label = "Recover at median round &trip of at most:",
     .unit = "ms",
     .tip = "During an outage a cycle counts as answered only when an address's median round "
            "trip over the window is this or less; between the two limits the outage's count "
            "holds",
     .defaultMeans = "the fail limit, one band"},
    {.key = OptionKey::FailingPeriod,
     .name = "FailingPeriod",
     .member = &Options::failingPeriod,
     .byDefault = "0",
     .lowest = 0,
     .highest = 86400,
     .refusal = kSecondsRefusal,
     .page = OptionPage::LineQuality,
     .label = "Period &during an outage:",
     .unit = "seconds",
     .tip = "The ping period from the first failing cycle until the outage ends, so that "
            "retries and recovery are confirmed sooner; never longer than the period field's, "
            "and the resend delay is not changed",
     .defaultMeans = "the period field's"},
    {.key = OptionKey::Interface,
     .name = "Interface",
     .member = &Options::interfaceName,
     .byDefault = "",
     .textCheck = InterfaceRefusal,
     .page = OptionPage::LineQuality,
     .label = "Send echoes through &interface:",
     .tip = "The network interface, such as eth0 or wwan0, that every echo must leave by, so "
            "that a backup path never answers for the watched line",
     .defaultMeans = "as the routing table chooses",
     .fallback = "Echoes leave as the routing table chooses."},
    {.key = OptionKey::SourceAddress,
     .name = "SourceAddress",
     .member = &Options::sourceAddress,
     .byDefault = "",
     .textCheck = SourceAddressRefusal,
     .page = OptionPage::LineQuality,
     .label = "Send echoes from &address:",
     .tip = "One of this machine's addresses, which every echo of its family is sent from",
     .defaultMeans = "as the routing table chooses",
     .fallback = "Echoes leave as the routing table chooses."},
    // Ten minutes off is longer than any router needs to forget its state; a second is
    // the tick the hold is counted in.
    {.key = OptionKey::PowerPort,
     .name = "PowerPort",
     .member = &Options::powerPort,
     .byDefault = "0",
     .lowest = 0,
     .highest = 32767,
     .refusal = "A port number from %1 (none) to %2 is required.",
     .page = OptionPage::Power,
     .label = "Rela&y port:",
     .tip = "The serial port the power relay hangs on, numbered as the fail port is; it may be "
            "the console's own port, which is then used only between the console's sends",
     .defaultMeans = "none"},
    {.key = OptionKey::PowerOff,
     .name = "PowerOff",
     .member = &Options::powerOff,
     .byDefault = "",
     .textCheck = RelayFrameRefusal,
     .page = OptionPage::Power,
     .label = "O&ff frame:",
     .tip = "The bytes that switch the relay's power off, exactly: caret notation, \\xHH for "
            "any byte (such as \\xA0\\x01\\x01\\xA2), \\\\ for a backslash; no carriage "
            "return is added",
     .defaultMeans = "none",
     .fallback = "Corvane sends no frame."},
    {.key = OptionKey::PowerOn,
     .name = "PowerOn",
     .member = &Options::powerOn,
     .byDefault = "",
     .textCheck = RelayFrameRefusal,
     .page = OptionPage::Power,
     .label = "O&n frame:",
     .tip = "The bytes that switch the relay's power back on, written as the off frame is",
     .defaultMeans = "none",
     .fallback = "Corvane sends no frame."},
    {.key = OptionKey::PowerLine,
     .name = "PowerLine",
     .member = &Options::powerLine,
     .byDefault = "",
     .textCheck = ModemLineRefusal,
     .page = OptionPage::Power,
     .label = "Or hold &modem line:",
     .tip = "DTR or RTS: the line is asserted while the power is off and released after the "
            "hold",
     .defaultMeans = "none",
     .fallback = "Corvane holds no modem line."},
    {.key = OptionKey::PowerProgram,
     .name = "PowerProgram",
     .member = &Options::powerProgram,
     .byDefault = "",
     .textCheck = ProgramRefusal,
     .page = OptionPage::Power,
     .label = "Or run p&rogram:",
     .tip = "The program, with its arguments, run with \"off\" and, after the hold, with "
            "\"on\"; its exit status is the verdict, within the time limit per program",
     .defaultMeans = "none",
     .fallback = kProgramFallback},
    {.key = OptionKey::PowerHoldSeconds,
     .name = "PowerHoldSeconds",
     .member = &Options::powerHoldSeconds,
     .byDefault = "10",
     .lowest = 1,
     .highest = 600,
     .refusal = kSecondsRefusal,
     .page = OptionPage::Power,
     .label = "&Hold the power off for:",
     .unit = "seconds",
     .tip = "Seconds between switching the power off and on again; the watch goes on meanwhile"},
    {.key = OptionKey::OwnLinkGuard,
     .name = "OwnLinkGuard",
     .member = &Options::ownLinkGuard,
     .byDefault = "0",
     .page = OptionPage::LineQuality,
     .label = "Hold the fail command while our own lin&k is down",
     .tip = "Before a fail command, the interface that carries the route to the primary "
            "address must have a carrier and an address; until it has, the send is held"},
};

// What the compiler can tell of a row: a key without its row, or out of order, would be
// looked up wrong; a range without its refusal would refuse in silence; a refused text
// without a fallback would leave the report without what runs instead.
constexpr bool RowsAreComplete()
{
    if (std::size(kRows) != std::size_t(OptionKey::Count))
        return false;
    for (std::size_t index = 0; index < std::size(kRows); ++index) {
        const OptionRow &row = kRows[index];
        if (row.key != OptionKey(index) || *row.name == '\0' || *row.label == '\0')
            return false;
        const bool ranged = std::holds_alternative<qint32 Options::*>(row.member) ||
                            std::holds_alternative<double Options::*>(row.member);
        if (ranged && (row.lowest > row.highest || *row.refusal == '\0'))
            return false;
        if (std::holds_alternative<QString Options::*>(row.member) && *row.byDefault == '\0' &&
            *row.fallback == '\0')
            return false;
    }
    return true;
}
static_assert(RowsAreComplete(), "every key needs one complete row, in the order of OptionKey");

QString BoundText(double bound)
{
    return bound == double(qint64(bound)) ? QString::number(qint64(bound)) : QString::number(bound);
}

} // namespace

std::span<const OptionRow> OptionRows()
{
    return kRows;
}

const OptionRow &OptionRowOf(OptionKey key)
{
    return kRows[std::size_t(key)];
}

QString OptionRange(const OptionRow &row)
{
    if (std::holds_alternative<bool Options::*>(row.member))
        return QStringLiteral("0 or 1");
    if (std::holds_alternative<QString Options::*>(row.member))
        return {};
    return BoundText(row.lowest) + QStringLiteral(" to ") + BoundText(row.highest);
}

QString OptionRangeRefusal(const OptionRow &row)
{
    return QString::fromUtf8(row.refusal).arg(BoundText(row.lowest), BoundText(row.highest));
}

QString OptionTip(const OptionRow &row)
{
    QString range = std::holds_alternative<bool Options::*>(row.member) ? QStringLiteral("on/off")
                                                                        : OptionRange(row);
    if (*row.defaultMeans != '\0') {
        const QString value =
            *row.byDefault == '\0' ? QStringLiteral("empty") : QString::fromLatin1(row.byDefault);
        range += (range.isEmpty() ? QString() : QStringLiteral("; ")) + value +
                 QStringLiteral(": ") + QString::fromUtf8(row.defaultMeans);
    }
    const QString tip = QString::fromUtf8(row.tip);
    return range.isEmpty() ? tip + u'.' : tip + QStringLiteral(" (") + range + QStringLiteral(").");
}
