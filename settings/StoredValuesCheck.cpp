#include "StoredValuesCheck.h"

#include "FieldConfirmation.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "Settings.h"
#include "WindowFields.h"

namespace {

const QString kIntroduction =
    QStringLiteral("Some stored settings are not valid; Corvane runs with its fallbacks for them:");

// The fields with a rule, in the order the keys are loaded; a schedule time only
// counts while its slot has a command.
QList<Field> CheckedFields(const WindowFields &fields)
{
    QList<Field> checked = {Field::Period, Field::TimeoutPri, Field::TimeoutSec, Field::FailTries,
                            Field::FailResend};
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        if (!fields.text(SchedCmdField(slot)).isEmpty())
            checked.append(SchedTimeField(slot));
    }
    return checked;
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

} // namespace

void TakeFallbacksForRefusedStoredValues(Settings &settings, WindowFields &fields, LogWriter &log,
                                         MessageBoxes &boxes)
{
    QStringList lines;
    for (const Field field : CheckedFields(fields)) {
        const QString key = FieldKey(field);
        if (!settings.HasValue(SettingsSection, key))
            continue;
        const QString value = fields.text(field);
        const std::optional<QString> refusal = FieldRefusal(field, value);
        if (!refusal)
            continue;
        lines.append(key + u'=' + value + QStringLiteral(": ") + *refusal +
                     (refusal->endsWith(u'.') ? QStringLiteral(" ") : QStringLiteral(". ")) +
                     FallBack(fields, field));
    }
    // Told rather than fallen back on silently: a retry count the ping cycle never
    // reaches, or a slot that never fires, looks like a working setting until the
    // outage it was meant for.
    ReportRefusedLines(lines, kIntroduction, log, boxes);
}

void ReportRefusedLines(const QStringList &lines, const QString &introduction, LogWriter &log,
                        MessageBoxes &boxes)
{
    if (lines.isEmpty())
        return;
    // The log's own line ends, so that the entry reads as lines in any viewer.
    const QString report = (QStringList{introduction} + lines).join(QStringLiteral("\r\n"));
    log.WriteLog(report, true, true, kSystemMessage);
    boxes.show(report, QStringLiteral("Settings"), BoxStyle::OkExclamation);
}
