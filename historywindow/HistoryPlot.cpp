#include "HistoryPlot.h"

#include <QAreaSeries>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>

namespace {

// An empty or flat range still gets a readable round-trip scale.
constexpr double kSmallestTopMs = 10;
// Headroom above the highest peak, where the fail-command marks sit.
constexpr double kHeadroom = 1.15;
constexpr double kFailCommandHeight = 0.93;

// The labels of the time axis, as fine as the span needs.
QString TimeFormat(qint64 spanMs)
{
    if (spanMs <= 26 * kHourMs)
        return QStringLiteral("HH:mm");
    if (spanMs <= 8 * kDayMs)
        return QStringLiteral("ddd HH:mm");
    if (spanMs <= 40 * kDayMs)
        return QStringLiteral("MMM d");
    return QStringLiteral("MMM yyyy");
}

// Each bucket from its minimum to its maximum: the line runs up and down through
// every peak.
QList<QPointF> Envelope(const QList<RoundTripPoint> &points)
{
    QList<QPointF> line;
    line.reserve(points.size() * 2);
    for (const RoundTripPoint &point : points) {
        line.append(QPointF(double(point.atMs), point.minimumMs));
        if (point.maximumMs != point.minimumMs)
            line.append(QPointF(double(point.atMs), point.maximumMs));
    }
    return line;
}

qint32 HighestPeak(const QList<RoundTripPoint> &points)
{
    qint32 highest = 0;
    for (const RoundTripPoint &point : points)
        highest = std::max(highest, point.maximumMs);
    return highest;
}

QList<QPointF> AtHeight(const QList<qint64> &times, double height)
{
    QList<QPointF> marks;
    marks.reserve(times.size());
    for (const qint64 atMs : times)
        marks.append(QPointF(double(atMs), height));
    return marks;
}

QScatterSeries *MarkSeries(const QString &name, QScatterSeries::MarkerShape shape, qreal size,
                           const QColor &color)
{
    auto *series = new QScatterSeries;
    series->setName(name);
    series->setMarkerShape(shape);
    series->setMarkerSize(size);
    series->setColor(color);
    series->setBorderColor(color.darker());
    return series;
}

} // namespace

HistoryPlot::HistoryPlot(QWidget *parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("plot"));
    setRenderHint(QPainter::Antialiasing);
    QChart *chart = this->chart();
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));

    // The outline of every span in one series: up at an outage's start, down at its
    // end, along the axis in between, where the area has no height.
    m_outageOutline = new QLineSeries;
    m_outages = new QAreaSeries(m_outageOutline);
    m_outageOutline->setParent(m_outages);
    m_outages->setName(QStringLiteral("Outage"));
    m_outages->setPen(Qt::NoPen);
    m_outages->setBrush(QColor(214, 39, 40, 70));

    m_primary = new QLineSeries;
    m_primary->setName(QStringLiteral("Primary address"));
    m_primary->setPen(QPen(QColor(31, 119, 180), 1.2));
    m_secondary = MarkSeries(QStringLiteral("Secondary address"), QScatterSeries::MarkerShapeCircle,
                             5, QColor(44, 160, 44));
    m_failingCycles = MarkSeries(QStringLiteral("Failing cycle"),
                                 QScatterSeries::MarkerShapeRectangle, 7, QColor(214, 39, 40));
    m_failCommands = MarkSeries(QStringLiteral("Fail command sent"),
                                QScatterSeries::MarkerShapeTriangle, 12, QColor(255, 127, 14));

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setTickCount(7);
    m_roundTripAxis = new QValueAxis;
    m_roundTripAxis->setTitleText(QStringLiteral("Round trip (ms)"));
    m_roundTripAxis->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(m_roundTripAxis, Qt::AlignLeft);
    // Drawn in this order: the shading under the lines, the marks over them.
    for (QAbstractSeries *series : std::initializer_list<QAbstractSeries *>{
             m_outages, m_primary, m_secondary, m_failingCycles, m_failCommands}) {
        chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_roundTripAxis);
    }
}

void HistoryPlot::plot(const HistoryRange &range, qint64 nowMs)
{
    const double peak = std::max(HighestPeak(range.primary), HighestPeak(range.secondary));
    m_roundTripAxis->setRange(0, std::max(peak * kHeadroom, kSmallestTopMs));
    m_roundTripAxis->applyNiceNumbers();
    const double top = m_roundTripAxis->max();

    m_primary->replace(Envelope(range.primary));
    m_secondary->replace(Envelope(range.secondary));
    m_failingCycles->replace(AtHeight(range.failingCycleMs, 0));
    m_failCommands->replace(AtHeight(range.failCommandMs, top * kFailCommandHeight));

    QList<QPointF> outline;
    outline.reserve(range.outages.size() * 4);
    for (const OutageEntry &outage : range.outages) {
        const double start = double(std::max(outage.startMs, range.fromMs));
        const double end = double(std::min(outage.endMs.value_or(nowMs), range.toMs));
        outline << QPointF(start, 0) << QPointF(start, top) << QPointF(end, top) << QPointF(end, 0);
    }
    m_outageOutline->replace(outline);

    m_timeAxis->setFormat(TimeFormat(range.toMs - range.fromMs));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(range.fromMs),
                         QDateTime::fromMSecsSinceEpoch(range.toMs));
}
