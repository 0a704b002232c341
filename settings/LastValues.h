#pragma once

#include "WindowFields.h"

#include <QList>
#include <QStringList>

class Settings;

struct LastValuesLoad
{
    // No key at all was stored: "Init" = "Yes" has been written and no field was
    // touched. A record with keys but without a non-empty "Init" is read as usual and
    // gets "Init" = "Yes" too.
    bool firstRun = false;
    // The stored keys whose text their field did not take, in the order read: each of
    // these fields keeps its default, which is for the start-up report to name.
    QList<Field> notTaken;
};

// Brings the stored LastValues record into the window's fields, which must hold
// their design-time texts. Each key is taken by its own start-up rule; a key that
// was never written leaves its field at the default. PingPeriod and the schedule
// times are for the caller to derive from the fields afterwards.
LastValuesLoad LoadLastValues(Settings &settings, WindowFields &fields);

// Why the load did not take the field's stored text, for a field in notTaken.
QString NotTakenReason(Field field);

// The fields stored in the LastValues record, in the order their keys are read.
QList<Field> LastValuesFields();
// Every key of the LastValues record that something reads, "Init" included.
QStringList LastValuesKeys();
