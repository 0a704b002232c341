#include "FakeClock.h"
#include "FakeHistorySource.h"
#include "FakeMessageBoxes.h"
#include "HistoryPlot.h"
#include "HistoryWindow.h"
#include "LedgerCsv.h"
#include "LedgerText.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <ctime>
#include <memory>

Q_DECLARE_METATYPE(OutageEntry)
Q_DECLARE_METATYPE(QList<OutageEntry>)

namespace {

// A fixed zone an hour east of UTC, with no daylight saving, so that the times of the
// ledger and its CSV file read the same on every machine.
void UseFixedTimeZone()
{
    qputenv("TZ", QByteArrayLiteral("XYZ-1"));
    ::tzset();
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(UseFixedTimeZone)

namespace {

constexpr qint64 kMinuteMs = 60'000;
// 2026-12-07 12:00:00 in the test's zone, an hour east of UTC.
const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0));
const qint64 kNowMs = kNow.toMSecsSinceEpoch();

OutageEntry Outage(qint64 startMs, std::optional<qint64> endMs, QByteArray console = {},
                   qint32 failCommands = 0)
{
    OutageEntry outage;
    outage.startMs = startMs;
    outage.endMs = endMs;
    outage.failingCycles = 7;
    outage.failCommandsSent = failCommands;
    outage.console = std::move(console);
    return outage;
}

// Answers the file dialog the export button opens, once it is up.
void AnswerFileDialog(const QString &path)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        // The dialog reads the folder in the background and may reset the name while
        // it does: accept only once the name has held.
        if (dialog->selectedFiles().value(0) != path) {
            dialog->selectFile(path);
            return;
        }
        poll->stop();
        poll->deleteLater();
        // Through QDialog, where accept() is public; it still runs the dialog's own.
        static_cast<QDialog *>(dialog)->accept();
    });
    poll->start(10);
}

} // namespace

// The History window through its widgets, over a history that records what it is
// asked.
class TestHistoryWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_source = FakeHistorySource();
        m_boxes = FakeMessageBoxes();
        m_window = std::make_unique<HistoryWindow>(m_source, m_clock, m_boxes);
    }
    void cleanup() { m_window.reset(); }

    // Each range ends now and asks for no more points than a plot can use; the time
    // axis spans it exactly.
    void spanChoiceAsksItsRange()
    {
        showWindow();
        QCOMPARE(m_source.requests.size(), 1);
        QCOMPARE(m_source.requests[0].toMs - m_source.requests[0].fromMs, kDayMs);

        const std::pair<int, qint64> spans[] = {
            {0, kHourMs}, {2, 7 * kDayMs}, {3, 30 * kDayMs}, {4, 365 * kDayMs}, {1, kDayMs}};
        for (const auto &[index, spanMs] : spans) {
            child<QComboBox>(QStringLiteral("cmbSpan"))->setCurrentIndex(index);
            const FakeHistorySource::Request &asked = m_source.requests.last();
            QCOMPARE(asked.toMs, kNowMs);
            QCOMPARE(asked.toMs - asked.fromMs, spanMs);
            QCOMPARE(asked.maximumPoints, 2000);
            QCOMPARE(m_window->plot().timeAxis().min().toMSecsSinceEpoch(), asked.fromMs);
            QCOMPARE(m_window->plot().timeAxis().max().toMSecsSinceEpoch(), kNowMs);
        }
        QCOMPARE(m_source.requests.size(), 6);
    }

    void figuresAndLedgerOfTheRange_data()
    {
        QTest::addColumn<qint64>("cycles");
        QTest::addColumn<qint64>("answered");
        QTest::addColumn<QList<OutageEntry>>("outages");
        QTest::addColumn<QString>("availability");
        QTest::addColumn<QString>("outagesText");
        QTest::addColumn<QStringList>("rows");

        QTest::addRow("nothing recorded") << qint64(0) << qint64(0) << QList<OutageEntry>()
                                          << QStringLiteral("Availability unknown: not monitored "
                                                            "at all in this range (1 d 0 h)")
                                          << QStringLiteral("Outages: none") << QStringList();
        QTest::addRow("never rounded up to a hundred")
            << qint64(1000000) << qint64(999999) << QList<OutageEntry>()
            << QStringLiteral("Availability 99.999 % (999,999 of 1,000,000 cycles answered; "
                              "monitored throughout)")
            << QStringLiteral("Outages: none") << QStringList();
        // Only the parts inside the range count: one began before it, one lasts.
        const qint64 fromMs = kNowMs - kDayMs;
        QTest::addRow("outages cut at the range's ends")
            << qint64(1440) << qint64(1400)
            << QList<OutageEntry>{Outage(fromMs - kHourMs, fromMs + 30 * kMinuteMs,
                                         "Router>\r\nreload\r\n", 1),
                                  Outage(kNowMs - 10 * kMinuteMs, std::nullopt)}
            << QStringLiteral("Availability 97.222 % (1,400 of 1,440 cycles answered; monitored "
                              "throughout)")
            << QStringLiteral("Outages: 2, 40 min 0 s in total")
            << QStringList{QStringLiteral("2026-12-06 11:00:00|2026-12-06 12:30:00|1 h 30 min|1|"
                                          "Router> | reload"),
                           QStringLiteral("2026-12-07 11:50:00|ongoing|10 min 0 s|0|")};
    }

    void figuresAndLedgerOfTheRange()
    {
        QFETCH(qint64, cycles);
        QFETCH(qint64, answered);
        QFETCH(QList<OutageEntry>, outages);
        QFETCH(QString, availability);
        QFETCH(QString, outagesText);
        QFETCH(QStringList, rows);

        m_source.contents.cycles = cycles;
        m_source.contents.answeredCycles = answered;
        m_source.contents.outages = outages;
        showWindow();
        QCOMPARE(child<QLabel>(QStringLiteral("lblAvailability"))->text(), availability);
        QCOMPARE(child<QLabel>(QStringLiteral("lblOutages"))->text(), outagesText);
        QCOMPARE(ledgerRows(), rows);
    }

    void selectingAnOutageZoomsToIt_data()
    {
        QTest::addColumn<OutageEntry>("outage");
        QTest::addColumn<qint64>("zoomFromMs");
        QTest::addColumn<qint64>("zoomToMs");

        // A quarter of its length either side; a short one gets a minute.
        const qint64 start = kNowMs - 5 * kHourMs;
        QTest::addRow("twenty minutes") << Outage(start, start + 20 * kMinuteMs)
                                        << start - 5 * kMinuteMs << start + 25 * kMinuteMs;
        QTest::addRow("two minutes")
            << Outage(start, start + 2 * kMinuteMs) << start - kMinuteMs << start + 3 * kMinuteMs;
        QTest::addRow("still down, up to now")
            << Outage(kNowMs - 8 * kMinuteMs, std::nullopt) << kNowMs - 10 * kMinuteMs << kNowMs;
    }

    void selectingAnOutageZoomsToIt()
    {
        QFETCH(OutageEntry, outage);
        QFETCH(qint64, zoomFromMs);
        QFETCH(qint64, zoomToMs);

        m_source.contents.outages = {Outage(kNowMs - 20 * kHourMs, kNowMs - 19 * kHourMs), outage};
        showWindow();
        auto *ledger = child<QTableWidget>(QStringLiteral("tblLedger"));
        auto *wholeRange = child<QPushButton>(QStringLiteral("cmdWholeRange"));
        QVERIFY(!wholeRange->isEnabled());
        QTest::mouseClick(ledger->viewport(), Qt::LeftButton, {},
                          ledger->visualItemRect(ledger->item(1, 0)).center());

        // The zoomed span is read again, so that its cycles are not folded as the
        // whole day's are.
        QCOMPARE(m_source.requests.size(), 2);
        QCOMPARE(m_source.requests[1].fromMs, zoomFromMs);
        QCOMPARE(m_source.requests[1].toMs, zoomToMs);
        QCOMPARE(timeAxisSpan(), std::pair(zoomFromMs, zoomToMs));

        // A cycle coming in keeps the outage zoomed.
        m_window->cycleArrived();
        QTRY_COMPARE(m_source.requests.size(), 4);
        QCOMPARE(timeAxisSpan(), std::pair(zoomFromMs, zoomToMs));

        QVERIFY(wholeRange->isEnabled());
        QTest::mouseClick(wholeRange, Qt::LeftButton);
        QCOMPARE(timeAxisSpan(), std::pair(kNowMs - kDayMs, kNowMs));
        QVERIFY(!wholeRange->isEnabled());
        QCOMPARE(m_source.requests.size(), 4);
    }

    // Cycles are read at most once a second while the window can be seen, and not at
    // all while it cannot; it catches up when it can be seen again. Cycles are read
    // only when the refresh timer runs out, so a timer that is not running says that
    // no read is coming, and running it out stands for its second passing.
    void liveRefreshIsCoalesced()
    {
        auto *refresh = child<QTimer>(QStringLiteral("tmrRefresh"));
        m_window->cycleArrived();
        child<QComboBox>(QStringLiteral("cmbSpan"))->setCurrentIndex(0);
        QVERIFY(m_source.requests.isEmpty());
        QVERIFY(!refresh->isActive());

        showWindow();
        QCOMPARE(m_source.requests.size(), 1);
        for (int cycle = 0; cycle < 5; ++cycle)
            m_window->cycleArrived();
        QCOMPARE(m_source.requests.size(), 1);
        QVERIFY(refresh->isActive());
        QVERIFY(refresh->isSingleShot());
        QCOMPARE(refresh->interval(), 1000);
        QVERIFY(QMetaObject::invokeMethod(refresh, "timeout"));
        QCOMPARE(m_source.requests.size(), 2);
        QVERIFY(!refresh->isActive());

        m_window->setWindowState(Qt::WindowMinimized);
        m_window->cycleArrived();
        // The platform's own word on the state comes as an event.
        QCoreApplication::processEvents();
        QCOMPARE(m_source.requests.size(), 2);
        QVERIFY(!refresh->isActive());
        m_window->setWindowState(Qt::WindowNoState);
        QCOMPARE(m_source.requests.size(), 3);
    }

    // Why a limit began an outage is its start's tooltip, which reads as the reason on
    // one line whatever the address typed into it holds; none where no limit decided.
    void reasonIsTheStartsTooltip()
    {
        m_source.contents.outages = {Outage(kNowMs - 2 * kHourMs, kNowMs - kHourMs),
                                     Outage(kNowMs - kHourMs / 2, std::nullopt)};
        m_source.contents.outages[0].reason = QStringLiteral("Loss 40 % of <b>a&b</b>\ny.");
        showWindow();
        const auto *ledger = child<QTableWidget>(QStringLiteral("tblLedger"));
        QTextDocument shown;
        shown.setHtml(ledger->item(0, 0)->toolTip());
        QCOMPARE(shown.toPlainText(), QStringLiteral("Loss 40 % of <b>a&b</b> | y."));
        QCOMPARE(ledger->item(1, 0)->toolTip(), QString());
    }

    void exportCsvWritesTheLedgerOfTheRange()
    {
        QTemporaryDir folder;
        m_source.contents.outages = {Outage(kNowMs - 2 * kHourMs, kNowMs - kHourMs, "ok", 1)};
        showWindow();

        const QString path = folder.filePath(QStringLiteral("ledger.csv"));
        AnswerFileDialog(path);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("cmdExportCsv")), Qt::LeftButton);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), LedgerCsv(m_source.contents.outages));
        QVERIFY(m_boxes.shown.isEmpty());
    }

    // The line never joins answers across an outage or across time nobody watched,
    // which is shaded and counted; the smallest outage stays visible; the time axis
    // marks round hours.
    void plotDoesNotFlatter_data()
    {
        QTest::addColumn<qint64>("gapFromMs");
        QTest::addColumn<qint64>("gapToMs");
        QTest::addColumn<bool>("outageInGap");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("availability");

        const qint64 fromMs = kNowMs - kDayMs;
        const QString noGap = QStringLiteral(
            "Availability 100.000 % (1,440 of 1,440 cycles answered; monitored throughout)");
        QTest::addRow("watched throughout") << fromMs << fromMs << false << 1 << noGap;
        QTest::addRow("a minute's outage")
            << kNowMs - 7 * kHourMs << kNowMs - 7 * kHourMs + kMinuteMs << true << 2 << noGap;
        QTest::addRow("seven hours unwatched")
            << kNowMs - 10 * kHourMs - 41 * kMinuteMs << kNowMs - 3 * kHourMs << false << 2
            << QStringLiteral("Availability 100.000 % of the monitored time (1,440 of 1,440 "
                              "cycles answered; 7 h 41 min not monitored)");
    }
    void plotDoesNotFlatter()
    {
        QFETCH(qint64, gapFromMs);
        QFETCH(qint64, gapToMs);
        QFETCH(bool, outageInGap);
        QFETCH(int, lines);
        QFETCH(QString, availability);

        // One cycle a minute over the day, none inside the gap.
        m_source.contents.cycles = 1440;
        m_source.contents.answeredCycles = 1440;
        for (qint64 atMs = kNowMs - kDayMs; atMs <= kNowMs; atMs += kMinuteMs) {
            if (atMs <= gapFromMs || atMs >= gapToMs || outageInGap)
                m_source.contents.primary.append({atMs, 20, 20});
        }
        if (outageInGap)
            m_source.contents.outages = {Outage(gapFromMs + 1, gapToMs - 1)};
        showWindow();

        HistoryPlot &plot = m_window->plot();
        QCOMPARE(plot.primaryLines().size(), lines);
        QCOMPARE(child<QLabel>(QStringLiteral("lblAvailability"))->text(), availability);
        for (QLineSeries *line : plot.primaryLines()) {
            const QList<QPointF> points = line->points();
            for (qsizetype index = 1; index < points.size(); ++index)
                QVERIFY(points[index].x() - points[index - 1].x() <= kMinuteMs);
        }
        if (outageInGap) {
            auto *outages = qobject_cast<QAreaSeries *>(plot.chart()->series().at(1));
            const QList<QPointF> outline = outages->upperSeries()->points();
            const double widthPx = plot.chart()->mapToPosition(outline[2], outages).x() -
                                   plot.chart()->mapToPosition(outline[1], outages).x();
            QVERIFY2(widthPx >= 1.99, qPrintable(QString::number(widthPx)));
        }
        const QList<QString> ticks = plot.tickAxis().categoriesLabels();
        QVERIFY(ticks.size() >= 4);
        for (const QString &tick : ticks) {
            const auto atMs = qint64(plot.tickAxis().endValue(tick));
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(atMs).time().minute(), 0);
        }
    }

    void ledgerCsvHasOneLinePerOutage()
    {
        const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(10, 0)).toMSecsSinceEpoch();
        const QByteArray csv =
            LedgerCsv({Outage(start, start + 272'000, "Router> show \"x\", y\r\nok\r\n", 1),
                       Outage(start + kHourMs, std::nullopt)});
        QCOMPARE(csv, QByteArray("start,end,duration_seconds,failing_cycles,fail_commands_sent,"
                                 "router_response,ended_by_stop,ended_unwatched,reason\r\n"
                                 "2026-12-07T10:00:00+01:00,2026-12-07T10:04:32+01:00,272,7,1,"
                                 "\"Router> show \"\"x\"\", y | ok\",0,0,\r\n"
                                 "2026-12-07T11:00:00+01:00,,,7,0,,0,0,\r\n"));
    }

    void consoleIsMadePrintable_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("printable");
        QTest::addRow("lines and blank lines")
            << QByteArray("\r\nRouter>\r\n\r\nreload\n\rProceed?")
            << QStringLiteral("Router> | reload | Proceed?");
        QTest::addRow("control characters")
            << QByteArray("\x1b[2J\x7f\tok\x07", 9) << QStringLiteral("^[[2J^? ok^G");
        QTest::addRow("code page") << QByteArray("\x80 caf\xe9 \x81") << QStringLiteral("€ café ?");
    }

    void consoleIsMadePrintable()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, printable);
        QCOMPARE(PrintableConsole(bytes), printable);
    }

private:
    template <typename Widget> Widget *child(const QString &name) const
    {
        auto *widget = m_window->findChild<Widget *>(name);
        Q_ASSERT(widget);
        return widget;
    }

    void showWindow()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    std::pair<qint64, qint64> timeAxisSpan() const
    {
        const QDateTimeAxis &axis = m_window->plot().timeAxis();
        return {axis.min().toMSecsSinceEpoch(), axis.max().toMSecsSinceEpoch()};
    }

    QStringList ledgerRows() const
    {
        auto *ledger = child<QTableWidget>(QStringLiteral("tblLedger"));
        QStringList rows;
        for (int row = 0; row < ledger->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < ledger->columnCount(); ++column)
                cells << ledger->item(row, column)->text();
            rows << cells.join(u'|');
        }
        return rows;
    }

    FakeClock m_clock{kNow};
    FakeHistorySource m_source;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<HistoryWindow> m_window;
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
