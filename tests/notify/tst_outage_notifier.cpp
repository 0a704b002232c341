#include "FakeClock.h"
#include "FakeTray.h"
#include "OutageNotifier.h"

#include <QtTest>

namespace {

const QString kPrimary = QStringLiteral("127.0.0.1");
const QString kSecondary = QStringLiteral("127.0.0.2");

CycleReport Cycle(bool primaryAnswers, bool secondaryAnswers)
{
    CycleReport report;
    report.primary.address = kPrimary;
    if (!primaryAnswers) {
        report.secondary.emplace();
        report.secondary->address = kSecondary;
    }
    report.answered = primaryAnswers || secondaryAnswers;
    return report;
}

} // namespace

// What the tray icon says as an outage runs its course, in the order the watch
// tells it.
class TestOutageNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outageIsToldAtItsStartSendAndEnd_data()
    {
        QTest::addColumn<bool>("secondaryAnswers");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<QStringList>("messages");

        const QString down = QStringLiteral("Line down: No answer from 127.0.0.1 or 127.0.0.2.");
        const QString sent = QStringLiteral("Fail command sent: The line has been down for 3 min "
                                            "0 s; the fail command went to the router.");
        QTest::addRow("primary answers again")
            << false << true
            << QStringList{down, sent,
                           QStringLiteral("Line back: 127.0.0.1 answers again after an outage "
                                          "of 4 min 12 s.")};
        QTest::addRow("secondary answers again")
            << true << true
            << QStringList{down, sent,
                           QStringLiteral("Line back: 127.0.0.2 answers again after an outage "
                                          "of 4 min 12 s.")};
        QTest::addRow("no notification area") << false << false << QStringList();
    }

    void outageIsToldAtItsStartSendAndEnd()
    {
        QFETCH(bool, secondaryAnswers);
        QFETCH(bool, trayAvailable);
        QFETCH(QStringList, messages);

        FakeTray tray;
        tray.available = trayAvailable;
        FakeClock clock;
        OutageNotifier notifier(tray, clock);

        notifier.outageStarted();
        notifier.cycleDone(Cycle(false, false));
        // Later failing cycles, the user's FAIL TEST and a scheduled command are no
        // news.
        clock.advanceMs(60'000);
        notifier.cycleDone(Cycle(false, false));
        notifier.commandSent(CommandKind::FailTest, QStringLiteral("^M"));
        notifier.commandSent(CommandKind::Scheduled, QStringLiteral("reload"));
        clock.advanceMs(120'000);
        notifier.cycleDone(Cycle(false, false));
        notifier.commandSent(CommandKind::Fail, QStringLiteral("^M"));
        clock.advanceMs(72'000);
        notifier.outageEnded();
        notifier.cycleDone(Cycle(!secondaryAnswers, secondaryAnswers));
        // Answers go on without a word.
        notifier.cycleDone(Cycle(true, false));

        QCOMPARE(tray.messages, messages);
    }

    // A limit that failed the first cycle of the outage says why, whatever answered;
    // a held cycle after it is no news, and the text goes on as it came.
    void lineDownSaysWhy_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message");

        QTest::addRow("no limit") << QString()
                                  << "Line down: No answer from 127.0.0.1 or 127.0.0.2.";
        QTest::addRow("a limit")
            << "Loss 40 % over the last 10 cycles of 127.0.0.1 (limit 30 %)."
            << "Line down: No usable answer from 127.0.0.1 or 127.0.0.2. Loss 40 % over the "
               "last 10 cycles of 127.0.0.1 (limit 30 %).";
        QTest::addRow("markup and a line break") << "Loss 40 % of <b>a&b</b>\n."
                                                 << "Line down: No usable answer from 127.0.0.1 or "
                                                    "127.0.0.2. Loss 40 % of <b>a&b</b>\n.";
    }

    void lineDownSaysWhy()
    {
        QFETCH(QString, reason);
        QFETCH(QString, message);
        FakeTray tray;
        FakeClock clock;
        OutageNotifier notifier(tray, clock);
        CycleReport cycle = Cycle(false, false);
        cycle.reason = reason;
        notifier.outageStarted();
        notifier.cycleDone(cycle);
        cycle.held = true;
        notifier.cycleDone(cycle);
        QCOMPARE(tray.messages, QStringList{message});
    }
};

QTEST_MAIN(TestOutageNotifier)
#include "tst_outage_notifier.moc"
