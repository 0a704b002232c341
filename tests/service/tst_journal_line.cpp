#include "Journal.h"

#include <QtTest>

class TestJournalLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void priorities_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("line");
        // An outage that ends in the cycle after its fail command leaves no other line.
        QTest::addRow("fail command")
            << QStringLiteral("No response after 3 ping attempts.  Sending fail command.")
            << QByteArray("<4>No response after 3 ping attempts.  Sending fail command.\n");
        QTest::addRow("failing cycle")
            << QStringLiteral("No response to pings.") << QByteArray("<4>No response to pings.\n");
        QTest::addRow("lines joined")
            << QStringLiteral("No acknowledgement from the router within 30 seconds.\r\n"
                              "router> \r\n")
            << QByteArray("<4>No acknowledgement from the router within 30 seconds. | router> \n");
        QTest::addRow("the rest") << QStringLiteral("Ran OnOutage: exit 0.")
                                  << QByteArray("<6>Ran OnOutage: exit 0.\n");
    }
    void priorities()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, line);
        QCOMPARE(JournalLine(entry), line);
    }

    // One row for each way a warning is recognised, each holding that way alone.
    void warnings_data()
    {
        QTest::addColumn<QString>("entry");
        const auto row = [](const char *name, const char16_t *entry) {
            QTest::addRow("%s", name) << QString::fromUtf16(entry);
        };
        row("unsent command", u"Command not sent completely: /dev/ttyS0 is not open.");
        row("fail command held back", u"Fail command not sent: actions are paused until 14:00.");
        row("stored options refused",
            u"Some stored options are not valid; Corvane runs with their defaults:\r\n"
            u"AckSeconds=0: a whole number of seconds from 1 to 3600 is required.");
        row("stored settings refused",
            u"Some stored settings are not valid; Corvane runs with its fallbacks for them:");
        row("settings lines skipped",
            u"The settings file /home/ann/.config/Vestrel.ini has lines that are not settings, "
            u"which were skipped: 4, 9.");
        row("event program not started",
            u"OnOutage could not be started: no program \"alert\" was found.");
        row("metrics not written",
            u"The metrics file /var/lib/corvane/metrics.prom could not be written: No space "
            u"left on device");
        row("event program timed out", u"OnOutage did not finish within 30 seconds; stopped.");
        row("event program skipped", u"OnLineBack skipped: the previous run has not finished.");
        row("event program killed", u"Ran OnFailCommand: ended by signal 9.");
        row("event program failed", u"Ran OnOutage: exit 1.");
        row("event program failed, with a status ending in 0", u"Ran OnOutage: exit 10.\r\nsent");
        row("history not written",
            u"The history cannot be written to /var/lib/corvane/history.sqlite: disk I/O error. "
            u"The watch goes on without it.");
        row("a port that cannot be opened",
            u"Cannot open /dev/ttyUSB0: it is locked by process 4242 (owner ann).");
        row("a failed write", u"Writing to /dev/ttyS0 failed: Input/output error.");
        row("an error named so", u"Error: the record is not complete.");
    }
    void warnings()
    {
        QFETCH(QString, entry);
        QVERIFY2(JournalLine(entry).startsWith("<4>"), JournalLine(entry).constData());
    }

    // A program's or the router's output follows the first line; its words tell
    // nothing of how the run went.
    void outputLeavesThePriority_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addRow("program output")
            << QStringLiteral("Ran OnLineBack: exit 0.\r\nupload failed, will retry");
        QTest::addRow("router output")
            << QStringLiteral("Router acknowledged the fail command.\r\n% Error in line 1");
    }
    void outputLeavesThePriority()
    {
        QFETCH(QString, entry);
        QVERIFY2(JournalLine(entry).startsWith("<6>"), JournalLine(entry).constData());
    }
};

QTEST_APPLESS_MAIN(TestJournalLine)
#include "tst_journal_line.moc"
