#pragma once

#include <QString>

class SettingsStore;
class WindowFields;

// The first line a headless copy writes on standard error, once the stored values are
// in the fields: where it runs, so that a service's journal starts with it.
// "Corvane runs headless: settings <file>, log <file>, history <file>, port 1 on
// /dev/ttyS0, addresses 192.0.2.1 and 198.51.100.1."
QString HeadlessStartLine(const QString &settingsFile, const QString &historyFile,
                          const WindowFields &fields, SettingsStore &store);
