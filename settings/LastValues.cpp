#include "LastValues.h"

#include "FieldConfirmation.h"
#include "Settings.h"
#include "WindowFields.h"

namespace {

using TakeRule = bool (*)(const QString &stored);

bool AtLeastOneCharacter(const QString &stored)
{
    return stored.size() >= 1;
}

bool AtLeastTwoCharacters(const QString &stored)
{
    return stored.size() >= 2;
}

bool Always(const QString &)
{
    return true;
}

// Plain character-code order, as the port number was always compared: "10" and "3x"
// pass, "0", "5" and "40" do not.
bool PortInRange(const QString &stored)
{
    return QString::compare(stored, QStringLiteral("1")) >= 0 &&
           QString::compare(stored, QStringLiteral("4")) <= 0;
}

struct Rule
{
    Field field;
    TakeRule take;
};

// In the order the keys have always been read.
const Rule kRules[] = {
    {Field::AddrPri, AtLeastTwoCharacters},
    {Field::AddrSec, AtLeastTwoCharacters},
    {Field::Period, Always},
    {Field::TimeoutPri, AtLeastOneCharacter},
    {Field::TimeoutSec, AtLeastOneCharacter},
    {Field::FailCommand, Always},
    {Field::FailTries, AtLeastOneCharacter},
    {Field::FailResend, AtLeastOneCharacter},
    {Field::FailLog, AtLeastTwoCharacters},
    {Field::FailPort, PortInRange},
};

// A key that was never written keeps the field's default, so that a default such as
// the fail command "^m^m" survives until the user confirms something else; a key
// stored as empty text is taken as empty wherever the rule allows.
void LoadKey(Settings &settings, WindowFields &fields, Field field, TakeRule take)
{
    const QString key = FieldKey(field);
    if (!settings.HasValue(SettingsSection, key))
        return;
    const QString stored = settings.GetValue(SettingsSection, key);
    if (take(stored))
        fields.setText(field, stored);
}

} // namespace

LastValuesLoad LoadLastValues(Settings &settings, WindowFields &fields)
{
    LastValuesLoad load;
    // Only a record without any key is new. A hand-written one often lacks "Init" and
    // is read all the same; the "Init" it lacked is added.
    if (settings.GetValue(SettingsSection, QStringLiteral("Init")).isEmpty()) {
        load.firstRun = !settings.HasAnyValue(SettingsSection);
        settings.SaveValue(SettingsSection, QStringLiteral("Init"), QStringLiteral("Yes"));
        if (load.firstRun)
            return load;
    }

    for (const Rule &rule : kRules) {
        LoadKey(settings, fields, rule.field, rule.take);
        if (rule.field == Field::Period && fields.text(Field::Period).isEmpty())
            fields.setText(Field::Period, QStringLiteral("60"));
    }

    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        LoadKey(settings, fields, SchedCmdField(slot), Always);
        if (fields.text(SchedCmdField(slot)).isEmpty())
            continue;
        fields.setEnabled(SchedTimeField(slot), true);
        LoadKey(settings, fields, SchedTimeField(slot), Always);
    }
    return load;
}
