#include "FakeClock.h"
#include "FakeHistorySource.h"
#include "FakeMessageBoxes.h"
#include "HistoryPlot.h"
#include "HistoryWindow.h"

#include <QAreaSeries>
#include <QLabel>
#include <QLineSeries>
#include <QTableWidget>
#include <QtTest>

#include <ctime>
#include <memory>

Q_DECLARE_METATYPE(TimeSpan)
Q_DECLARE_METATYPE(QList<TimeSpan>)

namespace {

// A fixed zone an hour east of UTC, so that the ledger's times read the same anywhere.
void UseFixedTimeZone()
{
    qputenv("TZ", QByteArrayLiteral("XYZ-1"));
    ::tzset();
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(UseFixedTimeZone)

namespace {

constexpr qint64 kSecondMs = 1000;
constexpr qint64 kMinuteMs = 60 * kSecondMs;
const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0));
const qint64 kNowMs = kNow.toMSecsSinceEpoch();
const qint64 kDayAgoMs = kNowMs - kDayMs;
// The width of one bucket of the day's plot.
constexpr qint64 kBucketMs = (kDayMs + kPlotPoints - 1) / kPlotPoints;
const qint64 kFiveHoursAgoMs = kNowMs - 5 * kHourMs;

} // namespace

// What the History window shows of what nobody saw: the time no monitor ran, and the
// ends of outages that were not seen to end.
class TestHistoryWindowUnwatched : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_source = FakeHistorySource();
        m_window = std::make_unique<HistoryWindow>(m_source, m_clock, m_boxes);
    }
    void cleanup() { m_window.reset(); }

    // Every recorded span without a monitor is shaded, at least 2 pixels wide however
    // short, never before the axis, and counted whole beside the availability; spans
    // side by side make an outline that never runs back in time.
    void notMonitoredSpansAreShaded_data()
    {
        QTest::addColumn<QList<TimeSpan>>("recorded");
        QTest::addColumn<QString>("notMonitored");

        QTest::addRow("one second")
            << QList<TimeSpan>{{kFiveHoursAgoMs, kFiveHoursAgoMs + kSecondMs}}
            << QStringLiteral("1 s");
        QTest::addRow("exactly one plot bucket")
            << QList<TimeSpan>{{kDayAgoMs + 100 * kBucketMs, kDayAgoMs + 101 * kBucketMs}}
            << QStringLiteral("43 s");
        QTest::addRow("across the range's start")
            << QList<TimeSpan>{{kDayAgoMs - kHourMs, kDayAgoMs + 90 * kSecondMs}}
            << QStringLiteral("1 min 30 s");
        QTest::addRow("up to the range's end")
            << QList<TimeSpan>{{kNowMs - kSecondMs, kNowMs}} << QStringLiteral("1 s");
        QTest::addRow("two touching")
            << QList<TimeSpan>{{kFiveHoursAgoMs, kFiveHoursAgoMs + kSecondMs},
                               {kFiveHoursAgoMs + kSecondMs, kFiveHoursAgoMs + 2 * kSecondMs}}
            << QStringLiteral("2 s");
        QTest::addRow("two a second apart")
            << QList<TimeSpan>{{kFiveHoursAgoMs, kFiveHoursAgoMs + kSecondMs},
                               {kFiveHoursAgoMs + 2 * kSecondMs, kFiveHoursAgoMs + 3 * kSecondMs}}
            << QStringLiteral("2 s");
    }

    void notMonitoredSpansAreShaded()
    {
        QFETCH(QList<TimeSpan>, recorded);
        QFETCH(QString, notMonitored);

        // A cycle a minute all day: the cycles alone show no gap.
        m_source.contents.cycles = 1440;
        m_source.contents.answeredCycles = 1440;
        for (qint64 atMs = kDayAgoMs; atMs < kNowMs; atMs += kMinuteMs)
            m_source.contents.primary.append({atMs, 20, 20});
        m_source.contents.notMonitored = recorded;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("lblAvailability"))->text(),
                 QStringLiteral("Availability 100.000 % of the monitored time (1,440 of 1,440 "
                                "cycles answered; %1 not monitored)")
                     .arg(notMonitored));
        HistoryPlot &plot = m_window->plot();
        auto *shading = qobject_cast<QAreaSeries *>(plot.chart()->series().at(0));
        QCOMPARE(shading->name(), QStringLiteral("Not monitored"));
        const QList<QPointF> outline = shading->upperSeries()->points();
        QVERIFY(!outline.isEmpty());
        for (qsizetype index = 1; index < outline.size(); ++index)
            QVERIFY2(outline[index].x() >= outline[index - 1].x(),
                     qPrintable(QString::number(index)));
        QVERIFY(outline.first().x() >= double(kDayAgoMs));
        QVERIFY(outline.last().x() <= double(kNowMs));
        for (const TimeSpan &span : recorded) {
            const double fromMs = double(std::max(span.fromMs, kDayAgoMs));
            const double toMs = double(span.toMs);
            // The piece of the outline that shades this span: up before it, down after it.
            qsizetype up = 0;
            while (up + 3 < outline.size() && outline[up + 2].x() < toMs)
                up += 4;
            QVERIFY2(outline[up + 1].x() <= fromMs && outline[up + 2].x() >= toMs,
                     qPrintable(QString::number(fromMs)));
            const double widthPx = plot.chart()->mapToPosition(outline[up + 2], shading).x() -
                                   plot.chart()->mapToPosition(outline[up + 1], shading).x();
            QVERIFY2(widthPx >= 1.99, qPrintable(QString::number(widthPx)));
        }
    }

    // An end nobody saw carries the report's mark, and the note under the ledger says
    // what the marks it shows mean.
    void ledgerMarksEndsNobodySaw_data()
    {
        QTest::addColumn<bool>("byStop");
        QTest::addColumn<bool>("unwatched");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("notes");

        const QString stopNote = QStringLiteral(
            "* Corvane was stopped during the outage: it ends at the last cycle seen.");
        const QString unwatchedNote =
            QStringLiteral("+ Corvane ended without a stop during the outage (killed, or the "
                           "system went down): it ends at the last cycle recorded.");
        QTest::addRow("seen to end")
            << false << false << QStringLiteral("2026-12-07 10:10:00") << QString() << stopNote;
        QTest::addRow("ended by a stop")
            << true << false << QStringLiteral("2026-12-07 10:10:00*") << stopNote << stopNote;
        QTest::addRow("ended unwatched") << false << true << QStringLiteral("2026-12-07 10:10:00+")
                                         << unwatchedNote << stopNote + u'\n' + unwatchedNote;
    }

    void ledgerMarksEndsNobodySaw()
    {
        QFETCH(bool, byStop);
        QFETCH(bool, unwatched);
        QFETCH(QString, end);
        QFETCH(QString, tip);
        QFETCH(QString, notes);

        // Before it, one that ended by a stop; after it, one under way, never marked.
        OutageEntry stopped;
        stopped.startMs = kNowMs - 4 * kHourMs;
        stopped.endMs = stopped.startMs + kMinuteMs;
        stopped.endedByStop = true;
        OutageEntry outage;
        outage.startMs = kNowMs - 2 * kHourMs;
        outage.endMs = outage.startMs + 10 * kMinuteMs;
        outage.endedByStop = byStop;
        outage.endedUnwatched = unwatched;
        OutageEntry lasting;
        lasting.startMs = kNowMs - kMinuteMs;
        m_source.contents.outages = {stopped, outage, lasting};
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        auto *ledger = m_window->findChild<QTableWidget *>(QStringLiteral("tblLedger"));
        QCOMPARE(ledger->item(0, 1)->text(), QStringLiteral("2026-12-07 08:01:00*"));
        QCOMPARE(ledger->item(1, 1)->text(), end);
        QCOMPARE(ledger->item(2, 1)->text(), QStringLiteral("ongoing"));
        auto *label = m_window->findChild<QLabel *>(QStringLiteral("lblLedgerNotes"));
        QCOMPARE(label->text(), notes);
        QVERIFY(label->isVisible());
        QCOMPARE(ledger->item(1, 1)->toolTip(), tip);

        // A range without such an end has no note.
        m_source.contents.outages = {lasting};
        m_window->setSpan(HistorySpan::Hour);
        QCOMPARE(ledger->rowCount(), 1);
        QVERIFY(!label->isVisible());
    }

private:
    FakeClock m_clock{kNow};
    FakeHistorySource m_source;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<HistoryWindow> m_window;
};

QTEST_MAIN(TestHistoryWindowUnwatched)
#include "tst_history_window_unwatched.moc"
