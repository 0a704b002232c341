#include "ExpositionParser.h"
#include "MetricsText.h"

#include <QtTest>

Q_DECLARE_METATYPE(MetricsSnapshot)

// Each address's loss and median round trip over its judging window: written only
// where a loss or round-trip limit gave them, so that without one the file is the one
// it always was.
class TestWindowMetrics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void figuresOnlyWhereTheyExist_data()
    {
        QTest::addColumn<MetricsSnapshot>("snapshot");
        QTest::addColumn<QStringList>("samples");

        const QString primary = QStringLiteral(R"({watch="w",address="primary"} )");
        MetricsSnapshot both;
        both.primaryLossPercent = 40.0;
        both.primaryMedianMs = 1200;
        MetricsSnapshot unanswered;
        unanswered.primaryLossPercent = 100.0;
        MetricsSnapshot third;
        third.primaryLossPercent = 100.0 / 3;
        third.secondaryLossPercent = 0.0;
        third.secondaryMedianMs = 0;
        QTest::addRow("no limit") << MetricsSnapshot() << QStringList();
        QTest::addRow("both figures")
            << both
            << QStringList{"corvane_loss_ratio" + primary + "0.4",
                           "corvane_median_rtt_seconds" + primary + "1.200"};
        QTest::addRow("nothing answered: no median")
            << unanswered << QStringList{"corvane_loss_ratio" + primary + "1"};
        QTest::addRow("a third, and the secondary")
            << third
            << QStringList{"corvane_loss_ratio" + primary + "0.333333333333333",
                           R"(corvane_loss_ratio{watch="w",address="secondary"} 0)",
                           R"(corvane_median_rtt_seconds{watch="w",address="secondary"} 0.000)"};
    }

    void figuresOnlyWhereTheyExist()
    {
        QFETCH(MetricsSnapshot, snapshot);
        QFETCH(QStringList, samples);
        const QByteArray written = MetricsText(QStringLiteral("w"), snapshot);
        const Exposition exposition = ParseExposition(written);
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        QCOMPARE(exposition.families.contains(QStringLiteral("corvane_loss_ratio")),
                 !samples.isEmpty());
        QCOMPARE(QString::fromUtf8(written).split(u'\n').filter(QRegularExpression(
                     QStringLiteral("^corvane_(loss_ratio|median_rtt_seconds)\\{"))),
                 samples);
    }
};

QTEST_GUILESS_MAIN(TestWindowMetrics)
#include "tst_window_metrics.moc"
