#include "Options.h"

#include "CommandWords.h"
#include "Settings.h"
#include "StoredValuesCheck.h"
#include "WholeNumber.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

struct WholeRange
{
    qint32 lowest;
    qint32 highest;
    const char *refusal;
};

// A day of grace covers any boot; a week between resends is as long as a watch can
// sensibly wait; an hour is longer than any console takes to answer.
WholeRange RangeOf(OptionKey key)
{
    switch (key) {
    case OptionKey::GraceSeconds:
        return {0, 86400, "A whole number of seconds from 0 to 86400 is required."};
    case OptionKey::ResumeGraceSeconds:
        return {0, 3600, "A whole number of seconds from 0 to 3600 is required."};
    case OptionKey::RecoverCycles:
        return {1, 100, "A whole number of cycles from 1 to 100 is required."};
    case OptionKey::EchoesPerAddress:
        return {1, 10, "A whole number of echoes from 1 to 10 is required."};
    case OptionKey::MaxSendsPerOutage:
        return {0, 1000, "A whole number from 0 (no limit) to 1000 is required."};
    case OptionKey::MaxResendMinutes:
        return {0, 10080, "A whole number of minutes from 0 (no cap) to 10080 is required."};
    case OptionKey::AckSeconds:
    case OptionKey::EventTimeoutSeconds:
        return {1, 3600, "A whole number of seconds from 1 to 3600 is required."};
    default:
        return {0, 1, "0 (off) or 1 (on) is required."};
    }
}

constexpr double kLowestBackoff = 1;
constexpr double kHighestBackoff = 10;

// A file edited by hand holds a point; the window may have been typed with the
// locale's separator.
std::optional<double> Factor(const QString &text)
{
    bool converted = false;
    double value = QLocale::c().toDouble(text.trimmed(), &converted);
    if (!converted)
        value = QLocale().toDouble(text.trimmed(), &converted);
    if (!converted || !std::isfinite(value))
        return std::nullopt;
    return value;
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

// What runs in place of a refused value.
QString DefaultInUse(OptionKey key)
{
    switch (key) {
    case OptionKey::AckPattern:
        return QStringLiteral("Corvane waits for no acknowledgement.");
    case OptionKey::MetricsFile:
        return QStringLiteral("Corvane writes no metrics file.");
    default:
        return QStringLiteral("Corvane uses %1.").arg(OptionText(Options(), key));
    }
}

} // namespace

bool IsEventProgram(OptionKey key)
{
    return std::find(std::begin(kEventProgramKeys), std::end(kEventProgramKeys), key) !=
           std::end(kEventProgramKeys);
}

QString OptionKeyName(OptionKey key)
{
    switch (key) {
    case OptionKey::GraceSeconds:
        return QStringLiteral("GraceSeconds");
    case OptionKey::ResumeGraceSeconds:
        return QStringLiteral("ResumeGraceSeconds");
    case OptionKey::RecoverCycles:
        return QStringLiteral("RecoverCycles");
    case OptionKey::EchoesPerAddress:
        return QStringLiteral("EchoesPerAddress");
    case OptionKey::MaxSendsPerOutage:
        return QStringLiteral("MaxSendsPerOutage");
    case OptionKey::ResendBackoff:
        return QStringLiteral("ResendBackoff");
    case OptionKey::MaxResendMinutes:
        return QStringLiteral("MaxResendMinutes");
    case OptionKey::AckPattern:
        return QStringLiteral("AckPattern");
    case OptionKey::AckSeconds:
        return QStringLiteral("AckSeconds");
    case OptionKey::ReopenPort:
        return QStringLiteral("ReopenPort");
    case OptionKey::Notify:
        return QStringLiteral("Notify");
    case OptionKey::MetricsFile:
        return QStringLiteral("MetricsFile");
    case OptionKey::OnOutage:
        return QStringLiteral("OnOutage");
    case OptionKey::OnFailCommand:
        return QStringLiteral("OnFailCommand");
    case OptionKey::OnAcknowledged:
        return QStringLiteral("OnAcknowledged");
    case OptionKey::OnNoAcknowledgement:
        return QStringLiteral("OnNoAcknowledgement");
    case OptionKey::OnLineBack:
        return QStringLiteral("OnLineBack");
    case OptionKey::EventTimeoutSeconds:
        return QStringLiteral("EventTimeoutSeconds");
    case OptionKey::TrayBadge:
        return QStringLiteral("TrayBadge");
    case OptionKey::History:
        return QStringLiteral("History");
    }
    return {};
}

QString OptionText(const Options &options, OptionKey key)
{
    switch (key) {
    case OptionKey::GraceSeconds:
        return QString::number(options.graceSeconds);
    case OptionKey::ResumeGraceSeconds:
        return QString::number(options.resumeGraceSeconds);
    case OptionKey::RecoverCycles:
        return QString::number(options.recoverCycles);
    case OptionKey::EchoesPerAddress:
        return QString::number(options.echoesPerAddress);
    case OptionKey::MaxSendsPerOutage:
        return QString::number(options.maxSendsPerOutage);
    case OptionKey::ResendBackoff:
        return QString::number(options.resendBackoff);
    case OptionKey::MaxResendMinutes:
        return QString::number(options.maxResendMinutes);
    case OptionKey::AckPattern:
        return options.ackPattern;
    case OptionKey::AckSeconds:
        return QString::number(options.ackSeconds);
    case OptionKey::ReopenPort:
        return options.reopenPort ? QStringLiteral("1") : QStringLiteral("0");
    case OptionKey::Notify:
        return options.notify ? QStringLiteral("1") : QStringLiteral("0");
    case OptionKey::MetricsFile:
        return options.metricsFile;
    case OptionKey::OnOutage:
        return options.onOutage;
    case OptionKey::OnFailCommand:
        return options.onFailCommand;
    case OptionKey::OnAcknowledged:
        return options.onAcknowledged;
    case OptionKey::OnNoAcknowledgement:
        return options.onNoAcknowledgement;
    case OptionKey::OnLineBack:
        return options.onLineBack;
    case OptionKey::EventTimeoutSeconds:
        return QString::number(options.eventTimeoutSeconds);
    case OptionKey::TrayBadge:
        return options.trayBadge ? QStringLiteral("1") : QStringLiteral("0");
    case OptionKey::History:
        return options.history ? QStringLiteral("1") : QStringLiteral("0");
    }
    return {};
}

std::optional<QString> OptionRefusal(OptionKey key, const QString &text)
{
    if (key == OptionKey::MetricsFile)
        return MetricsFileRefusal(text);
    // Only the words are checked here. The program is looked for, and its owner
    // checked, each time it is to run: it may be installed or fixed after the settings
    // were written.
    if (IsEventProgram(key)) {
        const QString refusal = SplitCommandWords(text).refusal;
        return refusal.isEmpty() ? std::nullopt : std::optional<QString>(refusal);
    }
    if (key == OptionKey::AckPattern) {
        const QRegularExpression pattern(text);
        if (pattern.isValid())
            return std::nullopt;
        return QStringLiteral("The pattern is not a valid regular expression: %1 (at character "
                              "%2).")
            .arg(pattern.errorString())
            .arg(pattern.patternErrorOffset() + 1);
    }
    if (key == OptionKey::ResendBackoff) {
        const std::optional<double> factor = Factor(text);
        if (factor && *factor >= kLowestBackoff && *factor <= kHighestBackoff)
            return std::nullopt;
        return QStringLiteral("A factor from 1 to 10 is required, such as 2 or 1.5.");
    }
    const WholeRange range = RangeOf(key);
    const std::optional<qint32> value = WholeNumber32(text);
    if (value && *value >= range.lowest && *value <= range.highest)
        return std::nullopt;
    return QString::fromLatin1(range.refusal);
}

void SetOption(Options &options, OptionKey key, const QString &text)
{
    switch (key) {
    case OptionKey::GraceSeconds:
        options.graceSeconds = *WholeNumber32(text);
        return;
    case OptionKey::ResumeGraceSeconds:
        options.resumeGraceSeconds = *WholeNumber32(text);
        return;
    case OptionKey::RecoverCycles:
        options.recoverCycles = *WholeNumber32(text);
        return;
    case OptionKey::EchoesPerAddress:
        options.echoesPerAddress = *WholeNumber32(text);
        return;
    case OptionKey::MaxSendsPerOutage:
        options.maxSendsPerOutage = *WholeNumber32(text);
        return;
    case OptionKey::ResendBackoff:
        options.resendBackoff = *Factor(text);
        return;
    case OptionKey::MaxResendMinutes:
        options.maxResendMinutes = *WholeNumber32(text);
        return;
    case OptionKey::AckPattern:
        options.ackPattern = text;
        return;
    case OptionKey::AckSeconds:
        options.ackSeconds = *WholeNumber32(text);
        return;
    case OptionKey::ReopenPort:
        options.reopenPort = *WholeNumber32(text) != 0;
        return;
    case OptionKey::Notify:
        options.notify = *WholeNumber32(text) != 0;
        return;
    case OptionKey::MetricsFile:
        options.metricsFile = text;
        return;
    case OptionKey::OnOutage:
        options.onOutage = text;
        return;
    case OptionKey::OnFailCommand:
        options.onFailCommand = text;
        return;
    case OptionKey::OnAcknowledged:
        options.onAcknowledged = text;
        return;
    case OptionKey::OnNoAcknowledgement:
        options.onNoAcknowledgement = text;
        return;
    case OptionKey::OnLineBack:
        options.onLineBack = text;
        return;
    case OptionKey::EventTimeoutSeconds:
        options.eventTimeoutSeconds = *WholeNumber32(text);
        return;
    case OptionKey::TrayBadge:
        options.trayBadge = *WholeNumber32(text) != 0;
        return;
    case OptionKey::History:
        options.history = *WholeNumber32(text) != 0;
        return;
    }
}

Options LoadOptions(Settings &settings, LogWriter &log, MessageBoxes &boxes)
{
    Options options;
    QStringList refused;
    for (const OptionKey key : kOptionKeys) {
        const QString name = OptionKeyName(key);
        if (!settings.HasValue(OptionsSection, name))
            continue;
        const QString stored = settings.GetValue(OptionsSection, name);
        if (const std::optional<QString> refusal = OptionRefusal(key, stored))
            refused.append(name + u'=' + stored + QStringLiteral(": ") + *refusal + u' ' +
                           DefaultInUse(key));
        else
            SetOption(options, key, stored);
    }
    // Told rather than fallen back on silently: a limit that never holds looks like a
    // working setting until the night it was meant for.
    ReportRefusedLines(
        refused,
        QStringLiteral("Some stored options are not valid; Corvane runs with their defaults:"), log,
        boxes);
    return options;
}
