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
        QTest::addRow("fail command")
            << QStringLiteral("No response after 3 ping attempts.  Sending fail command.")
            << QByteArray("<5>No response after 3 ping attempts.  Sending fail command.\n");
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
};

QTEST_APPLESS_MAIN(TestJournalLine)
#include "tst_journal_line.moc"
