#include "StartUpReading.h"

#include "FieldConfirmation.h"
#include "LastValues.h"
#include "Settings.h"
#include "StoredValuesCheck.h"

DesignedFields::DesignedFields(const QString &defaultLogPath)
{
    for (const Field field : LastValuesFields())
        m_texts[field] = FieldDefault(field);
    m_texts[Field::FailLog] = defaultLogPath;
    // A slot's time is greyed until its command is there, as the window is designed.
    for (int slot = 0; slot < kScheduleSlots; ++slot)
        m_enabled[SchedTimeField(slot)] = false;
}

StartUpReading ReadAsTheWatchStarts(Settings &settings, const QString &defaultLogPath)
{
    StartUpReading reading(defaultLogPath);
    const LastValuesLoad load = LoadLastValues(settings, reading.fields);
    reading.refusedValues = TakeFallbacksForStoredValues(settings, reading.fields, load.notTaken);
    return reading;
}
