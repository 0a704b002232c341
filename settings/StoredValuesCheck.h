#pragma once

#include "WindowFields.h"

#include <QList>
#include <QStringList>

#include <optional>

class LogWriter;
class MessageBoxes;
class Settings;

// Start-up, right after the stored values were loaded into the fields: every stored
// value the watch does not run with, as "Key=value: why" and what runs instead, in
// the order the keys are read. That is a key the load did not take (notTaken), which
// keeps its field's default; a value its field would refuse if typed, replaced in the
// field by its fallback, the value a first run uses, or for a schedule time its slot
// switched off; a port that cannot be used, which is kept, so that no other port is
// opened in its place; and a key nothing reads. The store keeps what the user wrote. A
// key never stored holds its field's default, which is valid, so a first run has none.
// The settings check lists these same lines, so the two cannot disagree.
// A settings file that is there but cannot be read (a FIFO, a folder, a loop of links)
// leaves every value at its default, which the report says in this one line in place
// of any other; nothing when the file can be read or is missing.
std::optional<QString> UnreadSettingsLine(Settings &settings);

QStringList TakeFallbacksForStoredValues(Settings &settings, WindowFields &fields,
                                         const QList<Field> &notTaken);

// The same, reported all at once in one log entry and one "Settings" box.
void TakeFallbacksForRefusedStoredValues(Settings &settings, WindowFields &fields,
                                         const QList<Field> &notTaken, LogWriter &log,
                                         MessageBoxes &boxes);

// Every start-up check of the store ends the same way: the refused lines under the
// caller's introduction, in one log entry and one "Settings" box, so that all refused
// values read alike wherever they are stored. No lines, nothing is told.
void ReportRefusedLines(const QStringList &lines, const QString &introduction, LogWriter &log,
                        MessageBoxes &boxes);
