#include "CaretNotation.h"

#include <QTest>

class TestCaretNotation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");
        // What follows each byte: S a short gap, L a long one, N none.
        QTest::addColumn<QString>("gaps");
        // What the one failure of the command says, if it has one.
        QTest::addColumn<QString>("failure");

        const QString none;
        QTest::addRow("default fail command") << "^m^m" << QByteArray("\r\r") << "LL" << none;
        QTest::addRow("plain letters") << "reset" << QByteArray("reset\r") << "SSSSSN" << none;
        QTest::addRow("upper-case M") << "^M" << QByteArray("\r") << "L" << none;
        QTest::addRow("control-Z, last long gap") << "^Z" << QByteArray("\x1a\r") << "LN" << none;
        QTest::addRow("final caret") << "abc^" << QByteArray("abc^\r") << "SSSSN" << none;
        QTest::addRow("two carets then m") << "^^m" << QByteArray("^m\r") << "SSN" << none;
        QTest::addRow("three carets") << "^^^" << QByteArray("^^\r") << "SSN" << none;
        QTest::addRow("line feed") << "x^j" << QByteArray("x\n\r") << "SLN" << none;
        QTest::addRow("escape, short gap") << "^[" << QByteArray("\x1b\r") << "SN" << none;
        QTest::addRow("file separator") << "^\\" << QByteArray("\x1c\r") << "SN" << none;
        QTest::addRow("unit separator") << "^_" << QByteArray("\x1f\r") << "SN" << none;
        QTest::addRow("NUL") << "^@" << QByteArray("\0\r", 2) << "LN" << none;
        QTest::addRow("grave accent") << "^`" << QByteArray(" \r") << "SN" << none;
        QTest::addRow("tilde") << "^~" << QByteArray(">\r") << "SN" << none;
        QTest::addRow("empty command") << "" << QByteArray("\r") << "N" << none;
        QTest::addRow("typed carriage return") << "a\r" << QByteArray("a\r") << "SL" << none;
        QTest::addRow("typed tab, long gap") << "a\tb" << QByteArray("a\tb\r") << "SLSN" << none;
        QTest::addRow("digit after caret")
            << "^1" << QByteArray("1\r") << "SN" << QStringLiteral("\"^1\" does not stand");
        QTest::addRow("blank after caret")
            << "a^ b" << QByteArray("a b\r") << "SSSN" << QStringLiteral("\"^ \"");
        QTest::addRow("question mark after caret")
            << "^?^m" << QByteArray("?\r") << "SL" << QStringLiteral("\"^?\"");
        QTest::addRow("Latin-1 letter")
            << "caf\u00e9" << QByteArray("caf\xe9\r") << "SSSSN" << none;
        // Upper-cased within Latin-1: à becomes À (192), minus 64.
        QTest::addRow("caret a-grave") << "^\u00e0" << QByteArray("\x80\r") << "SN" << none;
        QTest::addRow("caret E-acute") << "^\u00c9" << QByteArray("\x89\r") << "SN" << none;
        // Their upper-case forms lie outside Latin-1, so they keep their own code.
        QTest::addRow("caret y-diaeresis") << "^\u00ff" << QByteArray("\xbf\r") << "SN" << none;
        QTest::addRow("caret micro sign") << "^\u00b5" << QByteArray("u\r") << "SN" << none;
        // Beyond Latin-1, the router's code page gives the byte.
        QTest::addRow("euro sign") << "a\u20acb"
                                   << QByteArray("a\x80"
                                                 "b\r")
                                   << "SSSN" << none;
        QTest::addRow("right single quote")
            << "don\u2019t" << QByteArray("don\x92t\r") << "SSSSSN" << none;
        QTest::addRow("euro sign after caret") << "^\u20ac" << QByteArray("\x80\r") << "SN" << none;
        // Latin-1's own control characters there have no byte in the code page.
        QTest::addRow("Latin-1 control 0x80") << "\u0080" << QByteArray("?\r") << "SN" << none;
        // No byte at all: "?" in its place, and the rest of the command still goes.
        QTest::addRow("CJK character") << "a\u4e00b" << QByteArray("a?b\r") << "SSSN" << none;
        QTest::addRow("CJK character after caret")
            << "^\u4e00^m" << QByteArray("?\r") << "SL" << none;
        QTest::addRow("outside the basic plane is one character")
            << "\U0001F600" << QByteArray("?\r") << "SN" << none;
    }
    void decodes()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, gaps);
        QFETCH(QString, failure);

        QByteArray written;
        QString gapLetters;
        QStringList failures;
        for (const CommandByte &next : DecodeCommand(command)) {
            written.append(next.byte);
            gapLetters += next.gap == GapAfter::Short  ? u'S'
                          : next.gap == GapAfter::Long ? u'L'
                                                       : u'N';
            if (!next.failure.isEmpty())
                failures.append(next.failure);
        }
        QCOMPARE(written, bytes);
        QCOMPARE(gapLetters, gaps);
        QCOMPARE(failures.size(), failure.isEmpty() ? 0 : 1);
        QVERIFY2(failures.join(u'\n').contains(failure), qPrintable(failures.join(u'\n')));
    }
};

QTEST_APPLESS_MAIN(TestCaretNotation)
#include "tst_caret_notation.moc"
