#include "CaretNotation.h"

#include <QTest>

// Expected gaps are written one letter per byte: S short, L long, N none.
static QString GapLetters(const QList<CommandByte> &bytes)
{
    QString letters;
    for (const CommandByte &next : bytes)
        letters += next.gap == GapAfter::Short ? u'S' : next.gap == GapAfter::Long ? u'L' : u'N';
    return letters;
}

class TestCaretNotation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void describesFailures_data();
    void describesFailures();
};

void TestCaretNotation::decodes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("gaps");
    // Positions of the bytes that carry a failure.
    QTest::addColumn<QList<int>>("failing");

    const QList<int> none;
    QTest::addRow("default fail command") << "^m^m" << QByteArray("\r\r") << "LL" << none;
    QTest::addRow("plain letters") << "reset" << QByteArray("reset\r") << "SSSSSN" << none;
    QTest::addRow("upper-case M") << "^M" << QByteArray("\r") << "L" << none;
    QTest::addRow("control-C") << "^c" << QByteArray("\x03\r") << "LN" << none;
    QTest::addRow("control-Z, last long gap") << "^Z" << QByteArray("\x1a\r") << "LN" << none;
    QTest::addRow("final caret") << "abc^" << QByteArray("abc^\r") << "SSSSN" << none;
    QTest::addRow("lone caret") << "^" << QByteArray("^\r") << "SN" << none;
    QTest::addRow("two carets") << "^^" << QByteArray("^\r") << "SN" << none;
    QTest::addRow("two carets then m") << "^^m" << QByteArray("^m\r") << "SSN" << none;
    QTest::addRow("three carets") << "^^^" << QByteArray("^^\r") << "SSN" << none;
    QTest::addRow("line feed") << "x^j" << QByteArray("x\n\r") << "SLN" << none;
    QTest::addRow("escape, short gap") << "^[" << QByteArray("\x1b\r") << "SN" << none;
    QTest::addRow("file separator") << "^\\" << QByteArray("\x1c\r") << "SN" << none;
    QTest::addRow("group separator") << "^]" << QByteArray("\x1d\r") << "SN" << none;
    QTest::addRow("unit separator") << "^_" << QByteArray("\x1f\r") << "SN" << none;
    QTest::addRow("NUL") << "^@" << QByteArray("\0\r", 2) << "LN" << none;
    QTest::addRow("grave accent") << "^`" << QByteArray(" \r") << "SN" << none;
    QTest::addRow("brace") << "^{" << QByteArray(";\r") << "SN" << none;
    QTest::addRow("vertical bar") << "^|" << QByteArray("<\r") << "SN" << none;
    QTest::addRow("tilde") << "^~" << QByteArray(">\r") << "SN" << none;
    QTest::addRow("empty command") << "" << QByteArray("\r") << "N" << none;
    QTest::addRow("typed carriage return") << "a\r" << QByteArray("a\r") << "SL" << none;
    QTest::addRow("typed tab, long gap") << "a\tb" << QByteArray("a\tb\r") << "SLSN" << none;
    QTest::addRow("digit after caret") << "^1" << QByteArray("1\r") << "SN" << QList<int>{0};
    QTest::addRow("blank after caret") << "a^ b" << QByteArray("a b\r") << "SSSN" << QList<int>{1};
    QTest::addRow("question mark after caret")
        << "^?^m" << QByteArray("?\r") << "SL" << QList<int>{0};
    QTest::addRow("Latin-1 letter") << "caf\u00e9" << QByteArray("caf\xe9\r") << "SSSSN" << none;
    // Upper-cased within Latin-1: à becomes À (192), minus 64.
    QTest::addRow("caret a-grave") << "^\u00e0" << QByteArray("\x80\r") << "SN" << none;
    QTest::addRow("caret E-acute") << "^\u00c9" << QByteArray("\x89\r") << "SN" << none;
    // Their upper-case forms lie outside Latin-1, so they keep their own code.
    QTest::addRow("caret y-diaeresis") << "^\u00ff" << QByteArray("\xbf\r") << "SN" << none;
    QTest::addRow("caret micro sign") << "^\u00b5" << QByteArray("u\r") << "SN" << none;
    QTest::addRow("outside Latin-1")
        << "a\u20acb" << QByteArray("a?b\r") << "SSSN" << QList<int>{1};
    QTest::addRow("outside Latin-1 after caret")
        << "^\u20ac" << QByteArray("?\r") << "SN" << QList<int>{0};
    QTest::addRow("outside the basic plane is one character")
        << "\U0001F600" << QByteArray("?\r") << "SN" << QList<int>{0};
}

void TestCaretNotation::decodes()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, gaps);
    QFETCH(QList<int>, failing);

    const QList<CommandByte> decoded = DecodeCommand(command);
    QByteArray written;
    QList<int> failed;
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        written.append(decoded[i].byte);
        if (!decoded[i].failure.isEmpty())
            failed.append(static_cast<int>(i));
    }
    QCOMPARE(written, bytes);
    QCOMPARE(GapLetters(decoded), gaps);
    QCOMPARE(failed, failing);
}

void TestCaretNotation::describesFailures_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("mentions");

    QTest::addRow("no control character") << "^1"
                                          << "\"^1\"";
    QTest::addRow("outside Latin-1") << "\u20ac"
                                     << "cannot be sent as a single byte";
    QTest::addRow("outside Latin-1 after caret") << "^\u20ac"
                                                 << "cannot be sent as a single byte";
}

void TestCaretNotation::describesFailures()
{
    QFETCH(QString, command);
    QFETCH(QString, mentions);

    const QString failure = DecodeCommand(command).constFirst().failure;
    QVERIFY2(failure.contains(mentions), qPrintable(failure));
}

QTEST_APPLESS_MAIN(TestCaretNotation)
#include "tst_caret_notation.moc"
