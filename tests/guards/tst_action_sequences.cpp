#include "ActionRig.h"

#include <thread>

namespace {

const QString kGraceOver = QStringLiteral("Start grace over; the outage continues.");
const QString kAcknowledged = QStringLiteral("Router acknowledged the fail command.");
const QString kNoAcknowledgement =
    QStringLiteral("No acknowledgement from the router within 30 seconds.");

QString SendEntry(const QString &note = {})
{
    return QStringLiteral("No response after 1 ping attempts.  Sending fail command.") + note;
}

} // namespace

// The options over whole outages, on the fake clock, through the real engine and the
// real link: what goes to the router, when, and what the log says about it.
class TestActionSequences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A cycle at each whole minute; answers end the outage at the minutes given.
    void startGrace_data()
    {
        QTest::addColumn<QList<int>>("answeredMinutes");
        QTest::addColumn<QList<qint64>>("sendMinutes");
        QTest::addColumn<bool>("graceOverLogged");

        QTest::addRow("outage lasts past the grace") << QList<int>{} << QList<qint64>{5} << true;
        QTest::addRow("outage ends inside the grace")
            << QList<int>{3, 4, 5, 6} << QList<qint64>{7} << false;
    }
    void startGrace()
    {
        QFETCH(QList<int>, answeredMinutes);
        QFETCH(QList<qint64>, sendMinutes);
        QFETCH(bool, graceOverLogged);
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.safety.options().graceSeconds = 300;
        rig.events.watchStarted();

        for (int minute = 0; minute < 8; ++minute)
            rig.minute(answeredMinutes.contains(minute));

        QCOMPARE(rig.sendMinutes(), sendMinutes);
        QCOMPARE(rig.router.receive(), QByteArray("\r\r"));
        const QStringList messages = rig.logMessages();
        QCOMPARE(messages.first(),
                 QStringLiteral("Fail command not sent: the start grace lasts until 12:05:00."));
        QCOMPARE(messages.count(kGraceOver), graceOverLogged ? 1 : 0);
        // The grace line comes right before the send it lets go.
        const qsizetype sent = messages.indexOf(SendEntry());
        QVERIFY(sent > 0);
        QCOMPARE(messages.at(sent - 1) == kGraceOver, graceOverLogged);
    }

    // Twelve hours of outage: the send times are the proof. A resend goes on the
    // cycle after its delay is over, one minute after it.
    void boundedEscalation_data()
    {
        QTest::addColumn<double>("backoff");
        QTest::addColumn<int>("maxResendMinutes");
        QTest::addColumn<int>("maxSends");
        QTest::addColumn<QList<qint64>>("sendMinutes");

        QTest::addRow("back-off 2 up to 240 minutes")
            << 2.0 << 240 << 0 << QList<qint64>{0, 31, 92, 213, 454, 695};
        QTest::addRow("back-off 1.5, no cap")
            << 1.5 << 0 << 0 << QList<qint64>{0, 31, 77, 146, 249, 402, 631};
        QTest::addRow("4 sends per outage") << 2.0 << 0 << 4 << QList<qint64>{0, 31, 92, 213};
    }
    void boundedEscalation()
    {
        QFETCH(double, backoff);
        QFETCH(int, maxResendMinutes);
        QFETCH(int, maxSends);
        QFETCH(QList<qint64>, sendMinutes);
        ActionRig rig;
        QVERIFY(rig.opened());
        Options &options = rig.safety.options();
        options.resendBackoff = backoff;
        options.maxResendMinutes = maxResendMinutes;
        options.maxSendsPerOutage = maxSends;

        for (int minute = 0; minute < 12 * 60; ++minute)
            rig.minute();

        QCOMPARE(rig.sendMinutes(), sendMinutes);
        QCOMPARE(rig.router.receive(), QByteArray("\r\r").repeated(sendMinutes.size()));
        const QStringList messages = rig.logMessages();
        const QString limitReached =
            QStringLiteral("Fail command not sent: the limit of 4 per outage is reached.");
        QCOMPARE(messages.count(limitReached), maxSends > 0 ? 1 : 0);
        if (maxSends > 0) {
            QVERIFY(messages.contains(SendEntry(QStringLiteral(
                "  Send 2 of 4.  Resend delay grown by the back-off to 60 minutes."))));
            // The last send has no resend to tell of.
            QVERIFY(messages.contains(SendEntry(QStringLiteral("  Send 4 of 4."))));
            // An answer starts the count again.
            rig.minute(true);
            rig.minute();
            QCOMPARE(rig.sends.ms.size(), 5);
            QCOMPARE(messages.size() + 1, rig.logMessages().size());
            QCOMPARE(rig.logMessages().last(), SendEntry(QStringLiteral("  Send 1 of 4.")));
        } else if (maxResendMinutes > 0) {
            QVERIFY(messages.contains(SendEntry(QStringLiteral(
                "  Resend delay grown by the back-off to 240 minutes, its maximum."))));
        }
    }

    // The router's answer, polled each second as the program does, against
    // "reset (done|ok)" within 30 seconds of the send; more bytes may follow a second
    // later.
    void acknowledgement_data()
    {
        QTest::addColumn<int>("afterSeconds");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("moreBytes");
        QTest::addColumn<QString>("verdict");

        QTest::addRow("arrives") << 5 << QByteArray("\r\nreset done\r\nRouter>") << QByteArray()
                                 << kAcknowledged + QStringLiteral("\r\nreset done");
        QTest::addRow("arrives in two polls, the last in the last second")
            << 28 << QByteArray("\r\nreset o") << QByteArray("k\r\n")
            << kAcknowledged + QStringLiteral("\r\nreset ok");
        QTest::addRow("arrives late")
            << 31 << QByteArray("\r\nreset done\r\n") << QByteArray()
            << kNoAcknowledgement + QStringLiteral("\r\n(nothing received)");
        QTest::addRow("never arrives")
            << 10 << QByteArray("\r\n% Unknown command\r\n") << QByteArray("Router>")
            << kNoAcknowledgement + QStringLiteral("\r\n% Unknown command\r\nRouter>");
    }
    void acknowledgement()
    {
        QFETCH(int, afterSeconds);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, moreBytes);
        QFETCH(QString, verdict);
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.safety.options().ackPattern = QStringLiteral("reset (done|ok)");

        rig.cycle();
        QCOMPARE(rig.router.receive(), QByteArray("\r\r"));
        for (int second = 1; second < 60; ++second) {
            if (second == afterSeconds)
                QVERIFY(rig.routerSays(bytes));
            if (second == afterSeconds + 1 && !moreBytes.isEmpty())
                QVERIFY(rig.routerSays(moreBytes));
            rig.tick();
        }

        QCOMPARE(rig.logMessages().filter(QStringLiteral("acknowledge")), QStringList{verdict});
    }

    // A resend within the wait restarts its time but keeps what the console said
    // after the first send: one verdict covers both sends.
    void oneVerdictCoversAResend()
    {
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.fields.setText(Field::FailResend, QStringLiteral("1"));
        rig.safety.options().ackPattern = QStringLiteral("reset (done|ok)");
        rig.safety.options().ackSeconds = 90;

        rig.cycle();
        QVERIFY(rig.routerSays("\r\n% Unknown command\r\n"));
        for (int second = 0; second < 60; ++second)
            rig.tick();
        // The first failing cycle after the resend delay re-arms, the next resends.
        rig.cycle();
        rig.tick();
        rig.cycle();
        for (int second = 0; second < 100; ++second)
            rig.tick();
        QCOMPARE(rig.sendMinutes(), QList<qint64>({0, 1}));

        QCOMPARE(rig.logMessages().filter(QStringLiteral("acknowledge")),
                 QStringList{QStringLiteral("No acknowledgement from the router within 90 "
                                            "seconds.\r\n% Unknown command")});
    }

    // The bytes reach the port while the link is still writing: behind the fail
    // command's own last byte, or during a scheduled send within the wait. They are
    // read by the next poll and still count.
    void acknowledgementDuringASend_data()
    {
        QTest::addColumn<bool>("duringScheduledSend");
        QTest::addRow("during the fail command") << false;
        QTest::addRow("during a scheduled send") << true;
    }
    void acknowledgementDuringASend()
    {
        QFETCH(bool, duringScheduledSend);
        ActionRig rig(true);
        QVERIFY(rig.opened());
        rig.safety.options().ackPattern = QStringLiteral("reset done");

        // The router answers its first carriage return of the send in question.
        const auto answerFirstReturn = [&rig](const std::function<void()> &send) {
            std::thread router([&rig] {
                for (char byte = 0; rig.router.waitForByte(2000, byte);) {
                    if (byte == '\r') {
                        rig.router.send("\r\nreset done\r\n");
                        return;
                    }
                }
            });
            send();
            router.join();
        };
        if (duringScheduledSend) {
            rig.cycle();
            QCOMPARE(rig.router.receive(), QByteArray("\r\r"));
            answerFirstReturn([&rig] {
                rig.link.SendCommand(QStringLiteral("show clock"));
                rig.events.commandSent(CommandKind::Scheduled, QStringLiteral("show clock"));
            });
        } else {
            answerFirstReturn([&rig] { rig.cycle(); });
        }
        QVERIFY(QTest::qWaitFor(
            [&rig] {
                int waiting = 0;
                return !rig.port.inBufferCount(waiting).failed() && waiting >= 14;
            },
            2000));
        rig.tick();

        QCOMPARE(rig.logMessages().filter(QStringLiteral("acknowledge")),
                 QStringList{kAcknowledged + QStringLiteral("\r\nreset done")});
    }

    // Cycles run and log as always; the send falls due while paused and goes on the
    // first failing cycle after the pause.
    void pauseOverAnOutage_data()
    {
        QTest::addColumn<bool>("resumedByUser");
        QTest::addRow("resumed by the user") << true;
        QTest::addRow("the hour runs out") << false;
    }
    void pauseOverAnOutage()
    {
        QFETCH(bool, resumedByUser);
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.tray.UpdateTrayTip(QStringLiteral("Corvane (0%)"));
        rig.safety.pause().PauseForOneHour();
        QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (paused until 13:00)"));

        const int pausedMinutes = resumedByUser ? 20 : 60;
        for (int minute = 0; minute < pausedMinutes; ++minute)
            rig.minute(false, minute == pausedMinutes - 1);
        QVERIFY(rig.sends.ms.isEmpty());
        if (resumedByUser) {
            QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (paused until 13:00)"));
            rig.safety.pause().Resume();
        }
        // The watch's tip while paused comes back.
        QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (100%)"));
        rig.minute();

        QCOMPARE(rig.sendMinutes(), QList<qint64>{pausedMinutes});
        QCOMPARE(rig.router.receive(), QByteArray("\r\r"));
        QStringList expected{
            QStringLiteral("Actions paused until 13:00."),
            QStringLiteral("Fail command not sent: actions are paused until 13:00.")};
        expected << QStringList(pausedMinutes - 1, QStringLiteral("No response to pings."))
                 << (resumedByUser ? QStringLiteral("Actions resumed.")
                                   : QStringLiteral("Pause over; actions resumed."))
                 << SendEntry();
        QCOMPARE(rig.logMessages(), expected);
        QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (Fail command sent)"));
    }

    // A second pause only moves the end: the watch's tip from before the first comes
    // back.
    void pausedTwiceThenResumed()
    {
        ActionRig rig;
        rig.tray.UpdateTrayTip(QStringLiteral("Corvane (0%)"));
        rig.safety.pause().PauseForOneHour();
        rig.clock.advanceMs(60'000);
        rig.safety.pause().PauseForOneHour();
        QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (paused until 13:01)"));

        rig.safety.pause().Resume();
        QCOMPARE(rig.tray.tips.last(), QStringLiteral("Corvane (0%)"));
        QCOMPARE(rig.logMessages(), QStringList({QStringLiteral("Actions paused until 13:00."),
                                                 QStringLiteral("Actions paused until 13:01."),
                                                 QStringLiteral("Actions resumed.")}));
    }

    // The router's adapter is pulled (the pseudo-terminal's far end closes and its
    // name goes) and plugged in again (a new one under the same name).
    void deviceVanishesAndComesBack_data()
    {
        QTest::addColumn<bool>("reopenPort");
        QTest::addColumn<bool>("backBeforeAPoll");
        QTest::addColumn<bool>("reopenedByPoll");
        QTest::addColumn<bool>("reopenedBySend");

        QTest::addRow("reopened as it comes back") << true << false << true << false;
        QTest::addRow("back before a poll saw it gone, reopened by the send")
            << true << true << false << true;
        QTest::addRow("reopening off") << false << false << false << false;
    }
    void deviceVanishesAndComesBack()
    {
        QFETCH(bool, reopenPort);
        QFETCH(bool, backBeforeAPoll);
        QFETCH(bool, reopenedByPoll);
        QFETCH(bool, reopenedBySend);
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.link.setReopenPort(reopenPort);
        PseudoTerminal replugged;

        rig.router.hangUp();
        QVERIFY(QFile::remove(rig.device));
        if (backBeforeAPoll)
            QVERIFY(rig.pointAt(replugged));
        QVERIFY(QTest::qWaitFor(
            [&rig] {
                rig.link.PollReceive();
                return !rig.boxes.shown.isEmpty();
            },
            2000));
        QVERIFY(!rig.port.isOpen());
        rig.link.PollReceive();
        if (!backBeforeAPoll)
            QVERIFY(rig.pointAt(replugged));
        rig.link.PollReceive();
        QCOMPARE(rig.port.isOpen(), reopenedByPoll);
        rig.link.SendCommand(QStringLiteral("a"));

        const bool reopened = reopenedByPoll || reopenedBySend;
        QCOMPARE(replugged.receive(), reopened ? QByteArray("a\r") : QByteArray());
        QCOMPARE(rig.logMessages().count(QStringLiteral("Comm port 1 reopened.")),
                 reopened ? 1 : 0);
        // The loss, and with reopening off the send to a closed port.
        QCOMPARE(rig.boxes.shown.size(), reopened ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(TestActionSequences)
#include "tst_action_sequences.moc"
