#pragma once

#include "HistorySource.h"

#include <QWidget>

class Clock;
class HistoryPlot;
class MessageBoxes;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// The ranges the window offers, each ending now; in the order of its list.
enum class HistorySpan
{
    Hour,
    Day,
    Week,
    Month,
    Year,
};

// At most this many points per series are asked of the source: more than a screen
// has pixels across, and few enough to draw at once.
constexpr int kPlotPoints = 2000;

// The outage history beside the main window: the round-trip plot of a range, its
// availability and outages, and the ledger of those outages. Selecting an outage
// zooms the plot to it; "Export CSV…" writes the range's ledger.
class HistoryWindow final : public QWidget
{
    Q_OBJECT

public:
    HistoryWindow(HistorySource &source, const Clock &clock, MessageBoxes &boxes,
                  QWidget *parent = nullptr);

    // The range shown, read again at once while the window can be seen.
    void setSpan(HistorySpan span);
    // A cycle came in. While the window can be seen the range is read again, at
    // most once a second however fast cycles come (PING NOW clicks); while hidden,
    // nothing is read until it shows.
    void cycleArrived();

    HistoryPlot &plot() const { return *m_plot; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void BuildControls();
    bool CanBeSeen() const;
    void Reload();
    void FillLedger();
    void ShowSelectedOutage();
    void ExportCsv();

    HistorySource &m_source;
    const Clock &m_clock;
    MessageBoxes &m_boxes;
    QComboBox *m_spanChoice = nullptr;
    QLabel *m_availability = nullptr;
    QLabel *m_outages = nullptr;
    QPushButton *m_wholeRange = nullptr;
    HistoryPlot *m_plot = nullptr;
    QTableWidget *m_ledger = nullptr;
    // What the marks after the ends in the ledger mean, shown only while it has one.
    QLabel *m_ledgerNotes = nullptr;
    // The one read that the cycles coming in within its interval share; its object
    // name, tmrRefresh, lets a test run it without waiting out the interval.
    QTimer *m_refresh = nullptr;
    HistoryRange m_range;
    qint64 m_nowMs = 0;
    // Cycles came in, or the range changed, while nobody could see the window.
    bool m_stale = false;
};
