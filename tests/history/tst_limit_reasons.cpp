#include "HistoryRig.h"
#include "HistorySchema.h"

#include <QtTest>

namespace {

// An address typed with every byte that could split a record or act on a terminal.
const QString kHostile = QStringLiteral("Loss 40 % over the last 10 cycles of a,\"b\"\r\n") +
                         QChar(u'\0') + QStringLiteral("\x1b[31m\U0001D538 (limit 30 %).");

// A cycle a limit decided although the primary answered: failed, or held.
CycleReport LimitCycle(const QString &reason, bool held = false)
{
    CycleReport report;
    report.primary = Probe(QStringLiteral("127.0.0.1"), 0, 900);
    report.reason = reason;
    report.held = held;
    return report;
}

} // namespace

// What a loss or round-trip limit decided, kept per cycle and per outage.
class LimitReasonsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each script: f a failing cycle without a reason, r one failed by a limit, h one
    // held by it, a an answer. The outage keeps the reason of the cycle that began it;
    // a held cycle is kept as such and counts neither as failing nor as answered.
    void reasonsAreKept_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outageReason");
        QTest::addColumn<int>("failingCycles");
        QTest::addColumn<QString>("cycles"); // each: reason or "-", then held

        QTest::addRow("no limit") << "f f a" << QString() << 2 << "-0 -0 -0";
        QTest::addRow("begun by a limit") << "r f a"
                                          << "R" << 2 << "R0 -0 -0";
        QTest::addRow("a limit only later") << "f r a" << QString() << 2 << "-0 R0 -0";
        QTest::addRow("held") << "r h h a"
                              << "R" << 1 << "R0 R1 R1 -0";
        QTest::addRow("hostile bytes") << "x a" << kHostile << 1 << "X0 -0";
    }

    void reasonsAreKept()
    {
        QFETCH(QString, script);
        QFETCH(QString, outageReason);
        QFETCH(int, failingCycles);
        QFETCH(QString, cycles);
        QTemporaryDir folder;
        HistoryRig rig(folder.path());
        const qint64 startMs = rig.nowMs();
        rig.start();
        bool inOutage = false;
        for (const QString &step : script.split(u' ')) {
            if (step == u"a") {
                rig.recorder.outageEnded();
                rig.recorder.cycleDone(AnsweredCycle(5));
            } else {
                if (!std::exchange(inOutage, true))
                    rig.recorder.outageStarted();
                rig.recorder.cycleDone(step == u"f" ? FailedCycle(1)
                                       : step == u"x"
                                           ? LimitCycle(kHostile)
                                           : LimitCycle(QStringLiteral("R"), step == u"h"));
            }
            rig.clock.advanceMs(1000);
        }
        rig.recorder.watchStopped();

        const HistoryRange range = rig.store.range(startMs, rig.nowMs(), 10);
        QCOMPARE(range.outages.size(), 1);
        QCOMPARE(range.outages[0].reason, outageReason);
        QCOMPARE(range.outages[0].failingCycles, failingCycles);
        // Only the last cycle answered as the watch counts it.
        QCOMPARE(range.answeredCycles, 1);
        const QString kept =
            rig.value(QStringLiteral("SELECT group_concat(CASE WHEN reason IS NULL THEN '-' WHEN"
                                     " reason = 'R' THEN 'R' ELSE 'X' END || held, ' ') FROM"
                                     " (SELECT * FROM cycles ORDER BY at)"))
                .toString();
        QCOMPARE(kept, cycles);
        if (cycles.startsWith(u'X'))
            QCOMPARE(rig.value(QStringLiteral("SELECT reason FROM cycles ORDER BY at")).toString(),
                     kHostile);
    }

    // A store of the version before keeps its rows; its cycles and outages read as
    // decided without a limit, and new ones keep their reasons.
    void versionFiveUpgradesKeepingItsRows()
    {
        QTemporaryDir folder;
        {
            SqliteConnection connection(folder.filePath(QStringLiteral("history.sqlite")),
                                        SqliteConnection::Access::ReadWrite);
            connection.open();
            const QSqlDatabase database = connection.database();
            UpgradeSchema(database, 0, 5);
            RunOnce(database, QStringLiteral("INSERT INTO cycles(at, primary_status, fail_count,"
                                             " by_user) VALUES(1000, 0, 0, 0)"));
            RunOnce(database, QStringLiteral("INSERT INTO outages(started, ended, failing_cycles)"
                                             " VALUES(2000, 3000, 1)"));
        }
        HistoryRig rig(folder.path());
        rig.start();
        rig.recorder.outageStarted();
        rig.recorder.cycleDone(LimitCycle(QStringLiteral("R")));

        QCOMPARE(rig.value(QStringLiteral("PRAGMA user_version")).toInt(), kHistorySchemaVersion);
        QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM cycles WHERE at = 1000 AND"
                                          " reason IS NULL AND held = 0"))
                     .toInt(),
                 1);
        const QList<OutageEntry> outages = rig.store.range(0, rig.nowMs() + 1, 10).outages;
        QCOMPARE(outages.size(), 2);
        QCOMPARE(outages[0].reason, QString());
        QCOMPARE(outages[1].reason, QStringLiteral("R"));
        QCOMPARE(rig.store.range(0, 1001, 10).answeredCycles, 1);
    }
};

QTEST_GUILESS_MAIN(LimitReasonsTest)
#include "tst_limit_reasons.moc"
