#include "LocaleText.h"

#include <QLocale>

QString LongTimeFormat()
{
    // Long formats carry the zone ("t"); a log line or a schedule time would then
    // change its text when the machine's zone name changes, so it is dropped.
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (const QChar character : format) {
        if (character == u'\'')
            quoted = !quoted;
        if (!quoted && character == u't')
            continue;
        withoutZone += character;
    }
    // Some locales put the zone in brackets, "H:mm:ss (t)"; drop what is left of them.
    withoutZone.remove(QStringLiteral("()"));
    return withoutZone.simplified();
}

QString ShortDateText(QDate date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString LongTimeText(QTime time)
{
    return QLocale().toString(time, LongTimeFormat());
}

QString GeneralNumberText(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}
