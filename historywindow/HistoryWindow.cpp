#include "HistoryWindow.h"

#include "Clock.h"
#include "DurationText.h"
#include "HistoryPlot.h"
#include "LedgerCsv.h"
#include "LedgerText.h"
#include "MessageBoxes.h"
#include "MonitoredTime.h"
#include "WholeFile.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

namespace {

// In the order of HistorySpan.
constexpr std::array<qint64, 5> kSpanMs = {kHourMs, kDayMs, 7 * kDayMs, 30 * kDayMs, 365 * kDayMs};
constexpr int kRefreshIntervalMs = 1000;
// Around a zoomed outage, a margin of a quarter of its length shows how it began and
// ended; a short one still gets a minute either side.
constexpr qint64 kSmallestZoomMarginMs = 60'000;

enum LedgerColumn
{
    StartColumn,
    EndColumn,
    DurationColumn,
    FailCommandsColumn,
    ResponseColumn,
    ColumnCount,
};

} // namespace

HistoryWindow::HistoryWindow(HistorySource &source, const Clock &clock, MessageBoxes &boxes,
                             QWidget *parent)
    : QWidget(parent), m_source(source), m_clock(clock), m_boxes(boxes)
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("Corvane History"));
    resize(900, 640);
    BuildControls();

    m_refresh = new QTimer(this);
    m_refresh->setObjectName(QStringLiteral("tmrRefresh"));
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kRefreshIntervalMs);
    connect(m_refresh, &QTimer::timeout, this, &HistoryWindow::Reload);
    connect(m_spanChoice, &QComboBox::currentIndexChanged, this, [this] {
        if (CanBeSeen())
            Reload();
        else
            m_stale = true;
    });
    connect(m_ledger, &QTableWidget::itemSelectionChanged, this,
            &HistoryWindow::ShowSelectedOutage);
    connect(m_wholeRange, &QPushButton::clicked, m_ledger, &QTableWidget::clearSelection);
}

void HistoryWindow::BuildControls()
{
    m_spanChoice = new QComboBox(this);
    m_spanChoice->setObjectName(QStringLiteral("cmbSpan"));
    m_spanChoice->addItems({QStringLiteral("Last hour"), QStringLiteral("Last 24 hours"),
                            QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"),
                            QStringLiteral("Last year")});
    m_spanChoice->setCurrentIndex(int(HistorySpan::Day));
    m_wholeRange = new QPushButton(QStringLiteral("&Whole range"), this);
    m_wholeRange->setObjectName(QStringLiteral("cmdWholeRange"));
    m_wholeRange->setEnabled(false);
    auto *exportCsv = new QPushButton(QStringLiteral("Export CSV…"), this);
    exportCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    connect(exportCsv, &QPushButton::clicked, this, &HistoryWindow::ExportCsv);

    m_availability = new QLabel(this);
    m_availability->setObjectName(QStringLiteral("lblAvailability"));
    m_outages = new QLabel(this);
    m_outages->setObjectName(QStringLiteral("lblOutages"));

    m_plot = new HistoryPlot(this);
    m_ledger = new QTableWidget(0, ColumnCount, this);
    m_ledger->setObjectName(QStringLiteral("tblLedger"));
    m_ledger->setHorizontalHeaderLabels(
        {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Duration"),
         QStringLiteral("Fail commands"), QStringLiteral("Router's response")});
    m_ledger->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ledger->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ledger->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ledger->verticalHeader()->hide();
    m_ledger->horizontalHeader()->setStretchLastSection(true);
    m_ledgerNotes = new QLabel(this);
    m_ledgerNotes->setObjectName(QStringLiteral("lblLedgerNotes"));
    m_ledgerNotes->setWordWrap(true);
    m_ledgerNotes->hide();

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Range:"), this));
    controls->addWidget(m_spanChoice);
    controls->addWidget(m_wholeRange);
    controls->addStretch();
    controls->addWidget(exportCsv);
    auto *figures = new QHBoxLayout;
    figures->addWidget(m_availability);
    figures->addSpacing(24);
    figures->addWidget(m_outages);
    figures->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(figures);
    layout->addWidget(m_plot, 3);
    layout->addWidget(m_ledger, 2);
    layout->addWidget(m_ledgerNotes);
}

void HistoryWindow::setSpan(HistorySpan span)
{
    m_spanChoice->setCurrentIndex(int(span));
}

void HistoryWindow::cycleArrived()
{
    if (!CanBeSeen()) {
        m_stale = true;
        return;
    }
    if (!m_refresh->isActive())
        m_refresh->start();
}

bool HistoryWindow::CanBeSeen() const
{
    return isVisible() && !isMinimized();
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Opened again after a while: the range ends now, not when it was last shown.
    Reload();
}

void HistoryWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_stale && CanBeSeen())
        Reload();
}

void HistoryWindow::Reload()
{
    m_refresh->stop();
    m_stale = false;
    m_nowMs = m_clock.now().toMSecsSinceEpoch();
    const qint64 spanMs = kSpanMs[size_t(m_spanChoice->currentIndex())];
    m_range = m_source.range(m_nowMs - spanMs, m_nowMs, kPlotPoints);

    m_availability->setText(AvailabilityText(m_range.cycles, m_range.answeredCycles,
                                             TotalMs(NotMonitoredSpans(m_range, m_nowMs)),
                                             m_range.toMs - m_range.fromMs));
    m_outages->setText(OutagesText(FiguresOf(m_range, m_nowMs)));
    FillLedger();
}

void HistoryWindow::FillLedger()
{
    // The outage looked at stays selected, and zoomed, as the range moves on.
    const QList<QTableWidgetSelectionRange> selected = m_ledger->selectedRanges();
    const QVariant selectedStart =
        selected.isEmpty()
            ? QVariant()
            : m_ledger->item(selected.first().topRow(), StartColumn)->data(Qt::UserRole);

    const QSignalBlocker quiet(m_ledger);
    m_ledger->clearSelection();
    m_ledger->setRowCount(int(m_range.outages.size()));
    int reselect = -1;
    bool stopMarked = false;
    bool unwatchedMarked = false;
    for (int row = 0; row < m_ledger->rowCount(); ++row) {
        const OutageEntry &outage = m_range.outages[row];
        const qint64 endMs = outage.endMs.value_or(m_nowMs);
        // An end nobody saw is the outage's last cycle, not the line's return: marked
        // as the report marks it, with the note that says what the mark means.
        const QString mark = EndMark(outage);
        if (!mark.isEmpty())
            (outage.endedByStop ? stopMarked : unwatchedMarked) = true;
        const QString cells[ColumnCount] = {
            LedgerTimeText(outage.startMs),
            (outage.endMs ? LedgerTimeText(*outage.endMs) : QStringLiteral("ongoing")) + mark,
            DurationText(endMs - outage.startMs),
            QString::number(outage.failCommandsSent),
            PrintableConsole(outage.console),
        };
        for (int column = 0; column < ColumnCount; ++column)
            m_ledger->setItem(row, column, new QTableWidgetItem(cells[column]));
        m_ledger->item(row, StartColumn)->setData(Qt::UserRole, outage.startMs);
        // Why a limit began the outage, where one did. As markup made of plain text: an
        // address typed with "<" in it would otherwise be read as a tag.
        if (!outage.reason.isEmpty())
            m_ledger->item(row, StartColumn)
                ->setToolTip(Qt::convertFromPlainText(PrintableText(outage.reason)));
        if (!mark.isEmpty())
            m_ledger->item(row, EndColumn)
                ->setToolTip(EndMarkNotes(outage.endedByStop, !outage.endedByStop).join(u'\n'));
        if (selectedStart == QVariant(outage.startMs))
            reselect = row;
    }
    const QStringList notes = EndMarkNotes(stopMarked, unwatchedMarked);
    m_ledgerNotes->setText(notes.join(u'\n'));
    m_ledgerNotes->setVisible(!notes.isEmpty());
    m_ledger->resizeColumnsToContents();
    if (reselect >= 0)
        m_ledger->selectRow(reselect);
    ShowSelectedOutage();
}

void HistoryWindow::ShowSelectedOutage()
{
    const QList<QTableWidgetSelectionRange> selected = m_ledger->selectedRanges();
    m_wholeRange->setEnabled(!selected.isEmpty());
    if (selected.isEmpty()) {
        m_plot->plot(m_range, m_nowMs);
        return;
    }
    // Read again for the zoomed span, so that its cycles show one by one rather than
    // folded into the buckets of the whole range.
    const OutageEntry &outage = m_range.outages[selected.first().topRow()];
    const qint64 endMs = outage.endMs.value_or(m_nowMs);
    const qint64 margin = std::max((endMs - outage.startMs) / 4, kSmallestZoomMarginMs);
    const qint64 toMs = std::min(endMs + margin, m_nowMs);
    m_plot->plot(m_source.range(outage.startMs - margin, toMs, kPlotPoints), m_nowMs);
}

void HistoryWindow::ExportCsv()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("corvane-outages-%1.csv")
            .arg(QDateTime::fromMSecsSinceEpoch(m_nowMs).toString(QStringLiteral("yyyy-MM-dd"))));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), suggested,
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (const std::optional<QString> failure = WriteWholeFile(path, LedgerCsv(m_range.outages)))
        m_boxes.show(QStringLiteral("The ledger could not be written to %1: %2")
                         .arg(QDir::toNativeSeparators(path), *failure),
                     QStringLiteral("History"), BoxStyle::OkExclamation);
}
