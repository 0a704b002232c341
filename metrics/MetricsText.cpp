#include "MetricsText.h"

#include <QString>

namespace {

// Seconds with their milliseconds, in the exposition format's plain decimal form
// whatever the locale: 1796650992.125, 0.012.
QString Seconds(qint64 milliseconds)
{
    return QStringLiteral("%1.%2")
        .arg(milliseconds / 1000)
        .arg(milliseconds % 1000, 3, 10, QLatin1Char('0'));
}

void AddFamily(QString &text, const char *name, const char *type, const char *help)
{
    text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

// A label value as the exposition format quotes it: a file's name may hold any of
// these, and one left bare would end the value early or break the line.
QString Quoted(const QString &value)
{
    QString quoted = value;
    quoted.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'\n', QStringLiteral("\\n"));
    return u'"' + quoted + u'"';
}

void AddSample(QString &text, const char *name, const QString &labels, const QString &value)
{
    text += QLatin1String(name) + u'{' + labels + QStringLiteral("} ") + value + u'\n';
}

// A percentage as a share of one: 0.4, 0.3333333333333333, 1.
QString Ratio(double percent)
{
    // Fifteen digits tell any two shares of a window's echoes apart, and read 40 % as
    // 0.4 rather than 0.40000000000000002.
    return QString::number(percent / 100.0, 'g', 15);
}

template <typename Value, typename Format>
void AddWindowSample(QString &text, const char *name, const QString &labels,
                     const std::optional<Value> &primary, const std::optional<Value> &secondary,
                     Format format)
{
    if (primary)
        AddSample(text, name, labels + QStringLiteral(R"(,address="primary")"), format(*primary));
    if (secondary)
        AddSample(text, name, labels + QStringLiteral(R"(,address="secondary")"),
                  format(*secondary));
}

} // namespace

QByteArray MetricsText(const QString &watch, const MetricsSnapshot &snapshot)
{
    // Every sample names its watch, so that the files of several watches in one
    // collector's folder make one series each rather than clashing ones.
    const QString labels = QStringLiteral("watch=") + Quoted(watch);
    QString text;
    AddFamily(text, "corvane_up", "gauge",
              "Whether the last ping cycle had an answer (1) or not (0).");
    AddSample(text, "corvane_up", labels, QString::number(snapshot.up ? 1 : 0));

    AddFamily(text, "corvane_rtt_seconds", "gauge",
              "Round-trip time of the echo in the last cycle, for each address that answered.");
    if (snapshot.primaryRoundTripMs)
        AddSample(text, "corvane_rtt_seconds", labels + QStringLiteral(R"(,address="primary")"),
                  Seconds(*snapshot.primaryRoundTripMs));
    if (snapshot.secondaryRoundTripMs)
        AddSample(text, "corvane_rtt_seconds", labels + QStringLiteral(R"(,address="secondary")"),
                  Seconds(*snapshot.secondaryRoundTripMs));

    // Only with a limit set, so that a watch without one writes the file it always did.
    if (snapshot.primaryLossPercent || snapshot.primaryMedianMs || snapshot.secondaryLossPercent ||
        snapshot.secondaryMedianMs) {
        AddFamily(text, "corvane_loss_ratio", "gauge",
                  "Share of the echoes lost over the address's judging window, 0 to 1.");
        AddWindowSample(text, "corvane_loss_ratio", labels, snapshot.primaryLossPercent,
                        snapshot.secondaryLossPercent, Ratio);
        AddFamily(text, "corvane_median_rtt_seconds", "gauge",
                  "Median round-trip time of the answered echoes over the address's judging "
                  "window.");
        AddWindowSample(text, "corvane_median_rtt_seconds", labels, snapshot.primaryMedianMs,
                        snapshot.secondaryMedianMs, Seconds);
    }

    AddFamily(text, "corvane_failing_cycles", "gauge",
              "Failing cycles in a row, as the meter shows.");
    AddSample(text, "corvane_failing_cycles", labels, QString::number(snapshot.failCount));
    AddFamily(text, "corvane_retries", "gauge",
              "Failing cycles in a row after which the fail command is sent.");
    if (snapshot.retries)
        AddSample(text, "corvane_retries", labels, QString::number(*snapshot.retries));

    AddFamily(text, "corvane_outages_total", "counter", "Outages begun since the monitor started.");
    AddSample(text, "corvane_outages_total", labels, QString::number(snapshot.outages));
    AddFamily(text, "corvane_fail_commands_total", "counter",
              "Fail commands sent on failing cycles since the monitor started (FAIL TEST not "
              "counted).");
    AddSample(text, "corvane_fail_commands_total", labels, QString::number(snapshot.failCommands));
    AddFamily(text, "corvane_scheduled_commands_total", "counter",
              "Scheduled commands sent since the monitor started.");
    AddSample(text, "corvane_scheduled_commands_total", labels,
              QString::number(snapshot.scheduledCommands));

    AddFamily(text, "corvane_last_cycle_timestamp_seconds", "gauge",
              "When the last ping cycle ended, in seconds since the epoch.");
    AddSample(text, "corvane_last_cycle_timestamp_seconds", labels, Seconds(snapshot.lastCycleMs));
    return text.toUtf8();
}
