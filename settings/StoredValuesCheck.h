#pragma once

#include <QStringList>

class LogWriter;
class MessageBoxes;
class Settings;
class WindowFields;

// Start-up, right after the stored values were loaded into the fields: every stored
// value its field would refuse if typed is replaced in the field by its fallback, and
// reported, all at once, in one log entry and one "Settings" box, each as
// "Key=value: refusal" and what runs instead. A number falls back to its field's
// default, the value a first run uses; a schedule time leaves its slot switched off.
// The store keeps what the user wrote. A key never stored holds its field's default,
// which is valid, so a first run reports nothing.
void TakeFallbacksForRefusedStoredValues(Settings &settings, WindowFields &fields, LogWriter &log,
                                         MessageBoxes &boxes);

// Every start-up check of the store ends the same way: the refused lines under the
// caller's introduction, in one log entry and one "Settings" box, so that all refused
// values read alike wherever they are stored. No lines, nothing is told.
void ReportRefusedLines(const QStringList &lines, const QString &introduction, LogWriter &log,
                        MessageBoxes &boxes);
