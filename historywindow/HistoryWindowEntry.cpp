#include "HistoryWindowEntry.h"

#include "HistoryWindow.h"

#include <utility>

HistoryWindowEntry::HistoryWindowEntry(HistorySource &source, const Clock &clock,
                                       MessageBoxes &boxes, QIcon icon)
    : m_source(source), m_clock(clock), m_boxes(boxes), m_icon(std::move(icon))
{
}

HistoryWindowEntry::~HistoryWindowEntry() = default;

HistoryWindow &HistoryWindowEntry::open()
{
    if (!m_window) {
        m_window = std::make_unique<HistoryWindow>(m_source, m_clock, m_boxes);
        m_window->setWindowIcon(m_icon);
    }
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return *m_window;
}

void HistoryWindowEntry::cycleDone(const CycleReport &)
{
    if (m_window)
        m_window->cycleArrived();
}
