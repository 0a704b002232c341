#include "ConsoleMatch.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The line an acknowledgement reports, as the log file, the journal and a
// notification show it.
class TestConsoleMatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchedLineIsText_data()
    {
        QTest::addColumn<QByteArray>("console");
        QTest::addColumn<QString>("line");
        QTest::addRow("plain") << QByteArray("router>\r\nOK done\r\nrouter>") << u"OK done"_s;
        QTest::addRow("NUL before a priority")
            << QByteArray("OK\0<0>FORGED\r\n", 14) << u"OK <0>FORGED"_s;
        QTest::addRow("terminal title")
            << QByteArray("OK\x1b]0;x\x07 done\r\n") << u"OK ]0;x  done"_s;
        QTest::addRow("C1 and DEL") << QByteArray("OK\x9b"
                                                  "2J\x7f!")
                                    << u"OK 2J !"_s;
        QTest::addRow("tab") << QByteArray("OK\tdone") << u"OK done"_s;
        QTest::addRow("match across a lone CR") << QByteArray("x\nOK\rdone\ny") << u"OK done"_s;
    }
    void matchedLineIsText()
    {
        QFETCH(QByteArray, console);
        QFETCH(QString, line);
        const QRegularExpression pattern(QStringLiteral("OK\\s?d?"));
        QCOMPARE(MatchedLine(pattern, ConsoleText(console)), std::optional<QString>(line));
        QCOMPARE(MatchedLines(pattern, ConsoleText(console)), QStringList{line});
    }
};

QTEST_APPLESS_MAIN(TestConsoleMatch)
#include "tst_console_match.moc"
