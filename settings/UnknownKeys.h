#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class Settings;

// The known name closest to name, by edits of one character (case aside), when it is
// near enough to be a slip of the keyboard: at most 2 edits, and at most a third of
// name. Of several as close, the first in known.
std::optional<QString> NearestName(const QString &name, const QStringList &known);

// One "Key=value: ..." line for each key of the section that is none of known: names
// are case-sensitive, so a key spelt otherwise is never read, and a setting the user
// believes in would silently keep its default. Each names its nearest known key.
QStringList UnknownKeyLines(Settings &settings, const QString &section, const QStringList &known);
