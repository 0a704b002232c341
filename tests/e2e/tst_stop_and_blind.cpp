// The real program, headless, told to stop in the middle of its longest waits, and
// run by a user who may open no ICMP socket.

#include "HeadlessRun.h"
#include "PseudoTerminal.h"

#include <QTest>
#include <QTime>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString kStartLine = QStringLiteral("Corvane executable started.");
const QString kStopLine = QStringLiteral("Corvane executable stopped.");
const QString kNoticeStart = QStringLiteral("Pings cannot be sent");

enum class LongWait
{
    EndlessProbe, // the largest time-out the field takes, to an address that never answers
    PacedSend,    // a scheduled command of 2,000 carriage returns, nine minutes of pacing
};

} // namespace

Q_DECLARE_METATYPE(LongWait)

class TestStopAndBlind : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopEndsTheLongestWaits_data()
    {
        // Every stop signal raises the same latch; the signals' own test shows each does.
        QTest::addColumn<LongWait>("wait");
        QTest::addRow("during an endless probe") << LongWait::EndlessProbe;
        QTest::addRow("during a paced send") << LongWait::PacedSend;
    }

    void stopEndsTheLongestWaits()
    {
        QFETCH(LongWait, wait);

        std::unique_ptr<DeadLineNamespace> deadLine;
        if (wait == LongWait::EndlessProbe) {
            if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
                QSKIP(qPrintable(reason));
            deadLine = std::make_unique<DeadLineNamespace>();
            QVERIFY(deadLine->isReady());
        }
        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        // The probe: were it not abandoned, the secondary's answer would come within
        // 200 ms and the cycle would act at once. The send: the schedule fires it on
        // the first tick, and no cycle runs meanwhile.
        const QString settings =
            wait == LongWait::EndlessProbe
                ? QStringLiteral("AddrPri=127.0.0.2\nAddrSec=127.0.0.3\nPeriod=1\n"
                                 "TimeoutPri=2147483647\nTimeoutSec=200\nFailTries=1")
                : QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1\nPeriod=3600\n"
                                 "SchedCmd0=%1\nSchedTime0=%2")
                      .arg(QStringLiteral("^m").repeated(2000),
                           QTime::currentTime().toString(QStringLiteral("H:mm:ss")));
        QVERIFY(home.writeSettings(settings, console.slavePath()));

        QProcess corvane;
        corvane.setProcessEnvironment(home.environment());
        if (deadLine)
            deadLine->start(corvane, QStringLiteral(CORVANE_BINARY), false);
        else
            corvane.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(corvane.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(kStartLine), 10000);

        QByteArray received;
        if (wait == LongWait::PacedSend) {
            QTRY_VERIFY_WITH_TIMEOUT((received += console.receive(0)).size() >= 3, 10000);
        } else {
            // The first cycle starts a second after the start line and never ends: its
            // echo to the primary vanishes in the namespace.
            QTRY_VERIFY_WITH_TIMEOUT(deadLine->droppedEchoes() > 0, 10000);
        }
        ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
        // Either wait alone would last minutes or for ever.
        QVERIFY(corvane.waitForFinished(10000));
        QCOMPARE(corvane.exitStatus(), QProcess::NormalExit);
        QCOMPARE(corvane.exitCode(), 0);

        QCOMPARE(home.lastEntry(), kStopLine);
        QCOMPARE(home.log().count(kStopLine), 1);
        QVERIFY(!home.log().contains(u"No response"));
        received += console.receive(100);
        if (wait == LongWait::EndlessProbe)
            QCOMPARE(received, QByteArray());
        else
            QVERIFY2(received.size() < 2000, qPrintable(QString::number(received.size())));
    }

    void blindWhileNoSocketMayBeOpened()
    {
        if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        DeadLineNamespace deadLine;
        QVERIFY(deadLine.isReady());
        QVERIFY(deadLine.setPingGroupRange(QStringLiteral("1 0")));
        PseudoTerminal console;
        QVERIFY(console.isValid());
        QCOMPARE(::fchmod(console.slave(), 0666), 0);
        HeadlessHome home;
        // Time-outs as short as they go: once admitted, each cycle's echoes vanish.
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.2\nAddrSec=127.0.0.3\nPeriod=1\n"
                                                  "TimeoutPri=1\nTimeoutSec=1\nFailTries=2"),
                                   console.slavePath()));
        // Made before the home is handed over, so that the user may send to it.
        const QString notifyPath = home.filePath(QStringLiteral("notify"));
        NotifySocket manager(notifyPath);
        QVERIFY(manager.isBound());
        QVERIFY(home.handTo(kNobody));

        QProcess corvane;
        QProcessEnvironment environment = home.environment();
        environment.insert(QStringLiteral("NOTIFY_SOCKET"), notifyPath);
        // Looked at ten times a second: a blind cycle waits for nothing, so each tick
        // is pinged once, at the look that follows it.
        environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("400000"));
        corvane.setProcessEnvironment(environment);
        deadLine.start(corvane, QStringLiteral(CORVANE_BINARY), true);
        QVERIFY(corvane.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(kStartLine), 10000);

        // A blind cycle is reported nowhere, but with a period of a second every tick
        // runs one to its end before the watchdog's next ping. Counted the old
        // way, blind cycles sent the fail command at the second, wrote "No response"
        // at the third and, had the resend delay run out, sent again at the fourth.
        constexpr int kBlindCycles = 4;
        qsizetype ticks = 0;
        QTRY_VERIFY_WITH_TIMEOUT((ticks += manager.received().count("WATCHDOG=1")) >= kBlindCycles,
                                 20000);
        QVERIFY(home.log().contains(kNoticeStart));
        QCOMPARE(console.receive(100), QByteArray());
        QVERIFY(!home.log().contains(u"No response"));

        // Admitted while running: the echoes go out, vanish, and the outage acts.
        QVERIFY(deadLine.setPingGroupRange(QStringLiteral("0 2147483647")));
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += console.receive(0)).contains("\r\r"), 20000);
        QCOMPARE(received, QByteArray("\r\r"));
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(u"No response after 2 ping attempts.  "
                                                     u"Sending fail command."),
                                 5000);

        ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
        QVERIFY(corvane.waitForFinished(10000));
        QCOMPARE(home.lastEntry(), kStopLine);
        // The notice's text is the engine test's; here it comes once for the blind run.
        QCOMPARE(home.log().count(kNoticeStart), 1);
        const QByteArray boxes = corvane.readAllStandardError();
        QCOMPARE(boxes.count("Ping Permission: Pings cannot be sent"), 1);
    }
};

QTEST_GUILESS_MAIN(TestStopAndBlind)
#include "tst_stop_and_blind.moc"
