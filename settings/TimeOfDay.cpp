#include "TimeOfDay.h"

#include "LocaleText.h"

#include <QLocale>
#include <QStringList>

std::optional<QTime> ParseTimeOfDay(const QString &text)
{
    // Inner runs of blanks count as one, so "1:05  pm" reads like "1:05 pm".
    const QString simplified = text.simplified();
    if (simplified.isEmpty())
        return std::nullopt;

    // The forms anyone may type whatever the locale: "12:00:00 AM" is midnight in a
    // 24-hour locale too, because the field's default text is written that way.
    static const QStringList kCommonFormats = {
        QStringLiteral("h:mm:ss AP"), QStringLiteral("h:mm:ssAP"), QStringLiteral("h:mm AP"),
        QStringLiteral("h:mmAP"),     QStringLiteral("H:mm:ss"),   QStringLiteral("H:mm"),
    };

    const QLocale userLocale;
    const QStringList userFormats = {LongTimeFormat(), userLocale.timeFormat(QLocale::ShortFormat)};
    // The user's own formats first, then the common forms with the user's AM/PM texts
    // and digits, then the common forms in English.
    const QList<QPair<QLocale, QStringList>> attempts = {
        {userLocale, userFormats},
        {userLocale, kCommonFormats},
        {QLocale::c(), kCommonFormats},
    };
    for (const auto &[locale, formats] : attempts) {
        for (const QString &format : formats) {
            const QTime time = locale.toTime(simplified, format);
            if (time.isValid())
                return time;
        }
    }
    return std::nullopt;
}

QString TimeOfDayText(QTime time)
{
    return LongTimeText(time);
}
