#include "DurationText.h"

QString DurationText(qint64 milliseconds)
{
    const qint64 seconds = qMax<qint64>(milliseconds, 0) / 1000;
    const qint64 minutes = seconds / 60;
    const qint64 hours = minutes / 60;
    const qint64 days = hours / 24;
    if (days > 0)
        return QStringLiteral("%1 d %2 h").arg(days).arg(hours % 24);
    if (hours > 0)
        return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    if (minutes > 0)
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds % 60);
    return QStringLiteral("%1 s").arg(seconds);
}
