#include "IniDocument.h"
#include "IniValue.h"

#include <QTest>

using KeyValues = QList<QPair<QString, QString>>;

class TestIniDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryGoodLineAsWritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<KeyValues>("expected");

        QTest::addRow("comment lines")
            << QByteArray("# lab router\n[LastValues]\n  ; console on ttyUSB0\nFailTries=8\n")
            << KeyValues{{"FailTries", "8"}};
        QTest::addRow("line without equals")
            << QByteArray("[LastValues]\nAddrPri=::1\nstray words\nFailTries=8\n")
            << KeyValues{{"AddrPri", "::1"}, {"FailTries", "8"}};
        QTest::addRow("Latin-1 byte in a comment")
            << QByteArray("; r\xe9seau du labo\n[LastValues]\nFailLog=/var/log/c\xc3\xa9.txt\n")
            << KeyValues{{"FailLog", QStringLiteral("/var/log/cé.txt")}};
        QTest::addRow("Latin-1 value")
            << QByteArray("[LastValues]\nFailLog=/home/j\xfcrgen/log\n")
            << KeyValues{{"FailLog", QStringLiteral("/home/jürgen/log")}};
        QTest::addRow("comma") << QByteArray("[LastValues]\nFailCommand=AT,Z\n")
                               << KeyValues{{"FailCommand", "AT,Z"}};
        QTest::addRow("semicolon")
            << QByteArray("[LastValues]\nFailCommand=AT;Z\n") << KeyValues{{"FailCommand", "AT;Z"}};
        QTest::addRow("caret backslash at the end, then another key")
            << QByteArray("[LastValues]\nFailCommand=AT^\\\nFailTries=8\n")
            << KeyValues{{"FailCommand", "AT^\\"}, {"FailTries", "8"}};
        QTest::addRow("hand-written backslashes")
            << QByteArray("[LastValues]\nFailLog=c:\\log.txt\nSchedCmd0=^\\^m\n")
            << KeyValues{{"FailLog", "c:\\log.txt"}, {"SchedCmd0", "^\\^m"}};
        QTest::addRow("blanks around key, equals and value")
            << QByteArray("[LastValues]\n\t Period =  90 \t\nAddrPri= a = b\n")
            << KeyValues{{"Period", "90"}, {"AddrPri", "a = b"}};
        QTest::addRow("quoted value") << QByteArray("[LastValues]\nFailCommand=\" a, b\\\\ \"\n")
                                      << KeyValues{{"FailCommand", " a, b\\ "}};
        QTest::addRow("quotes inside are the text")
            << QByteArray("[LastValues]\nFailCommand=\"a\" and \"b\"\n")
            << KeyValues{{"FailCommand", "\"a\" and \"b\""}};
        QTest::addRow("CR LF and a byte order mark")
            << QByteArray("\xef\xbb\xbf[LastValues]\r\nFailTries=8\r\nPeriod=\r\n")
            << KeyValues{{"FailTries", "8"}, {"Period", ""}};
        QTest::addRow("first occurrence, in any part of the section")
            << QByteArray("[LastValues]\nPeriod=1\n[Ports]\n1=x\n[LastValues]\nPeriod=2\nInit=Yes")
            << KeyValues{{"Period", "1"}, {"Init", "Yes"}};
        QTest::addRow("unterminated section header is skipped")
            << QByteArray("[LastValues]\nPeriod=1\n[Ports\nFailTries=8\n")
            << KeyValues{{"FailTries", "8"}};
    }
    void readsEveryGoodLineAsWritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(KeyValues, expected);
        const IniDocument document(content);
        for (const auto &[key, value] : expected)
            QCOMPARE(document.value(QStringLiteral("LastValues"), key), value);
        QVERIFY(document.hasKeys(QStringLiteral("LastValues")));
        QCOMPARE(document.content(), content);
    }

    void namesMatchExactly()
    {
        const IniDocument document("Init=Yes\n[lastvalues]\nInit=Yes\n[LastValues]\ninit=Yes\n");
        QCOMPARE(document.value(QStringLiteral("LastValues"), QStringLiteral("Init")),
                 std::nullopt);
        QVERIFY(document.hasKeys(QStringLiteral("LastValues")));
        QVERIFY(!document.hasKeys(QStringLiteral("Ports")));
    }

    void skippedLinesAreNumbered()
    {
        const IniDocument document("[LastValues]\n\nno equals\nInit=Yes\n= no key\n"
                                   "; fine\n[Ports\n1=/dev/ttyS0");
        QCOMPARE(document.skippedLines(), QList<int>({3, 5, 7}));
    }

    void savingChangesOnlyItsLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("after");

        const QByteArray handWritten("# lab router\n[LastValues]\n  Period = 60 ; once a minute\n"
                                     "Odd=1\nstray\n; ports below\n[Ports]\n1=/dev/ttyUSB0\n");
        QTest::addRow("changed in place, spacing kept")
            << handWritten << "LastValues"
            << "Period"
            << QByteArray("# lab router\n[LastValues]\n  Period = v\nOdd=1\nstray\n"
                          "; ports below\n[Ports]\n1=/dev/ttyUSB0\n");
        QTest::addRow("added after the section's last key")
            << handWritten << "LastValues"
            << "AddrPri"
            << QByteArray("# lab router\n[LastValues]\n  Period = 60 ; once a minute\nOdd=1\n"
                          "AddrPri=v\nstray\n; ports below\n[Ports]\n1=/dev/ttyUSB0\n");
        QTest::addRow("added section at the end")
            << QByteArray("[Ports]\n1=/dev/ttyUSB0") << "LastValues"
            << "Init" << QByteArray("[Ports]\n1=/dev/ttyUSB0\n\n[LastValues]\nInit=v\n");
        QTest::addRow("empty file") << QByteArray() << "LastValues"
                                    << "Init" << QByteArray("[LastValues]\nInit=v\n");
        QTest::addRow("CR LF kept")
            << QByteArray("[LastValues]\r\nInit=Yes\r\n[Ports]\r\n") << "LastValues"
            << "Period" << QByteArray("[LastValues]\r\nInit=Yes\r\nPeriod=v\r\n[Ports]\r\n");
        QTest::addRow("Latin-1 lines kept")
            << QByteArray("; r\xe9seau\n[LastValues]\nFailLog=/home/j\xfcrgen\n") << "LastValues"
            << "FailLog" << QByteArray("; r\xe9seau\n[LastValues]\nFailLog=v\n");
        QTest::addRow("header without keys")
            << QByteArray("[LastValues]\n\n[Ports]\n") << "LastValues"
            << "Init" << QByteArray("[LastValues]\nInit=v\n\n[Ports]\n");
    }
    void savingChangesOnlyItsLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QByteArray, after);
        IniDocument document(before);
        QVERIFY(document.setValue(section, key, QStringLiteral("v")));
        QCOMPARE(document.content(), after);
    }

    void removingTakesOnlyTheKeysLines()
    {
        IniDocument document("[LastValues]\nPeriod=1\n# keep\nInit=Yes\n[Ports]\nPeriod=3\n"
                             "[LastValues]\nPeriod=2\n");
        QVERIFY(document.remove(QStringLiteral("LastValues"), QStringLiteral("Period")));
        QCOMPARE(document.content(),
                 QByteArray("[LastValues]\n# keep\nInit=Yes\n[Ports]\nPeriod=3\n[LastValues]\n"));
        QVERIFY(!document.remove(QStringLiteral("LastValues"), QStringLiteral("Period")));
    }

    void namesThatWouldReadBackOtherwiseAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("empty") << QString();
        QTest::addRow("equals") << QStringLiteral("a=b");
        QTest::addRow("surrounding blank") << QStringLiteral("a ");
        QTest::addRow("comment") << QStringLiteral("#a");
        QTest::addRow("section") << QStringLiteral("[a");
        QTest::addRow("line break") << QStringLiteral("a\nb");
        QTest::addRow("half a surrogate pair") << QString(QChar(0xD800));
    }
    void namesThatWouldReadBackOtherwiseAreRefused()
    {
        QFETCH(QString, name);
        IniDocument document("[a]\n");
        QVERIFY(!document.setValue(name, QStringLiteral("k"), QStringLiteral("v")));
        QVERIFY(!document.setValue(QStringLiteral("a"), name, QStringLiteral("v")));
        QCOMPARE(document.content(), QByteArray("[a]\n"));
    }

    void valuesAreWrittenPlainlyWhenTheyReadBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("written");

        QTest::addRow("comma and semicolon") << "AT,Z;x"
                                             << "AT,Z;x";
        QTest::addRow("caret backslash") << "AT^\\"
                                         << "AT^\\";
        QTest::addRow("path with backslash") << "c:\\log.txt"
                                             << "c:\\log.txt";
        QTest::addRow("inner blanks and tab") << "a \tb"
                                              << "a \tb";
        QTest::addRow("single at") << "@Invalid()"
                                   << "@Invalid()";
        QTest::addRow("non-ASCII") << QStringLiteral("jürgen €") << QStringLiteral("jürgen €");
        QTest::addRow("surrounding blanks") << " 5 "
                                            << "\" 5 \"";
        QTest::addRow("looks quoted") << "\"x\""
                                      << "\"\\\"x\\\"\"";
        QTest::addRow("looks like an earlier escape") << "c:\\\\temp"
                                                      << "\"c:\\\\\\\\temp\"";
        QTest::addRow("earlier escape of a tab") << "c:\\temp"
                                                 << "\"c:\\\\temp\"";
        QTest::addRow("doubled at") << "@@x"
                                    << "\"@@@x\"";
        QTest::addRow("line break") << "a\r\nb"
                                    << "\"a\\r\\nb\"";
        QTest::addRow("control then hex digit") << QStringLiteral("\x01"
                                                                  "a")
                                                << QStringLiteral("\"\\x1\\x61\"");
        QTest::addRow("half a surrogate pair")
            << QString(QChar(0xDC00)) + u'z' << QStringLiteral("\"\\xdc00z\"");
    }
    void valuesAreWrittenPlainlyWhenTheyReadBack()
    {
        QFETCH(QString, value);
        QFETCH(QString, written);
        QCOMPARE(IniValueNotation(value), written);
        IniDocument document;
        QVERIFY(document.setValue(QStringLiteral("LastValues"), QStringLiteral("K"), value));
        QCOMPARE(IniDocument(document.content())
                     .value(QStringLiteral("LastValues"), QStringLiteral("K")),
                 value);
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_ini_document.moc"
