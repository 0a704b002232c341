#pragma once

#include "HistorySource.h"
#include "MonitoredTime.h"

#include <QChartView>

class QAreaSeries;
class QCategoryAxis;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The round-trip time of both addresses over a range. A bucket that folds several
// cycles is drawn from its minimum to its maximum, so that a single slow echo still
// shows as a peak. The line breaks across an outage and across time nobody watched,
// which is shaded grey: a line drawn over either would claim answers that never
// came. Outages and time nobody watched are shaded spans at least 2 pixels wide,
// however short; failing cycles are marks on the time axis, fail-command sends
// triangles near the top. The time axis marks round times.
class HistoryPlot final : public QChartView
{
public:
    explicit HistoryPlot(QWidget *parent = nullptr);

    // The time axis spans the range exactly; an outage that lasts is shaded up to
    // nowMs.
    void plot(const HistoryRange &range, qint64 nowMs);

    QDateTimeAxis &timeAxis() const { return *m_timeAxis; }
    // The labelled marks on round times.
    QCategoryAxis &tickAxis() const { return *m_ticks; }
    // The primary address's line, in pieces that never cross a gap.
    QList<QLineSeries *> primaryLines() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void DrawPrimary(const HistoryRange &range, const QList<TimeSpan> &gaps);
    void DrawSpans(double top);
    void MarkRoundTimes();

    HistoryRange m_range;
    qint64 m_nowMs = 0;
    QList<TimeSpan> m_notMonitored;
    QLineSeries *m_primary = nullptr;
    // The pieces of the primary line after the first, which alone has a legend entry.
    QList<QLineSeries *> m_primaryPieces;
    QLineSeries *m_unmonitoredOutline = nullptr;
    QAreaSeries *m_unmonitored = nullptr;
    QScatterSeries *m_secondary = nullptr;
    QLineSeries *m_outageOutline = nullptr;
    QAreaSeries *m_outages = nullptr;
    QScatterSeries *m_failingCycles = nullptr;
    QScatterSeries *m_failCommands = nullptr;
    QDateTimeAxis *m_timeAxis = nullptr;
    QCategoryAxis *m_ticks = nullptr;
    QValueAxis *m_roundTripAxis = nullptr;
};
