#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// One echo of a cycle: the text of the address field as probed, and its result. Every
// member has an initializer, so that a report that names some fields leaves the rest empty.
struct ProbeReport
{
    QString address;
    // The address the echo went to, where it differs from the text (a host name);
    // empty otherwise.
    QString resolved{};
    // 0: answered; otherwise the echo status of the last failure.
    qint32 status = 0;
    // Meaningful only when the echo was answered.
    qint32 roundTripMs = 0;
    // Echo requests sent to this address in the cycle.
    qint32 echoes = 0;
    // Over the address's judging window, when a loss or round-trip limit is set: the
    // share of its echoes lost, and the median round trip of those answered (none when
    // no echo was answered).
    std::optional<double> lossPercent{};
    std::optional<qint32> medianMs{};
};

// A ping cycle that ran to its end and was counted.
struct CycleReport
{
    ProbeReport primary;
    // Probed only when the primary address did not answer.
    std::optional<ProbeReport> secondary{};
    bool answered = false;
    // Echo requests of the cycle, over both addresses.
    qint32 echoes = 0;
    // The failure count after this cycle, as the meter shows it.
    qint16 failCount = 0;
    // PING NOW rather than the ping period.
    bool byUser = false;
    // During an outage, an address passed the fail limits but not the recovery limits:
    // the cycle neither failed nor answered, and the failure count held.
    bool held = false;
    // Why the cycle failed or held although an address answered, in sentences; empty
    // when no limit decided it.
    QString reason{};
};

enum class CommandKind
{
    Fail,      // the failure action
    FailTest,  // FAIL TEST
    Scheduled, // a scheduled slot
};

// What the watch does, told to the parts that record, show or act on it beyond the
// window and the log. The engine and the link call these on the user-interface
// thread, each after the log entries of what it reports; a listener must not wait
// and must not throw. Within a cycle: outageStarted, then cycleDone, then any
// commandSent; an answer ends the outage before its cycleDone.
class WatchEvents
{
public:
    virtual ~WatchEvents() = default;

    virtual void watchStarted() {}
    // The watch's second tick has run to its end, its cycle included; a watch that is
    // stuck anywhere on its thread tells no more of these.
    virtual void watchTicked() {}
    // A cycle that could not tell anything about the line (a stop, no permission to
    // send echoes) is not reported.
    virtual void cycleDone(const CycleReport &) {}
    // No echo can be sent, as this user may open no echo socket, so the watch sees
    // nothing of the line (true); echoes went out again (false). Told as it changes,
    // from the check at start-up on, before the cycle that changed it is reported.
    virtual void watchBlind(bool) {}
    // The first failing cycle after an answer, or after the start.
    virtual void outageStarted() {}
    // The first answer after a failing cycle.
    virtual void outageEnded() {}
    // A command went to the port (its bytes, or as many as the link could write).
    virtual void commandSent(CommandKind, const QString &) {}
    // What the router's console sent, as read from the port.
    virtual void consoleReceived(const QByteArray &) {}
    // The verdict on a fail command when an acknowledgement is awaited, after its log
    // entry: the console line that matched, or the last line the console sent (empty
    // when it sent nothing) once the wait is over.
    virtual void acknowledgement(bool, const QString &) {}
    // A stop is under way and the stop line comes next: a listener that still has
    // something to log does it now.
    virtual void watchStopping() {}
    // The stop line has been written; nothing follows.
    virtual void watchStopped() {}
};

// Hands every event to each listener, in the order they started to listen. With
// none, nothing happens.
class WatchEventHub final : public WatchEvents
{
public:
    // The listener must outlive the hub or never be told anything after it ends.
    void listen(WatchEvents &listener) { m_listeners.push_back(&listener); }

    void watchStarted() override;
    void watchTicked() override;
    void cycleDone(const CycleReport &report) override;
    void watchBlind(bool blind) override;
    void outageStarted() override;
    void outageEnded() override;
    void commandSent(CommandKind kind, const QString &command) override;
    void consoleReceived(const QByteArray &bytes) override;
    void acknowledgement(bool acknowledged, const QString &line) override;
    void watchStopping() override;
    void watchStopped() override;

private:
    std::vector<WatchEvents *> m_listeners;
};
