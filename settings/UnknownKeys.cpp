#include "UnknownKeys.h"

#include "Settings.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qsizetype kMostEdits = 2;

// Insertions, deletions and substitutions, case aside, by one row of the usual table.
qsizetype EditDistance(const QString &from, const QString &to)
{
    const QString a = from.toCaseFolded();
    const QString b = to.toCaseFolded();
    QList<qsizetype> row(b.size() + 1);
    for (qsizetype column = 0; column <= b.size(); ++column)
        row[column] = column;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[j];
            row[j] =
                std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<QString> NearestName(const QString &name, const QStringList &known)
{
    const qsizetype allowed = std::min(kMostEdits, name.size() / 3);
    std::optional<QString> nearest;
    qsizetype nearestDistance = allowed + 1;
    for (const QString &candidate : known) {
        const qsizetype distance = EditDistance(name, candidate);
        if (distance < nearestDistance) {
            nearest = candidate;
            nearestDistance = distance;
        }
    }
    return nearest;
}

QStringList UnknownKeyLines(Settings &settings, const QString &section, const QStringList &known)
{
    QStringList lines;
    for (const QString &key : settings.Keys(section)) {
        if (known.contains(key))
            continue;
        const std::optional<QString> nearest = NearestName(key, known);
        lines.append(
            key + u'=' + settings.GetValue(section, key) +
            QStringLiteral(": Nothing reads this key") +
            (nearest ? QStringLiteral("; did you mean %1?").arg(*nearest) : QStringLiteral(".")));
    }
    return lines;
}
