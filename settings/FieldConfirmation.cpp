#include "FieldConfirmation.h"

#include "MessageBoxes.h"
#include "Settings.h"
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

} // namespace

FieldConfirmation::FieldConfirmation(WindowFields &fields, Meter &meter, Settings &settings,
                                     MessageBoxes &boxes, SetPingPeriod setPingPeriod)
    : m_fields(fields), m_meter(meter), m_settings(settings), m_boxes(boxes),
      m_setPingPeriod(std::move(setPingPeriod))
{
}

void FieldConfirmation::Confirm(Field field, bool &refuse)
{
    switch (field) {
    case Field::AddrPri:
        Store(field, QStringLiteral("AddrPri"));
        return;
    case Field::AddrSec:
        Store(field, QStringLiteral("AddrSec"));
        return;
    case Field::FailCommand:
        Store(field, QStringLiteral("FailCommand"));
        return;
    case Field::FailLog:
        Store(field, QStringLiteral("FailLog"));
        return;
    case Field::TimeoutPri:
        if (CheckedValue(field, kGreaterThanZero, refuse))
            Store(field, QStringLiteral("TimeoutPri"));
        return;
    case Field::TimeoutSec:
        if (CheckedValue(field, kGreaterThanZero, refuse))
            Store(field, QStringLiteral("TimeoutSec"));
        return;
    case Field::Period:
        if (const std::optional<qint32> seconds = CheckedValue(field, kNumericEntry, refuse)) {
            Store(field, QStringLiteral("Period"));
            m_setPingPeriod(*seconds);
        }
        return;
    case Field::FailTries:
        ConfirmFailTries(refuse);
        return;
    case Field::FailResend:
        ConfirmFailResend(refuse);
        return;
    default:
        return;
    }
}

void FieldConfirmation::Store(Field field, const QString &key)
{
    m_settings.SaveValue(SettingsSection, key, m_fields.text(field));
}

std::optional<qint32> FieldConfirmation::CheckedValue(Field field, const QString &refusalText,
                                                      bool &refuse)
{
    const std::optional<qint32> value = WholeNumber32(m_fields.text(field));
    if (value && *value >= 1)
        return value;
    Refuse(refusalText, refuse);
    return std::nullopt;
}

void FieldConfirmation::Refuse(const QString &text, bool &refuse)
{
    m_boxes.show(text, QStringLiteral("Timeout Field"), BoxStyle::OkExclamation);
    refuse = true;
}

void FieldConfirmation::ConfirmFailTries(bool &refuse)
{
    if (!CheckedValue(Field::FailTries, kGreaterThanZero, refuse))
        return;
    const std::optional<qint16> retries = WholeNumber16(m_fields.text(Field::FailTries));
    if (!retries) {
        Refuse(kRetriesRange, refuse);
        return;
    }
    Store(Field::FailTries, QStringLiteral("FailTries"));
    m_meter.setMaximum(*retries);
}

void FieldConfirmation::ConfirmFailResend(bool &refuse)
{
    const std::optional<qint32> minutes = WholeNumber32(m_fields.text(Field::FailResend));
    if (!minutes || *minutes < 1) {
        m_fields.setText(Field::FailResend, kResendFallback);
        Refuse(kGreaterThanZero, refuse);
        return;
    }
    Store(Field::FailResend, QStringLiteral("FailResend"));
    // The retries field may have been edited since its own confirmation was refused;
    // only a count the meter can hold is taken.
    if (const std::optional<qint16> retries = WholeNumber16(m_fields.text(Field::FailTries)))
        m_meter.setMaximum(*retries);
}
