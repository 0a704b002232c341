// Relay frames as the settings write them: exact bytes, or a refusal that names the
// character at fault and gives no bytes at all.

#include "RelayFrame.h"

#include <QTest>

class TestRelayFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");
        const QString noHex =
            QStringLiteral("\\x must be followed by two hex digits, such as \\xA0 (character %1).");
        QTest::addRow("empty") << "" << QByteArray() << QString();
        QTest::addRow("\\x00") << "\\x00" << QByteArray(1, '\0') << QString();
        QTest::addRow("\\xFF") << "\\xFF" << QByteArray("\xff") << QString();
        QTest::addRow("\\xff lower case") << "\\xff" << QByteArray("\xff") << QString();
        QTest::addRow("board frame")
            << "\\xA0\\x01\\x01\\xA2" << QByteArray("\xa0\x01\x01\xa2") << QString();
        QTest::addRow("\\x alone") << "\\x" << QByteArray() << noHex.arg(1);
        QTest::addRow("\\x one digit") << "ab\\xA" << QByteArray() << noHex.arg(3);
        QTest::addRow("\\xG0") << "\\xG0" << QByteArray() << noHex.arg(1);
        QTest::addRow("\\x0G") << "\\x0G" << QByteArray() << noHex.arg(1);
        QTest::addRow("lone ^") << "^" << QByteArray()
                                << "A caret at the end stands for nothing; write ^^ for the "
                                   "caret itself (character 1).";
        QTest::addRow("^@") << "^@" << QByteArray(1, '\0') << QString();
        QTest::addRow("^_ highest") << "^_" << QByteArray("\x1f") << QString();
        QTest::addRow("^m lower case") << "^m" << QByteArray("\r") << QString();
        QTest::addRow("^? below @") << "^?" << QByteArray()
                                    << "\"^?\" stands for no byte; a caret is followed by @, a "
                                       "letter or one of [ \\ ] ^ _ (character 2).";
        QTest::addRow("^` past _") << "x^`" << QByteArray()
                                   << "\"^`\" stands for no byte; a caret is followed by @, a "
                                      "letter or one of [ \\ ] ^ _ (character 3).";
        QTest::addRow("^^ and \\\\") << "^^\\\\" << QByteArray("^\\") << QString();
        QTest::addRow("lone backslash") << "a\\" << QByteArray()
                                        << "A backslash starts \\xHH, or \\\\ for the backslash "
                                           "itself (character 2).";
        QTest::addRow("\\n is no escape") << "\\n"
                                          << QByteArray()
                                          << "A backslash starts \\xHH, or \\\\ for the "
                                             "backslash itself (character 1).";
        QTest::addRow("mixed") << "ON^M\\x0D!" << QByteArray("ON\r\r!") << QString();
        QTest::addRow("control character as itself") << "\x1b" << QByteArray("\x1b") << QString();
        QTest::addRow("beyond ASCII") << "o\u00e9" << QByteArray()
                                      << "Only ASCII may be written as it is; write any other "
                                         "byte as \\xHH (character 2).";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        const RelayFrame frame = ParseRelayFrame(text);
        QCOMPARE(frame.refusal, refusal);
        QCOMPARE(frame.bytes, bytes);
        if (refusal.isEmpty())
            QCOMPARE(ParseRelayFrame(RelayFrameText(bytes)).bytes, bytes);
    }

    void everyByteReadsBack()
    {
        QByteArray all;
        for (int code = 0; code < 256; ++code)
            all.append(char(code));
        const RelayFrame frame = ParseRelayFrame(RelayFrameText(all));
        QCOMPARE(frame.refusal, QString());
        QCOMPARE(frame.bytes, all);
        QCOMPARE(RelayFrameText(QByteArray("\xa0^\\ A")), QStringLiteral("\\xA0^^\\\\ A"));
    }
};

QTEST_APPLESS_MAIN(TestRelayFrame)
#include "tst_relay_frame.moc"
