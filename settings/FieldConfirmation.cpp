#include "FieldConfirmation.h"

#include "MessageBoxes.h"
#include "Settings.h"
#include "TimeOfDay.h"
#include "WholeNumber.h"

namespace {

const QString kGreaterThanZero = QStringLiteral("A numeric entry greater than 0 is required.");
const QString kNumericEntry = QStringLiteral("A numeric entry is required.");
// The meter takes the retries as a 16-bit number; a larger count would leave the
// meter, the stored text and the ping cycle disagreeing, so it is refused.
const QString kRetriesRange = QStringLiteral("A numeric entry from 1 to 32767 is required.");
// Shown in the resend-delay field after a refusal, so that leaving it again stores a
// sensible delay.
const QString kResendFallback = QStringLiteral("15");

std::optional<QString> RefuseBelowOne(const QString &text, const QString &refusal)
{
    const std::optional<qint32> value = WholeNumber32(text);
    if (value && *value >= 1)
        return std::nullopt;
    return refusal;
}

// The time fields belong to the schedule, the port to the link: confirmed there.
bool ConfirmedHere(Field field)
{
    switch (field) {
    case Field::AddrPri:
    case Field::AddrSec:
    case Field::TimeoutPri:
    case Field::TimeoutSec:
    case Field::Period:
    case Field::FailCommand:
    case Field::FailTries:
    case Field::FailResend:
    case Field::FailLog:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QString> FieldRefusal(Field field, const QString &text)
{
    switch (field) {
    case Field::TimeoutPri:
    case Field::TimeoutSec:
    case Field::FailResend:
        return RefuseBelowOne(text, kGreaterThanZero);
    case Field::Period:
        return RefuseBelowOne(text, kNumericEntry);
    case Field::FailTries:
        if (RefuseBelowOne(text, kGreaterThanZero))
            return kGreaterThanZero;
        if (!WholeNumber16(text))
            return kRetriesRange;
        return std::nullopt;
    case Field::SchedTime0:
    case Field::SchedTime1:
    case Field::SchedTime2:
    case Field::SchedTime3:
        if (ParseTimeOfDay(text))
            return std::nullopt;
        return kTimeEntryRefusal;
    default:
        return std::nullopt;
    }
}

QString FieldKey(Field field)
{
    switch (field) {
    case Field::AddrPri:
        return QStringLiteral("AddrPri");
    case Field::AddrSec:
        return QStringLiteral("AddrSec");
    case Field::TimeoutPri:
        return QStringLiteral("TimeoutPri");
    case Field::TimeoutSec:
        return QStringLiteral("TimeoutSec");
    case Field::Period:
        return QStringLiteral("Period");
    case Field::FailCommand:
        return QStringLiteral("FailCommand");
    case Field::FailPort:
        return QStringLiteral("FailPort");
    case Field::FailTries:
        return QStringLiteral("FailTries");
    case Field::FailResend:
        return QStringLiteral("FailResend");
    case Field::FailLog:
        return QStringLiteral("FailLog");
    case Field::SchedCmd0:
    case Field::SchedCmd1:
    case Field::SchedCmd2:
    case Field::SchedCmd3:
        return QStringLiteral("SchedCmd") +
               QString::number(static_cast<int>(field) - static_cast<int>(Field::SchedCmd0));
    case Field::SchedTime0:
    case Field::SchedTime1:
    case Field::SchedTime2:
    case Field::SchedTime3:
        return QStringLiteral("SchedTime") +
               QString::number(static_cast<int>(field) - static_cast<int>(Field::SchedTime0));
    default:
        return {};
    }
}

QString FieldDefault(Field field)
{
    switch (field) {
    case Field::AddrPri:
    case Field::AddrSec:
        return QStringLiteral("127.0.0.1");
    case Field::TimeoutPri:
    case Field::TimeoutSec:
        return QStringLiteral("2000");
    case Field::Period:
        return QStringLiteral("60");
    case Field::FailCommand:
        return QStringLiteral("^m^m");
    case Field::FailPort:
        return QStringLiteral("1");
    case Field::FailTries:
        return QStringLiteral("5");
    case Field::FailResend:
        return QStringLiteral("30");
    case Field::SchedTime0:
    case Field::SchedTime1:
    case Field::SchedTime2:
    case Field::SchedTime3:
        return QStringLiteral("12:00:00 AM");
    default:
        return {};
    }
}

FieldConfirmation::FieldConfirmation(WindowFields &fields, Meter &meter, Settings &settings,
                                     MessageBoxes &boxes, SetPingPeriod setPingPeriod)
    : m_fields(fields), m_meter(meter), m_settings(settings), m_boxes(boxes),
      m_setPingPeriod(std::move(setPingPeriod))
{
}

void FieldConfirmation::Confirm(Field field, bool &refuse)
{
    if (!ConfirmedHere(field))
        return;
    const QString text = m_fields.text(field);
    if (const std::optional<QString> refusal = FieldRefusal(field, text)) {
        if (field == Field::FailResend)
            m_fields.setText(Field::FailResend, kResendFallback);
        m_boxes.show(*refusal, QStringLiteral("Timeout Field"), BoxStyle::OkExclamation);
        refuse = true;
        return;
    }

    m_settings.SaveValue(SettingsSection, FieldKey(field), text);
    if (field == Field::Period)
        m_setPingPeriod(*WholeNumber32(text));
    else if (field == Field::FailTries || field == Field::FailResend)
        TakeMeterMaximumFromRetries();
}

void FieldConfirmation::TakeMeterMaximumFromRetries()
{
    // The retries field may have been edited since its own confirmation was refused;
    // only a count the meter can hold is taken.
    if (const std::optional<qint16> retries = WholeNumber16(m_fields.text(Field::FailTries)))
        m_meter.setMaximum(*retries);
}
