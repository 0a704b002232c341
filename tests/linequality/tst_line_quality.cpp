// An address judged by its last cycles: each limit at, below and above its value, the
// band between the fail and the recovery limits, a window still filling, and what is
// logged as the reason changes.

#include "LineQuality.h"
#include "Options.h"
#include "RecordingLog.h"

#include <QTest>

namespace {

// One cycle of an address per word: "20" answered in 20 ms, "x" one echo lost, "xx20"
// two lost before an answer in 20 ms.
ProbeReport Cycle(const QString &word, const QString &address)
{
    ProbeReport probe;
    probe.address = address;
    const qsizetype lost = word.count(u'x');
    const QString trip = word.mid(lost);
    probe.echoes = qint32(lost) + (trip.isEmpty() ? 0 : 1);
    probe.status = trip.isEmpty() ? 11010 : 0;
    probe.roundTripMs = trip.toInt();
    return probe;
}

const QString kPrimary = QStringLiteral("192.0.2.1");

} // namespace

Q_DECLARE_METATYPE(AddressStanding)

class TestLineQuality : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowFigures_data()
    {
        QTest::addColumn<QString>("cycles");
        QTest::addColumn<int>("over");
        QTest::addColumn<int>("counted");
        QTest::addColumn<int>("echoes");
        QTest::addColumn<int>("lost");
        QTest::addColumn<int>("median");
        QTest::addRow("empty") << "" << 10 << 0 << 0 << 0 << -1;
        QTest::addRow("filling") << "20 x" << 10 << 2 << 2 << 1 << 20;
        QTest::addRow("all lost: no median") << "x xx" << 10 << 2 << 3 << 3 << -1;
        QTest::addRow("an answer after losses") << "xx30" << 1 << 1 << 3 << 2 << 30;
        QTest::addRow("odd median") << "50 10 30" << 10 << 3 << 3 << 0 << 30;
        QTest::addRow("even median, rounded down") << "10 40 25 15" << 10 << 4 << 4 << 0 << 20;
        QTest::addRow("only the last cycles") << "x x 10 20" << 2 << 2 << 2 << 0 << 15;
        QTest::addRow("past the fixed size") << QString(QStringLiteral("x ")).repeated(5) +
                                                    QString(QStringLiteral("7 ")).repeated(100)
                                             << 1000 << 100 << 100 << 0 << 7;
    }
    void windowFigures()
    {
        QFETCH(QString, cycles);
        QFETCH(int, over);
        EchoWindow window;
        for (const QString &word : cycles.split(u' ', Qt::SkipEmptyParts)) {
            const ProbeReport probe = Cycle(word, kPrimary);
            window.AddCycle(probe.echoes,
                            probe.status == 0 ? std::optional(probe.roundTripMs) : std::nullopt);
        }
        // A cycle in which no echo could go out tells nothing.
        window.AddCycle(0, std::nullopt);
        const EchoWindow::Figures figures = window.Over(over);
        QTEST(figures.cycles, "counted");
        QTEST(figures.echoes, "echoes");
        QTEST(figures.lost, "lost");
        QTEST(figures.medianMs.value_or(-1), "median");
    }

    // Options: fail loss, fail latency, recover loss, recover latency, window.
    void judgement_data()
    {
        QTest::addColumn<QList<int>>("limits");
        QTest::addColumn<QString>("cycles");
        QTest::addColumn<bool>("inOutage");
        QTest::addColumn<AddressStanding>("standing");
        QTest::addColumn<QString>("reason");
        const AddressStanding passes = AddressStanding::Passes;
        const AddressStanding fails = AddressStanding::Fails;
        const AddressStanding between = AddressStanding::Between;
        const QList<int> off{0, 0, 0, 0, 10};
        const QList<int> loss40{40, 0, 0, 0, 10};
        QTest::addRow("off: answered") << off << "x x x 20" << false << passes << "";
        QTest::addRow("off: one loss fails") << off << "20 20 x" << false << fails << "";
        QTest::addRow("loss below the limit, this cycle lost")
            << loss40 << "20 20 20 20 20 20 20 x x x" << false << passes << "";
        QTest::addRow("loss at the limit")
            << loss40 << "20 20 20 20 20 20 x x x x" << false << fails
            << "Loss 40 % over the last 10 cycles of 192.0.2.1 (limit 40 %).";
        QTest::addRow("loss above the limit, this cycle answered")
            << loss40 << "x x x x x 20 20 20 20 20" << false << fails
            << "Loss 50 % over the last 10 cycles of 192.0.2.1 (limit 40 %).";
        QTest::addRow("window not full: the first loss") << loss40 << "x" << false << fails
                                                         << "Loss 100 % over the last cycle of "
                                                            "192.0.2.1 (limit 40 %).";
        QTest::addRow("window not full: a third")
            << QList<int>{30, 0, 0, 0, 10} << "20 x 20" << false << fails
            << "Loss 33.3 % over the last 3 cycles of 192.0.2.1 (limit 30 %).";
        QTest::addRow("echoes, not cycles, are counted")
            << loss40 << "xx20 20" << false << fails
            << "Loss 50 % over the last 2 cycles of 192.0.2.1 (limit 40 %).";
        QTest::addRow("older cycles left out of a small window")
            << QList<int>{40, 0, 0, 0, 2} << "x x x 20 20" << false << passes << "";
        QTest::addRow("median below the limit")
            << QList<int>{0, 1000, 0, 0, 10} << "999 2000 10" << false << passes << "";
        QTest::addRow("median at the limit")
            << QList<int>{0, 1000, 0, 0, 10} << "1000 2000 10" << false << fails
            << "Median round trip 1000 ms over the last 3 cycles of 192.0.2.1 (limit 1000 ms).";
        // A dead line fails at once, whatever its round trips were.
        QTest::addRow("latency only: a lost cycle fails plainly")
            << QList<int>{0, 1000, 0, 0, 10} << "10 10 x" << false << fails << "";
        const QList<int> bands{40, 0, 10, 0, 10};
        QTest::addRow("between the bands, outside an outage")
            << bands << "x x 20 20 20 20 20 20 20 20" << false << passes << "";
        QTest::addRow("between the bands, in an outage")
            << bands << "x x 20 20 20 20 20 20 20 20" << true << between
            << "Loss 20 % over the last 10 cycles of 192.0.2.1, above the recovery limit of "
               "10 %; the outage's count holds.";
        QTest::addRow("at the recovery limit")
            << bands << "x 20 20 20 20 20 20 20 20 20" << true << passes << "";
        QTest::addRow("round trip between the bands")
            << QList<int>{0, 1000, 0, 500, 10} << "600 600 20" << true << between
            << "Median round trip 600 ms over the last 3 cycles of 192.0.2.1, above the "
               "recovery limit of 500 ms; the outage's count holds.";
        QTest::addRow("round trip at the recovery limit")
            << QList<int>{0, 1000, 0, 500, 10} << "500 600 20" << true << passes << "";
        // A recovery limit wider than the fail limit leaves one band.
        QTest::addRow("recovery limit above the fail limit")
            << QList<int>{40, 0, 60, 0, 10} << "x x x 20 20 20 20 20 20 20" << true << passes << "";
    }
    void judgement()
    {
        QFETCH(QList<int>, limits);
        QFETCH(QString, cycles);
        QFETCH(bool, inOutage);
        Options options;
        options.failLossPercent = limits[0];
        options.failLatencyMs = limits[1];
        options.recoverLossPercent = limits[2];
        options.recoverLatencyMs = limits[3];
        options.lossWindowCycles = limits[4];
        RecordingLog log;
        LineQuality quality(options, log);
        AddressJudgement judgement;
        for (const QString &word : cycles.split(u' '))
            judgement = quality.Judge(ProbedAddress::Primary, Cycle(word, kPrimary), inOutage);
        QTEST(judgement.standing, "standing");
        QTEST(judgement.reason, "reason");
    }

    // A new address is a new line; a shorter window counts at once; a cycle without
    // echoes is not counted.
    void windowChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<AddressStanding>("standing");
        QTest::addRow("same address") << "none" << AddressStanding::Fails;
        QTest::addRow("new address") << "address" << AddressStanding::Passes;
        QTest::addRow("window cut to the last cycle") << "window" << AddressStanding::Passes;
        QTest::addRow("no echo went out") << "blind" << AddressStanding::Fails;
        // The secondary's window keeps cycles in a row: one the primary passed alone
        // leaves nothing of the secondary's older ones.
        QTest::addRow("a cycle without the secondary") << "unprobed" << AddressStanding::Passes;
    }
    void windowChanges()
    {
        QFETCH(QString, change);
        Options options;
        options.failLossPercent = 50;
        RecordingLog log;
        LineQuality quality(options, log);
        const ProbedAddress which = change == QStringLiteral("unprobed") ? ProbedAddress::Secondary
                                                                         : ProbedAddress::Primary;
        for (const QString &word : {QStringLiteral("x"), QStringLiteral("x")})
            quality.Judge(which, Cycle(word, kPrimary), false);
        if (change == QStringLiteral("unprobed"))
            quality.cycleDone(CycleReport{});
        QString address = kPrimary;
        if (change == QStringLiteral("address"))
            address = QStringLiteral("192.0.2.9");
        if (change == QStringLiteral("window"))
            options.lossWindowCycles = 1;
        ProbeReport probe = Cycle(QStringLiteral("20"), address);
        if (change == QStringLiteral("blind"))
            probe = ProbeReport{kPrimary, {}, 11002, 0, 0, {}, {}};
        // Two losses and an answer: 67 % over the window, 0 % over the last cycle.
        QTEST(quality.Judge(which, probe, false).standing, "standing");
    }

    // The address is the user's text: no byte of it may steer a terminal or end the
    // log's entry.
    void reasonShowsTheAddressOnOneLine()
    {
        Options options;
        options.failLossPercent = 40;
        RecordingLog log;
        LineQuality quality(options, log);
        const QString address = QStringLiteral("x\x1b[2J\r\ny");
        QCOMPARE(quality.Judge(ProbedAddress::Primary, Cycle(QStringLiteral("x"), address), false)
                     .reason,
                 QStringLiteral("Loss 100 % over the last cycle of x^[[2J^M^Jy (limit 40 %)."));
    }

    // The reason is logged when it first decides a cycle and when its cause changes,
    // not as its figures move from one cycle to the next; an answer starts afresh.
    void reasonsAreLoggedAsTheyChange_data()
    {
        QTest::addColumn<QList<int>>("limits"); // fail loss, fail latency, window
        QTest::addColumn<QString>("cycles");
        QTest::addColumn<QStringList>("logged");
        // Every cycle fails by its loss, from 100 % down to 50 %: one entry.
        QTest::addRow("loss throughout")
            << QList<int>{40, 1000, 10} << "x x x 2000 2000 20 x" << QStringList{"Loss"};
        // Once for the first slow run, not again after a plain loss within it, and
        // again after the answers in between.
        QTest::addRow("slow, answered, slow")
            << QList<int>{0, 1000, 2} << "2000 2000 x 2000 10 10 10 2000"
            << QStringList{"Median", "Median"};
    }
    void reasonsAreLoggedAsTheyChange()
    {
        QFETCH(QList<int>, limits);
        QFETCH(QString, cycles);
        Options options;
        options.failLossPercent = limits[0];
        options.failLatencyMs = limits[1];
        options.lossWindowCycles = limits[2];
        RecordingLog log;
        LineQuality quality(options, log);
        for (const QString &word : cycles.split(u' ')) {
            CycleReport report;
            report.primary = Cycle(word, kPrimary);
            const AddressJudgement judgement =
                quality.Judge(ProbedAddress::Primary, report.primary, true);
            report.answered = judgement.standing == AddressStanding::Passes;
            report.reason = judgement.reason;
            quality.cycleDone(report);
        }
        QStringList logged;
        for (const RecordingLog::Entry &entry : log.entries)
            logged.append(entry.message.left(entry.message.indexOf(u' ')));
        QTEST(logged, "logged");
    }
};

QTEST_GUILESS_MAIN(TestLineQuality)
#include "tst_line_quality.moc"
