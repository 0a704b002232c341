// Schedule fields take times of day in many shapes and in the user's locale. Whatever
// is accepted must survive being shown in the field and read back, or a slot would
// move each time the program starts. The first byte of an input picks the locale
// (the seeds use "0" to "7"), the rest is the field's text.
#include "FuzzProperty.h"
#include "TimeOfDay.h"

#include <QLocale>

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // 12- and 24-hour clocks, AM/PM before the time, dots as separators, a zone in
    // the long format, and digits other than ASCII.
    static const std::array<QLocale, 8> kLocales = {
        QLocale::c(),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::English, QLocale::UnitedKingdom),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Finnish, QLocale::Finland),
        QLocale(QLocale::Korean, QLocale::SouthKorea),
        QLocale(QLocale::Japanese, QLocale::Japan),
        QLocale(QLocale::Arabic, QLocale::Egypt),
    };
    QLocale::setDefault(kLocales[data[0] % kLocales.size()]);
    const QString text = FuzzText(data + 1, size - 1);

    const std::optional<QTime> time = ParseTimeOfDay(text);
    if (!time)
        return 0;
    RequireProperty(time->isValid(), "an accepted time is a valid time of day");
    RequireProperty(time->msec() == 0, "an accepted time has whole seconds");

    const QString shown = TimeOfDayText(*time);
    RequireProperty(ParseTimeOfDay(shown) == time,
                    "the time as the field shows it reads back as the same time");
    return 0;
}
