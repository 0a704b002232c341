#pragma once

#include "WatchEvents.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

#include <optional>

class Clock;
class LogWriter;
struct Options;

// Proof that the router heard: after each fail-command send, what the console sends
// within the acknowledgement time is matched against the pattern, and the log gets
// the verdict. The console is read by the receive poll, as ever; this only listens,
// and a tick after each poll ends a wait whose time is up, so that the watch goes on
// meanwhile. A fail command sent again while a wait is open restarts its time, and
// one verdict covers both sends.
class AckWatcher final : public WatchEvents
{
public:
    AckWatcher(const Options &options, LogWriter &log, const Clock &clock);

    // Each verdict, after its log entry, goes to the listeners too; none are told
    // until this is set.
    void reportVerdictsTo(WatchEvents &events) { m_verdicts = &events; }

    void commandSent(CommandKind kind, const QString &command) override;
    void consoleReceived(const QByteArray &bytes) override;
    // After the receive poll of the same tick, so that bytes that came in time count.
    void Tick();
    // Nothing is logged after the stop line.
    void watchStopped() override { m_deadlineMs.reset(); }

    // The last 2 KB the console sent, for trying a pattern on.
    const QByteArray &ConsoleTail() const { return m_tail; }

private:
    const Options &m_options;
    LogWriter &m_log;
    const Clock &m_clock;
    WatchEvents *m_verdicts = nullptr;
    // Set while a wait is open.
    std::optional<qint64> m_deadlineMs;
    QRegularExpression m_pattern;
    qint32 m_waitSeconds = 0;
    // What the console sent since the send, as text; its latest part only.
    QString m_received;
    QByteArray m_tail;
};
