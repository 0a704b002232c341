#include "ActionRig.h"
#include "RecordingWatchEvents.h"

// The loss and round-trip limits and the outage's own period, through the real engine
// and the real link, on the fake clock: which address decides, when the count holds,
// and when cycles come.
class TestLineBands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A cycle a minute; each word is the primary's cycle ("x": lost, "20": answered in
    // 20 ms). The secondary never answers. Retries 1, a window of 5 cycles, fail at 40 %
    // loss, recover at 10 %.
    void bandsDecideTheOutage_data()
    {
        QTest::addColumn<QString>("primary");
        QTest::addColumn<int>("recoverLoss");
        QTest::addColumn<QString>("verdicts");
        QTest::addColumn<QList<qint64>>("sendMinutes");
        QTest::addColumn<int>("outages");
        // Down at 100 %, and 40 %; held at 20 %; back at 0 %.
        QTest::addRow("held between the bands")
            << "x x 20 20 20 20 20" << 10 << "F F F F F H A" << QList<qint64>{0} << 1;
        // Without a recovery limit, 20 % is within the fail limit and ends the outage.
        QTest::addRow("one band") << "x x 20 20 20 20 20" << 0 << "F F F F F A A"
                                  << QList<qint64>{0} << 1;
        // Held from 33 % down to 20 %, then failing again at 40 %: one outage throughout,
        // and no resend before its delay.
        QTest::addRow("held, then a loss")
            << "x 20 20 20 20 x x" << 10 << "F F H H H H F" << QList<qint64>{0} << 1;
        QTest::addRow("answers below the fail limit from the start")
            << "20 20 20 20 x" << 10 << "A A A A A" << QList<qint64>{} << 0;
        // Cycles in which no echo could go out (a path not there yet) are not counted,
        // and leave nothing in the window: the first echoes that go are judged alone.
        QTest::addRow("blind cycles, then a line that answers")
            << "b b b b 20 20" << 10 << "- - - - A A" << QList<qint64>{} << 0;
    }
    void bandsDecideTheOutage()
    {
        QFETCH(QString, primary);
        QFETCH(int, recoverLoss);
        QFETCH(QString, verdicts);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        Options &options = rig.safety.options();
        options.lossWindowCycles = 5;
        options.failLossPercent = 40;
        options.recoverLossPercent = recoverLoss;

        QString seen;
        for (const QString &word : primary.split(u' ')) {
            const bool answered = word != QStringLiteral("x");
            rig.echo.script(QStringLiteral("127.0.0.1"), answered ? kEchoSuccess : kEchoTimedOut,
                            word.toUInt());
            rig.echo.script(QStringLiteral("127.0.0.2"), kEchoTimedOut);
            if (word == QStringLiteral("b")) {
                rig.echo.refuse(QStringLiteral("127.0.0.1"));
                rig.echo.refuse(QStringLiteral("127.0.0.2"));
            }
            const qsizetype reported = recorded.cycles.size();
            const qint16 before = rig.engine.FailCount();
            rig.engine.PingCycle(PingEngine::CycleCause::Timer);
            if (recorded.cycles.size() == reported) {
                seen += u'-';
                rig.clock.advanceMs(60'000);
                continue;
            }
            const CycleReport &cycle = recorded.cycles.last();
            seen += cycle.answered ? u'A' : cycle.held ? u'H' : u'F';
            // A held cycle leaves the count alone, and reports its figures.
            if (cycle.held) {
                QCOMPARE(rig.engine.FailCount(), before);
                QVERIFY(cycle.primary.lossPercent.has_value());
            }
            rig.clock.advanceMs(60'000);
        }
        QCOMPARE(seen, verdicts.remove(u' '));
        QTEST(rig.sendMinutes(), "sendMinutes");
        QTEST(int(recorded.events.count(QStringLiteral("outage started"))), "outages");
    }

    // A primary that answers slowly is passed over for the secondary, and the reason
    // comes before the send's entry when neither passes.
    void slowPrimary_data()
    {
        QTest::addColumn<int>("secondaryMs");
        QTest::addColumn<bool>("answered");
        QTest::addRow("the secondary answers in time") << 10 << true;
        QTest::addRow("the secondary is as slow") << 2000 << false;
    }
    void slowPrimary()
    {
        QFETCH(int, secondaryMs);
        QFETCH(bool, answered);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        rig.safety.options().failLatencyMs = 1000;
        rig.echo.script(QStringLiteral("127.0.0.1"), kEchoSuccess, 2000);
        rig.echo.script(QStringLiteral("127.0.0.2"), kEchoSuccess, quint32(secondaryMs));

        rig.engine.PingCycle(PingEngine::CycleCause::Timer);

        QCOMPARE(rig.echo.requests.size(), 2);
        QCOMPARE(rig.fields.text(Field::TripPri), QStringLiteral("2000"));
        QCOMPARE(recorded.cycles.last().answered, answered);
        QCOMPARE(recorded.cycles.last().primary.medianMs, std::optional<qint32>(2000));
        const QStringList log = rig.logMessages();
        const qsizetype reason = log.indexOf(QStringLiteral(
            "Median round trip 2000 ms over the last cycle of 127.0.0.1 (limit 1000 ms).  "
            "Median round trip 2000 ms over the last cycle of 127.0.0.2 (limit 1000 ms)."));
        QCOMPARE(reason >= 0, !answered);
        QCOMPARE(rig.sendMinutes().size(), answered ? 0 : 1);
        if (!answered)
            QVERIFY(log.value(reason + 1).startsWith(QStringLiteral("No response after 1 ")));
    }

    // The seconds at which timed cycles run, a period of 60 s: the line fails from the
    // second cycle and answers again from the fifth.
    void periodDuringOutage_data()
    {
        QTest::addColumn<int>("failingPeriod");
        QTest::addColumn<int>("changedTo");
        QTest::addColumn<QList<int>>("seconds");
        QTest::addRow("the period field's by default")
            << 0 << 0 << QList<int>{60, 120, 180, 240, 300, 360};
        QTest::addRow("10 s while it lasts") << 10 << 10 << QList<int>{60, 120, 130, 140, 150, 210};
        // Never slower than the period: it is there to confirm sooner.
        QTest::addRow("longer than the period")
            << 90 << 90 << QList<int>{60, 120, 180, 240, 300, 360};
        // After the first failing cycle, 10 s becomes 30 s.
        QTest::addRow("changed mid-outage") << 10 << 30 << QList<int>{60, 120, 150, 180, 210, 270};
    }
    void periodDuringOutage()
    {
        QFETCH(int, failingPeriod);
        QFETCH(int, changedTo);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        rig.safety.options().failingPeriod = failingPeriod;
        rig.engine.SetPingPeriod(60);
        QList<int> seconds;
        for (int second = 1; second <= 600 && seconds.size() < 6; ++second) {
            const qsizetype cycle = seconds.size();
            const bool fails = cycle >= 1 && cycle <= 3;
            rig.echo.script(QStringLiteral("127.0.0.1"), fails ? kEchoTimedOut : kEchoSuccess);
            rig.echo.script(QStringLiteral("127.0.0.2"), kEchoTimedOut);
            rig.clock.advanceMs(1000);
            rig.engine.OnSecondTick();
            if (recorded.cycles.size() > cycle)
                seconds.append(second);
            if (seconds.size() == 2)
                rig.safety.options().failingPeriod = changedTo;
        }
        QTEST(seconds, "seconds");
    }
};

QTEST_GUILESS_MAIN(TestLineBands)
#include "tst_line_bands.moc"
