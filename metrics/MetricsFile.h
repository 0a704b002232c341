#pragma once

#include "MetricsText.h"
#include "WatchEvents.h"

#include <QString>

class Clock;
class LogWriter;
class WindowFields;

// Keeps a metrics file for node_exporter's textfile collector: every cycle replaces
// it whole, so that a scrape never reads half a file. The file is the fleet's view
// of this monitor, never a reason to stop watching: a failed write is logged once
// for each run of failures and the watch goes on.
class MetricsFile final : public WatchEvents
{
public:
    MetricsFile(const WindowFields &fields, const Clock &clock, LogWriter &log);

    // [Options] MetricsFile; empty writes nothing. The file's name, less ".prom",
    // names the watch in every sample: files that share a collector's folder have
    // names of their own, so the name tells the watches apart without a setting.
    void setPath(const QString &path);

    void cycleDone(const CycleReport &report) override;
    void outageStarted() override;
    void commandSent(CommandKind kind, const QString &command) override;

private:
    void Write();

    const WindowFields &m_fields;
    const Clock &m_clock;
    LogWriter &m_log;
    QString m_path;
    QString m_watch;
    MetricsSnapshot m_snapshot;
    bool m_cycleSeen = false;
    bool m_failing = false;
};
