#pragma once

#include <QString>

class EchoFacility;
class QTextStream;
class SettingsStore;

// What a check of the settings reads and may try, without starting a watch.
struct SettingsCheckInput
{
    SettingsStore &store;
    // The file the store reads, as it is named to the user and to event programs.
    QString settingsFile;
    EchoFacility &echo;
    // Used when the store names no log.
    QString defaultLogPath;
    QString historyPath;
    // The settings are the system service's, whose unit gives it CAP_NET_RAW: it may
    // send echoes whatever the user who asks may do.
    bool serviceMayUseRawSockets = false;
};

// Checks every setting as the watch would take it and writes one line per item, "ok"
// or the reason: the settings file and its lines, the stored values, both addresses
// and how each reads, the echo permission, the port's device (opened and closed at
// once, nothing sent), whether the log, the history and the metrics file may be
// written, and every option, the event programs included. Takes no lock and writes
// nothing. Returns the exit status: 0 when everything is usable, 1 otherwise.
int CheckSettings(const SettingsCheckInput &input, QTextStream &out);
