#pragma once

#include "HistorySource.h"

#include <QChartView>

class QAreaSeries;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The round-trip time of both addresses over a range. A bucket that folds several
// cycles is drawn from its minimum to its maximum, so that a single slow echo still
// shows as a peak. Outages are shaded spans, failing cycles marks on the time axis,
// fail-command sends triangles near the top.
class HistoryPlot final : public QChartView
{
public:
    explicit HistoryPlot(QWidget *parent = nullptr);

    // The time axis spans the range exactly; an outage that lasts is shaded up to
    // nowMs.
    void plot(const HistoryRange &range, qint64 nowMs);

    QDateTimeAxis &timeAxis() const { return *m_timeAxis; }

private:
    QLineSeries *m_primary = nullptr;
    QScatterSeries *m_secondary = nullptr;
    QLineSeries *m_outageOutline = nullptr;
    QAreaSeries *m_outages = nullptr;
    QScatterSeries *m_failingCycles = nullptr;
    QScatterSeries *m_failCommands = nullptr;
    QDateTimeAxis *m_timeAxis = nullptr;
    QValueAxis *m_roundTripAxis = nullptr;
};
