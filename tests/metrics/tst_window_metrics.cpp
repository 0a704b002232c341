#include "ExpositionParser.h"
#include "FakeClock.h"
#include "FakeWindowFields.h"
#include "MetricsFile.h"
#include "RecordingLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<qint32>)

// Each address's loss and median round trip over its judging window, as the metrics
// file gives them once a loss or round-trip limit is set.
class TestWindowMetrics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void figuresOnlyWhereTheyExist_data()
    {
        QTest::addColumn<std::optional<double>>("primaryLoss");
        QTest::addColumn<std::optional<qint32>>("primaryMedian");
        QTest::addColumn<bool>("secondaryProbed");
        QTest::addColumn<QStringList>("samples");

        const std::optional<double> noLoss;
        const std::optional<qint32> noMedian;
        const QString primary = QStringLiteral(R"({watch="corvane",address="primary"} )");
        const QString secondary = QStringLiteral(R"({watch="corvane",address="secondary"} )");
        QTest::addRow("no limit") << noLoss << noMedian << true << QStringList();
        QTest::addRow("both figures")
            << std::optional(40.0) << std::optional(1200) << false
            << QStringList{"corvane_loss_ratio" + primary + "0.4",
                           "corvane_median_rtt_seconds" + primary + "1.200"};
        QTest::addRow("nothing answered: no median")
            << std::optional(100.0) << noMedian << false
            << QStringList{"corvane_loss_ratio" + primary + "1"};
        QTest::addRow("a third, and the secondary")
            << std::optional(100.0 / 3) << std::optional(0) << true
            << QStringList{"corvane_loss_ratio" + primary + "0.333333333333333",
                           "corvane_loss_ratio" + secondary + "0",
                           "corvane_median_rtt_seconds" + primary + "0.000",
                           "corvane_median_rtt_seconds" + secondary + "0.012"};
    }

    void figuresOnlyWhereTheyExist()
    {
        QFETCH(std::optional<double>, primaryLoss);
        QFETCH(std::optional<qint32>, primaryMedian);
        QFETCH(bool, secondaryProbed);
        QFETCH(QStringList, samples);
        QTemporaryDir folder;
        FakeWindowFields fields;
        FakeClock clock;
        RecordingLog log;
        MetricsFile metrics(fields, clock, log);
        const QString path = folder.filePath(QStringLiteral("corvane.prom"));
        metrics.setPath(path);

        CycleReport report;
        report.primary.lossPercent = primaryLoss;
        report.primary.medianMs = primaryMedian;
        if (secondaryProbed) {
            report.secondary.emplace();
            // A secondary judged only when a limit is set.
            if (primaryLoss) {
                report.secondary->lossPercent = 0.0;
                report.secondary->medianMs = 12;
            }
        }
        metrics.cycleDone(report);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll());
        const Exposition exposition = ParseExposition(written.toUtf8());
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        // Without a limit the file is the one it always was: no new family at all.
        QCOMPARE(exposition.families.contains(QStringLiteral("corvane_loss_ratio")),
                 !samples.isEmpty());
        const QStringList found = written.split(u'\n').filter(
            QRegularExpression(QStringLiteral("^corvane_(loss_ratio|median_rtt_seconds)\\{")));
        QCOMPARE(found, samples);
    }
};

QTEST_GUILESS_MAIN(TestWindowMetrics)
#include "tst_window_metrics.moc"
