#include "StoredValuesCheck.h"

#include "FieldConfirmation.h"
#include "LastValues.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "PortDevice.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "UnknownKeys.h"

#include "CaretLine.h"

#include <optional>

namespace {

const QString kIntroduction =
    QStringLiteral("Some stored settings are not valid; Corvane runs with its fallbacks for them:");

// The fields whose text has a rule of its own; a schedule time only counts while its
// slot has a command.
bool HasRule(const WindowFields &fields, Field field)
{
    switch (field) {
    case Field::Period:
    case Field::TimeoutPri:
    case Field::TimeoutSec:
    case Field::FailTries:
    case Field::FailResend:
        return true;
    default:
        break;
    }
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        if (field == SchedTimeField(slot))
            return !fields.text(SchedCmdField(slot)).isEmpty();
    }
    return false;
}

// Puts what runs in place of the refused text and says what it is. Every reader of
// the field (the ping cycle, the meter, the metrics) then takes the same value; a
// slot's time is left as stored, which keeps the slot from firing at all rather
// than at a midnight nobody chose.
QString FallBack(WindowFields &fields, Field field)
{
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        if (field == SchedTimeField(slot))
            return QStringLiteral("Corvane does not send %1.").arg(FieldKey(SchedCmdField(slot)));
    }
    const QString fallback = FieldDefault(field);
    fields.setText(field, fallback);
    return QStringLiteral("Corvane uses %1.").arg(fallback);
}

// Why the watch does not run with the field's stored text, and what it runs instead;
// nothing when it does.
std::optional<QString> Verdict(Settings &settings, WindowFields &fields, Field field,
                               const QList<Field> &notTaken)
{
    if (notTaken.contains(field))
        return NotTakenReason(field) + QStringLiteral(" Corvane uses %1.").arg(fields.text(field));
    if (field == Field::FailPort) {
        // The port stays as the user chose it: any other may be another device.
        const std::optional<QString> refusal =
            PortRefusal(settings.store(), fields.text(Field::FailPort));
        if (!refusal)
            return std::nullopt;
        return *refusal + QStringLiteral(" Corvane opens no other port in its place.");
    }
    if (!HasRule(fields, field))
        return std::nullopt;
    const std::optional<QString> refusal = FieldRefusal(field, fields.text(field));
    if (!refusal)
        return std::nullopt;
    return *refusal + (refusal->endsWith(u'.') ? QStringLiteral(" ") : QStringLiteral(". ")) +
           FallBack(fields, field);
}

} // namespace

std::optional<QString> UnreadSettingsLine(Settings &settings)
{
    const Outcome readable = settings.store().readable(SettingsAppName);
    if (!readable.failed())
        return std::nullopt;
    return readable.description() +
           QStringLiteral(" Corvane reads nothing from it, and runs with every default.");
}

QStringList TakeFallbacksForStoredValues(Settings &settings, WindowFields &fields,
                                         const QList<Field> &notTaken)
{
    if (const std::optional<QString> unread = UnreadSettingsLine(settings))
        return {*unread};
    QStringList lines;
    for (const Field field : LastValuesFields()) {
        const QString key = FieldKey(field);
        if (!settings.HasValue(SettingsSection, key))
            continue;
        const QString stored = settings.GetValue(SettingsSection, key);
        if (const std::optional<QString> verdict = Verdict(settings, fields, field, notTaken))
            lines.append(key + u'=' + stored + QStringLiteral(": ") + *verdict);
    }
    return lines + UnknownKeyLines(settings, SettingsSection, LastValuesKeys());
}

void TakeFallbacksForRefusedStoredValues(Settings &settings, WindowFields &fields,
                                         const QList<Field> &notTaken, LogWriter &log,
                                         MessageBoxes &boxes)
{
    // Told rather than fallen back on silently: a retry count the ping cycle never
    // reaches, or a slot that never fires, looks like a working setting until the
    // outage it was meant for.
    ReportRefusedLines(TakeFallbacksForStoredValues(settings, fields, notTaken), kIntroduction, log,
                       boxes);
}

void ReportRefusedLines(const QStringList &lines, const QString &introduction, LogWriter &log,
                        MessageBoxes &boxes)
{
    if (lines.isEmpty())
        return;
    // The log's own line ends, so that the entry reads as lines in any viewer; a line
    // end or an escape that came from the file would forge an entry or steer the
    // terminal, so each line keeps to one printable line.
    QStringList report{introduction};
    for (const QString &line : lines)
        report.append(CaretLine(line));
    const QString text = report.join(QStringLiteral("\r\n"));
    log.WriteLog(text, true, true, kSystemMessage);
    boxes.show(text, QStringLiteral("Settings"), BoxStyle::OkExclamation);
}
