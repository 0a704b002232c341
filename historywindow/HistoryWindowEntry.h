#pragma once

#include "WatchEvents.h"

#include <QIcon>

#include <memory>

class Clock;
class HistorySource;
class HistoryWindow;
class MessageBoxes;

// The History window as the program offers it: made on first use, so that a monitor
// nobody looks at spends nothing on it, and told of every cycle from then on.
class HistoryWindowEntry final : public WatchEvents
{
public:
    HistoryWindowEntry(HistorySource &source, const Clock &clock, MessageBoxes &boxes, QIcon icon);
    ~HistoryWindowEntry() override;

    // Shows the window in front, making it the first time.
    HistoryWindow &open();
    // Null until first opened.
    HistoryWindow *window() const { return m_window.get(); }

    void cycleDone(const CycleReport &report) override;

private:
    HistorySource &m_source;
    const Clock &m_clock;
    MessageBoxes &m_boxes;
    const QIcon m_icon;
    std::unique_ptr<HistoryWindow> m_window;
};
