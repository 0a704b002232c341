#pragma once

#include "WindowFields.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class MessageBoxes;
class Settings;

// Confirms the address, time-out, period and failure-action fields as the focus
// leaves them: checks numeric entries, stores the text as typed and keeps
// PingPeriod and the failures meter's maximum in step with the fields.
class FieldConfirmation
{
public:
    using SetPingPeriod = std::function<void(qint32 seconds)>;

    FieldConfirmation(WindowFields &fields, Meter &meter, Settings &settings, MessageBoxes &boxes,
                      SetPingPeriod setPingPeriod);

    // Called before the focus leaves the field, with refuse cleared. Setting it keeps
    // the focus in the field. Fields confirmed elsewhere (the port and the schedule)
    // are left untouched.
    void Confirm(Field field, bool &refuse);

private:
    void Store(Field field, const QString &key);
    // The entry's value when it is at least 1; otherwise the refusal is shown and the
    // move refused.
    std::optional<qint32> CheckedValue(Field field, const QString &refusalText, bool &refuse);
    void Refuse(const QString &text, bool &refuse);
    void ConfirmFailTries(bool &refuse);
    void ConfirmFailResend(bool &refuse);

    WindowFields &m_fields;
    Meter &m_meter;
    Settings &m_settings;
    MessageBoxes &m_boxes;
    SetPingPeriod m_setPingPeriod;
};
