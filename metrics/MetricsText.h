#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// What the watch looks like after a cycle, for the tools that watch many monitors.
struct MetricsSnapshot
{
    bool up = false;
    // Only for an address that answered in the last cycle.
    std::optional<qint32> primaryRoundTripMs;
    std::optional<qint32> secondaryRoundTripMs;
    // Over each address's judging window, for an address judged in the last cycle:
    // the share of its echoes lost and the median round trip. None while no loss or
    // round-trip limit is set.
    std::optional<double> primaryLossPercent;
    std::optional<qint32> primaryMedianMs;
    std::optional<double> secondaryLossPercent;
    std::optional<qint32> secondaryMedianMs;
    qint16 failCount = 0;
    // Empty while the field holds no whole number.
    std::optional<qint16> retries;
    qint64 outages = 0;
    qint64 failCommands = 0;
    qint64 scheduledCommands = 0;
    qint64 lastCycleMs = 0;
};

// The snapshot in the Prometheus text exposition format (version 0.0.4), each
// metric with its HELP and TYPE lines, ready for node_exporter's textfile collector.
// Every sample carries the label watch="<watch>".
QByteArray MetricsText(const QString &watch, const MetricsSnapshot &snapshot);
