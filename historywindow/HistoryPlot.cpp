#include "HistoryPlot.h"

#include "TimeTicks.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
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

// Narrower, an outage of a minute, or a restart, vanishes from a plot of a year.
constexpr double kNarrowestSpanPx = 2;
const QPen kPrimaryPen(QColor(31, 119, 180), 1.2);

bool Overlaps(const TimeSpan &span, qint64 fromMs, qint64 toMs)
{
    return span.fromMs < toMs && span.toMs > fromMs;
}

// The outline of shaded spans: up at a span's start, down at its end, along the axis
// in between, where the area has no height.
QList<QPointF> SpansOutline(const QList<TimeSpan> &spans, double top)
{
    QList<QPointF> outline;
    outline.reserve(spans.size() * 4);
    for (const TimeSpan &span : spans) {
        outline << QPointF(double(span.fromMs), 0) << QPointF(double(span.fromMs), top)
                << QPointF(double(span.toMs), top) << QPointF(double(span.toMs), 0);
    }
    return outline;
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

    m_unmonitoredOutline = new QLineSeries;
    m_unmonitored = new QAreaSeries(m_unmonitoredOutline);
    m_unmonitoredOutline->setParent(m_unmonitored);
    m_unmonitored->setName(QStringLiteral("Not monitored"));
    m_unmonitored->setPen(Qt::NoPen);
    m_unmonitored->setBrush(QColor(128, 128, 128, 60));

    m_outageOutline = new QLineSeries;
    m_outages = new QAreaSeries(m_outageOutline);
    m_outageOutline->setParent(m_outages);
    m_outages->setName(QStringLiteral("Outage"));
    m_outages->setPen(Qt::NoPen);
    m_outages->setBrush(QColor(214, 39, 40, 70));

    m_primary = new QLineSeries;
    m_primary->setName(QStringLiteral("Primary address"));
    m_primary->setPen(kPrimaryPen);
    m_secondary = MarkSeries(QStringLiteral("Secondary address"), QScatterSeries::MarkerShapeCircle,
                             5, QColor(44, 160, 44));
    m_failingCycles = MarkSeries(QStringLiteral("Failing cycle"),
                                 QScatterSeries::MarkerShapeRectangle, 7, QColor(214, 39, 40));
    m_failCommands = MarkSeries(QStringLiteral("Fail command sent"),
                                QScatterSeries::MarkerShapeTriangle, 12, QColor(255, 127, 14));

    // The series are placed by the date-time axis; the marks and their grid come from
    // a second axis on the same range, which can put them on round times.
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setLabelsVisible(false);
    m_timeAxis->setGridLineVisible(false);
    m_ticks = new QCategoryAxis;
    m_ticks->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    connect(m_timeAxis, &QDateTimeAxis::rangeChanged, this, [this] { MarkRoundTimes(); });
    m_roundTripAxis = new QValueAxis;
    m_roundTripAxis->setTitleText(QStringLiteral("Round trip (ms)"));
    m_roundTripAxis->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(m_ticks, Qt::AlignBottom);
    chart->addAxis(m_roundTripAxis, Qt::AlignLeft);
    // Drawn in this order: the shading under the lines, the marks over them.
    for (QAbstractSeries *series : std::initializer_list<QAbstractSeries *>{
             m_unmonitored, m_outages, m_primary, m_secondary, m_failingCycles, m_failCommands}) {
        chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_roundTripAxis);
    }
}

void HistoryPlot::plot(const HistoryRange &range, qint64 nowMs)
{
    m_range = range;
    m_nowMs = nowMs;
    m_notMonitored = NotMonitoredSpans(range, nowMs);
    const double peak = std::max(HighestPeak(range.primary), HighestPeak(range.secondary));
    m_roundTripAxis->setRange(0, std::max(peak * kHeadroom, kSmallestTopMs));
    m_roundTripAxis->applyNiceNumbers();
    const double top = m_roundTripAxis->max();

    QList<TimeSpan> gaps = m_notMonitored;
    for (const OutageEntry &outage : range.outages)
        gaps.append({outage.startMs, outage.endMs.value_or(nowMs)});
    DrawPrimary(range, gaps);
    m_secondary->replace(Envelope(range.secondary));
    m_failingCycles->replace(AtHeight(range.failingCycleMs, 0));
    m_failCommands->replace(AtHeight(range.failCommandMs, top * kFailCommandHeight));
    DrawSpans(top);

    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(range.fromMs),
                         QDateTime::fromMSecsSinceEpoch(range.toMs));
}

QList<QLineSeries *> HistoryPlot::primaryLines() const
{
    return QList<QLineSeries *>{m_primary} + m_primaryPieces;
}

void HistoryPlot::DrawPrimary(const HistoryRange &range, const QList<TimeSpan> &gaps)
{
    QList<QList<RoundTripPoint>> pieces(1);
    for (const RoundTripPoint &point : range.primary) {
        if (!pieces.last().isEmpty()) {
            const qint64 previousMs = pieces.last().last().atMs;
            if (std::any_of(gaps.begin(), gaps.end(), [&](const TimeSpan &gap) {
                    return Overlaps(gap, previousMs, point.atMs);
                }))
                pieces.append(QList<RoundTripPoint>());
        }
        pieces.last().append(point);
    }
    m_primary->replace(Envelope(pieces.first()));
    while (m_primaryPieces.size() > pieces.size() - 1)
        delete m_primaryPieces.takeLast();
    while (m_primaryPieces.size() < pieces.size() - 1) {
        auto *piece = new QLineSeries;
        piece->setPen(kPrimaryPen);
        chart()->addSeries(piece);
        piece->attachAxis(m_timeAxis);
        piece->attachAxis(m_roundTripAxis);
        for (QLegendMarker *marker : chart()->legend()->markers(piece))
            marker->setVisible(false);
        m_primaryPieces.append(piece);
    }
    for (qsizetype index = 1; index < pieces.size(); ++index)
        m_primaryPieces[index - 1]->replace(Envelope(pieces[index]));
}

void HistoryPlot::DrawSpans(double top)
{
    const double widthPx = std::max(chart()->plotArea().width(), 1.0);
    const auto narrowestMs =
        qint64(kNarrowestSpanPx * double(m_range.toMs - m_range.fromMs) / widthPx);
    QList<TimeSpan> outages;
    for (const OutageEntry &outage : std::as_const(m_range.outages))
        outages.append({outage.startMs, outage.endMs.value_or(m_nowMs)});
    m_outageOutline->replace(
        SpansOutline(ShadedSpans(outages, narrowestMs, m_range.fromMs, m_range.toMs), top));
    m_unmonitoredOutline->replace(
        SpansOutline(ShadedSpans(m_notMonitored, narrowestMs, m_range.fromMs, m_range.toMs), top));
}

void HistoryPlot::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    // The narrowest span is measured in pixels.
    DrawSpans(m_roundTripAxis->max());
}

void HistoryPlot::MarkRoundTimes()
{
    const qint64 fromMs = m_timeAxis->min().toMSecsSinceEpoch();
    const qint64 toMs = m_timeAxis->max().toMSecsSinceEpoch();
    for (const QString &label : m_ticks->categoriesLabels())
        m_ticks->remove(label);
    m_ticks->setRange(double(fromMs), double(toMs));
    m_ticks->setStartValue(double(fromMs));
    for (const TimeTick &tick : RoundTimeTicks(fromMs, toMs))
        m_ticks->append(tick.label, double(tick.atMs));
}
