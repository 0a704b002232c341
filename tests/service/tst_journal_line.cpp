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

    // Bytes from the router, a program or the settings file: journald would end a
    // record at a line end or NUL and read the "<0>" after it as a record of its own
    // at the highest priority. Each entry stays exactly one record.
    void oneRecordWhateverTheEntryHolds_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("line");
        const QString acknowledged = QStringLiteral("Router acknowledged the fail command.\r\n");
        QTest::addRow("NUL") << acknowledged + QStringLiteral("OK") + QChar(u'\0') +
                                    QStringLiteral("<0>FORGED")
                             << QByteArray(
                                    "<6>Router acknowledged the fail command. | OK <0>FORGED\n");
        QTest::addRow("lone LF") << QStringLiteral("FailTries=\"7\n<0>FORGED\" is not valid.")
                                 << QByteArray("<6>FailTries=\"7 | <0>FORGED\" is not valid.\n");
        QTest::addRow("lone CR") << QStringLiteral("Ran OnOutage: exit 0.\r<0>FORGED")
                                 << QByteArray("<6>Ran OnOutage: exit 0. | <0>FORGED\n");
        QTest::addRow("ESC")
            << acknowledged + QStringLiteral("OK\x1b]0;x\x07<0>FORGED")
            << QByteArray("<6>Router acknowledged the fail command. | OK ]0;x <0>FORGED\n");
        QTest::addRow("C1 and DEL")
            << acknowledged + QStringLiteral("OK") + QChar(0x9b) + QChar(0x85) + QChar(0x7f) +
                   QStringLiteral("<0>FORGED")
            << QByteArray("<6>Router acknowledged the fail command. | OK   <0>FORGED\n");
        QTest::addRow("tab kept") << QStringLiteral("Ran OnOutage: exit 0.\r\na\tb")
                                  << QByteArray("<6>Ran OnOutage: exit 0. | a\tb\n");
        QTest::addRow("only line ends") << QStringLiteral("\r\n\n\r\r\n") << QByteArray("<6>\n");
        // Judged on the first line however it ends, not on a forged second one.
        QTest::addRow("warning before a lone LF")
            << QStringLiteral("No response to pings.\n<6>calm")
            << QByteArray("<4>No response to pings. | <6>calm\n");
        QTest::addRow("warning only after a lone LF")
            << QStringLiteral("Ran OnOutage: exit 0.\nfailed")
            << QByteArray("<6>Ran OnOutage: exit 0. | failed\n");
    }
    void oneRecordWhateverTheEntryHolds()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, line);
        const QByteArray written = JournalLine(entry);
        QCOMPARE(written, line);
        QCOMPARE(written.count('\n'), 1);
        QVERIFY(!written.contains('\0'));
    }

    // journald cuts a line longer than its line limit (48 KiB unless changed) into
    // records of its own, each read for a priority again.
    void longEntryIsCut_data()
    {
        QTest::addColumn<qsizetype>("characters");
        QTest::addColumn<bool>("cut");
        QTest::addRow("at the limit") << qsizetype(16000) << false;
        QTest::addRow("above it") << qsizetype(16001) << true;
        QTest::addRow("far above it") << qsizetype(200000) << true;
    }
    void longEntryIsCut()
    {
        QFETCH(qsizetype, characters);
        QFETCH(bool, cut);
        // Three bytes of UTF-8 each, the most a UTF-16 unit takes.
        const QString entry = QStringLiteral("Ran OnOutage: exit 0.\r\n<0>") +
                              QString(characters - 27, QChar(0x20ac));
        const QByteArray written = JournalLine(entry);
        QVERIFY2(written.size() < qsizetype{48} * 1024,
                 qPrintable(QString::number(written.size())));
        QCOMPARE(written.endsWith(" [cut]\n"), cut);
        QCOMPARE(written.count('\n'), 1);
    }
};

QTEST_APPLESS_MAIN(TestJournalLine)
#include "tst_journal_line.moc"
