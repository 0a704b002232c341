#include "HistoryQueries.h"
#include "HistoryRig.h"

#include <QtTest>

#include <ctime>

Q_DECLARE_METATYPE(LeftOpen)

namespace {

constexpr qint64 kSecondMs = 1000;
const QDateTime kStart(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);

// The steps of a script: "start" a new watch, "stop" the stop line, "a" an answered
// cycle and a second, "+N" N seconds without a step, "purge" forty days on and the
// retention's work done, so that only the hours' summaries are left of the cycles.
void Play(HistoryRig &rig, const QString &script)
{
    for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
        if (step == QLatin1String("start")) {
            rig.start();
        } else if (step == QLatin1String("stop")) {
            rig.recorder.watchStopped();
        } else if (step == QLatin1String("a")) {
            rig.answer(5);
        } else if (step == QLatin1String("purge")) {
            rig.clock.advanceMs(40 * kDayMs);
            while (rig.store.foldBatch(rig.nowMs())) {
            }
        } else {
            QVERIFY2(step.startsWith(u'+'), qPrintable(step));
            rig.clock.advanceMs(step.mid(1).toLongLong() * kSecondMs);
        }
    }
}

// "2-3 10-20": the spans in seconds after the first step.
QString InSeconds(const QList<TimeSpan> &spans)
{
    QStringList texts;
    for (const TimeSpan &span : spans) {
        texts << QStringLiteral("%1-%2")
                     .arg((span.fromMs - kStart.toMSecsSinceEpoch()) / kSecondMs)
                     .arg((span.toMs - kStart.toMSecsSinceEpoch()) / kSecondMs);
    }
    return texts.join(u' ');
}

} // namespace

// The spans in which no monitor ran, read from the starts and stops the history holds.
class NotMonitoredTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    void spansBetweenStopsAndStarts_data()
    {
        QTest::addColumn<QString>("script");
        // The range, in seconds after the first step.
        QTest::addColumn<qint64>("fromS");
        QTest::addColumn<qint64>("toS");
        QTest::addColumn<LeftOpen>("leftOpen");
        QTest::addColumn<QString>("spans");

        const LeftOpen held = LeftOpen::Lasting;
        const LeftOpen nobody = LeftOpen::EndsUnwatched;
        QTest::addRow("one second from a stop to the next start")
            << "start a a stop +1 start a" << qint64(0) << qint64(10) << held << "2-3";
        QTest::addRow("two side by side") << "start a stop +1 start stop +1 start a" << qint64(0)
                                          << qint64(10) << held << "1-2 2-3";
        QTest::addRow("before the first start")
            << "+5 start a a" << qint64(0) << qint64(10) << held << "0-5";
        QTest::addRow("nothing recorded") << "" << qint64(0) << qint64(10) << held << "0-10";
        QTest::addRow("a crash: from its last cycle")
            << "start a a +30 start a" << qint64(0) << qint64(40) << held << "1-32";
        QTest::addRow("a crash before any cycle")
            << "start +30 start a" << qint64(0) << qint64(40) << held << "0-30";
        QTest::addRow("a crash the cycles no longer tell: to the end of its last hour")
            << "start a a +7200 start purge" << qint64(0) << qint64(10000) << held << "3600-7202";
        QTest::addRow("a stop before the range, the start inside")
            << "start a stop +100 start a" << qint64(50) << qint64(200) << held << "50-101";
        QTest::addRow("a stop inside the range, the start after it")
            << "start a stop +100 start a" << qint64(0) << qint64(50) << held << "1-50";
        QTest::addRow("stopped since")
            << "start a stop +100" << qint64(0) << qint64(200) << held << "1-200";
        QTest::addRow("a monitor started before the range")
            << "start a +100 a" << qint64(50) << qint64(200) << held << "";
        QTest::addRow("a monitor that runs on")
            << "start a a a" << qint64(0) << qint64(100) << held << "";
        QTest::addRow("a monitor that ended without a stop, no monitor holding the file")
            << "start a a a" << qint64(0) << qint64(100) << nobody << "2-100";
    }

    void spansBetweenStopsAndStarts()
    {
        QFETCH(QString, script);
        QFETCH(qint64, fromS);
        QFETCH(qint64, toS);
        QFETCH(LeftOpen, leftOpen);
        QFETCH(QString, spans);

        QTemporaryDir folder;
        HistoryRig rig(folder.path());
        rig.clock.set(kStart);
        Play(rig, script);
        const qint64 fromMs = kStart.toMSecsSinceEpoch() + fromS * kSecondMs;
        const qint64 toMs = kStart.toMSecsSinceEpoch() + toS * kSecondMs;
        // The store's own reading writes what waits first, and is the window's.
        const HistoryRange range = rig.store.range(fromMs, toMs, 10);
        if (leftOpen == LeftOpen::Lasting)
            QCOMPARE(InSeconds(range.notMonitored), spans);

        if (!QFileInfo::exists(rig.path))
            return;
        SqliteConnection connection(rig.path, SqliteConnection::Access::ReadOnly);
        connection.open();
        QCOMPARE(InSeconds(ReadNotMonitored(connection.database(), fromMs, toMs, leftOpen)), spans);
    }
};

QTEST_GUILESS_MAIN(NotMonitoredTest)
#include "tst_not_monitored.moc"
