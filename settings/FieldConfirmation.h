#pragma once

#include "WindowFields.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class MessageBoxes;
class Settings;

inline const QString kTimeEntryRefusal = QStringLiteral("Enter a valid time as hh:mm:ss am[pm]");

// What a field's confirmation says when it refuses the text, or nothing when it takes
// it. The one rule for a typed entry and for a stored value read at start-up, so the
// two can never disagree. Fields with no rule (addresses, commands, the log, the
// port) take any text.
std::optional<QString> FieldRefusal(Field field, const QString &text);

// The LastValues key a field is stored under, such as "FailTries" or "SchedTime2";
// empty for the result fields, which are never stored.
QString FieldKey(Field field);

// The text the window is designed with, which a first run shows and uses; empty for
// the fields that start empty and for the log, whose path the caller chooses.
QString FieldDefault(Field field);

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
    void TakeMeterMaximumFromRetries();

    WindowFields &m_fields;
    Meter &m_meter;
    Settings &m_settings;
    MessageBoxes &m_boxes;
    SetPingPeriod m_setPingPeriod;
};
