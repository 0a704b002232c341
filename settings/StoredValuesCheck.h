#pragma once

#include <QStringList>

class LogWriter;
class MessageBoxes;
class Settings;
class WindowFields;

// Start-up, right after the stored values were loaded into the fields: every stored
// value its field would refuse if typed is reported, all at once, in one log entry
// and one "Settings" box, each as "Key=value: refusal". Nothing is changed: the
// store keeps what the user wrote and the watch runs with its fallbacks. A key never
// stored holds its field's default, which is valid, so a first run reports nothing.
void ReportRefusedStoredValues(Settings &settings, const WindowFields &fields, LogWriter &log,
                               MessageBoxes &boxes);

// Every start-up check of the store ends the same way: the refused lines under the
// caller's introduction, in one log entry and one "Settings" box, so that all refused
// values read alike wherever they are stored. No lines, nothing is told.
void ReportRefusedLines(const QStringList &lines, const QString &introduction, LogWriter &log,
                        MessageBoxes &boxes);
