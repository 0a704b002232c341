#include "LastValues.h"

#include "FieldConfirmation.h"
#include "Settings.h"
#include "SettingsStore.h"
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

struct Rule
{
    Field field;
    TakeRule take;
    // Why a stored text is not taken.
    const char *reason;
};

constexpr const char *kEmptyNotRead = "An empty value is not read.";

// In the order the keys have always been read.
const Rule kRules[] = {
    {Field::AddrPri, AtLeastTwoCharacters, "A value of fewer than 2 characters is not read."},
    {Field::AddrSec, AtLeastTwoCharacters, "A value of fewer than 2 characters is not read."},
    {Field::Period, AtLeastOneCharacter, kEmptyNotRead},
    {Field::TimeoutPri, AtLeastOneCharacter, kEmptyNotRead},
    {Field::TimeoutSec, AtLeastOneCharacter, kEmptyNotRead},
    {Field::FailCommand, Always, ""},
    {Field::FailTries, AtLeastOneCharacter, kEmptyNotRead},
    {Field::FailResend, AtLeastOneCharacter, kEmptyNotRead},
    {Field::FailLog, AtLeastTwoCharacters, "A path of fewer than 2 characters is not read."},
    // The port the user chose is taken as it is, whatever it reads: the start-up report
    // refuses one that cannot be used, and no other port is put in its place.
    {Field::FailPort, Always, ""},
};

// A key that was never written keeps the field's default, so that a default such as
// the fail command "^m^m" survives until the user confirms something else; a key
// stored as empty text is taken as empty wherever the rule allows.
void LoadKey(Settings &settings, WindowFields &fields, Field field, TakeRule take,
             LastValuesLoad &load)
{
    const QString key = FieldKey(field);
    if (!settings.HasValue(SettingsSection, key))
        return;
    const QString stored = settings.GetValue(SettingsSection, key);
    if (take(stored))
        fields.setText(field, stored);
    else
        load.notTaken.append(field);
}

} // namespace

LastValuesLoad LoadLastValues(Settings &settings, WindowFields &fields)
{
    LastValuesLoad load;
    // Nothing is read from a file that cannot be read, and nothing is written into it:
    // the write would fail, or replace a file the user still means to fix.
    if (settings.store().readable(SettingsAppName).failed())
        return load;
    // Only a record without any key is new. A hand-written one often lacks "Init" and
    // is read all the same; the "Init" it lacked is added.
    if (settings.GetValue(SettingsSection, QStringLiteral("Init")).isEmpty()) {
        load.firstRun = !settings.HasAnyValue(SettingsSection);
        settings.SaveValue(SettingsSection, QStringLiteral("Init"), QStringLiteral("Yes"));
        if (load.firstRun)
            return load;
    }

    // An empty period keeps the field's 60, as it always has.
    for (const Rule &rule : kRules)
        LoadKey(settings, fields, rule.field, rule.take, load);

    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        LoadKey(settings, fields, SchedCmdField(slot), Always, load);
        if (fields.text(SchedCmdField(slot)).isEmpty())
            continue;
        fields.setEnabled(SchedTimeField(slot), true);
        LoadKey(settings, fields, SchedTimeField(slot), Always, load);
    }
    return load;
}

QString NotTakenReason(Field field)
{
    for (const Rule &rule : kRules) {
        if (rule.field == field)
            return QString::fromLatin1(rule.reason);
    }
    return {};
}

QList<Field> LastValuesFields()
{
    QList<Field> fields;
    for (const Rule &rule : kRules)
        fields.append(rule.field);
    for (int slot = 0; slot < kScheduleSlots; ++slot)
        fields << SchedCmdField(slot) << SchedTimeField(slot);
    return fields;
}

QStringList LastValuesKeys()
{
    QStringList keys{QStringLiteral("Init")};
    for (const Field field : LastValuesFields())
        keys.append(FieldKey(field));
    return keys;
}
