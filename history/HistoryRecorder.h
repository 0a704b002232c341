#pragma once

#include "HistoryStore.h"
#include "OutageSpan.h"
#include "WatchEvents.h"

#include <optional>

class Clock;

// Writes what the watch does into the history store, at the time the clock shows when
// each event arrives. An outage starts where the watch says it does, ends at the first
// of the answered cycles in a row that ended it, and lasts as long as the monotonic
// clock counted: the wall clock only labels its start. A stop ends an open outage at
// its last cycle, marked as ended by the stop; one left open by a crash is closed by
// the next start, alike but marked as ended unwatched. While the line is up, the rows
// of its cycles wait up to the store's kWriteWithinMs and go together; an outage's
// start, its cycles, its end, every command sent and the stop go at once. After the
// cycles it also does the store's retention work: a pass at most once an hour, one
// small batch per cycle until the pass is done.
class HistoryRecorder final : public WatchEvents
{
public:
    HistoryRecorder(HistoryStore &store, const Clock &clock);

    // Off, nothing reaches the store, which is then never opened. Set before the watch
    // starts.
    void setEnabled(bool enabled) { m_enabled = enabled; }

    void watchStarted() override;
    void cycleDone(const CycleReport &report) override;
    void outageStarted() override;
    void outageEnded() override;
    void commandSent(CommandKind kind, const QString &command) override;
    void consoleReceived(const QByteArray &bytes) override;
    // Each second: rows that have waited long enough go in without a timer of ours.
    void watchTicked() override;
    void watchStopped() override;

private:
    qint64 nowMs() const;
    HistoryStore::Write whenToWrite() const;
    void foldIfDue();

    HistoryStore &m_store;
    const Clock &m_clock;
    OutageSpan m_outage;
    bool m_enabled = true;
    bool m_folding = false;
    // On the monotonic count: a wall clock set back must not hold the work back.
    std::optional<qint64> m_nextPassMs;
};
