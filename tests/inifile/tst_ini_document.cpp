#include "IniDocument.h"
#include "IniValue.h"

#include <QTest>

class TestIniDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void namesThatWouldReadBackOtherwiseAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("empty") << QString();
        QTest::addRow("equals") << QStringLiteral("a=b");
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

        QTest::addRow("comma and semicolon")
            << QStringLiteral("AT,Z;x") << QStringLiteral("AT,Z;x");
        QTest::addRow("caret backslash") << QStringLiteral("AT^\\") << QStringLiteral("AT^\\");
        QTest::addRow("path with backslash")
            << QStringLiteral("c:\\log.txt") << QStringLiteral("c:\\log.txt");
        QTest::addRow("non-ASCII") << QStringLiteral("jürgen €") << QStringLiteral("jürgen €");
        QTest::addRow("surrounding blanks") << QStringLiteral(" 5 ") << QStringLiteral("\" 5 \"");
        QTest::addRow("looks quoted") << QStringLiteral("\"x\"") << QStringLiteral("\"\\\"x\\\"\"");
        QTest::addRow("looks like an earlier escape")
            << QStringLiteral("c:\\\\temp") << QStringLiteral("\"c:\\\\\\\\temp\"");
        QTest::addRow("earlier escape of a tab")
            << QStringLiteral("c:\\temp") << QStringLiteral("\"c:\\\\temp\"");
        QTest::addRow("doubled at") << QStringLiteral("@@x") << QStringLiteral("\"@@@x\"");
        QTest::addRow("line break") << QStringLiteral("a\r\nb") << QStringLiteral("\"a\\r\\nb\"");
        QTest::addRow("control then hex digit")
            << QString(QChar(1)) + u'a' << QStringLiteral("\"\\x1\\x61\"");
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
