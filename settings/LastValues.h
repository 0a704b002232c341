#pragma once

class Settings;
class WindowFields;

struct LastValuesLoad
{
    // No key at all was stored: "Init" = "Yes" has been written and no field was
    // touched. A record with keys but without a non-empty "Init" is read as usual and
    // gets "Init" = "Yes" too.
    bool firstRun = false;
};

// Brings the stored LastValues record into the window's fields, which must hold
// their design-time texts. Each key is taken by its own start-up rule; a key that
// was never written leaves its field at the default. PingPeriod and the schedule
// times are for the caller to derive from the fields afterwards.
LastValuesLoad LoadLastValues(Settings &settings, WindowFields &fields);
