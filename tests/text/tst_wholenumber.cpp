#include "LocaleText.h"
#include "WholeNumber.h"

#include <QLocale>
#include <QTest>

class TestWholeNumber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }

    void converts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<int>("value");

        QTest::addRow("plain") << "2000" << true << 2000;
        QTest::addRow("blanks around") << "  42 " << true << 42;
        QTest::addRow("plus sign") << "+7" << true << 7;
        QTest::addRow("minus sign") << "-5" << true << -5;
        QTest::addRow("half goes to even 0") << "0.5" << true << 0;
        QTest::addRow("half goes to even 2 from 1.5") << "1.5" << true << 2;
        QTest::addRow("half goes to even 2 from 2.5") << "2.5" << true << 2;
        QTest::addRow("just above half") << "0.5000001" << true << 1;
        QTest::addRow("below half") << "0.4999" << true << 0;
        QTest::addRow("0.6 rounds up") << "0.6" << true << 1;
        QTest::addRow("negative half to even") << "-1.5" << true << -2;
        QTest::addRow("fraction without integer") << ".7" << true << 1;
        QTest::addRow("integer with bare separator") << "3." << true << 3;
        QTest::addRow("leading zeros") << "0005" << true << 5;
        QTest::addRow("largest 32-bit") << "2147483647" << true << 2147483647;
        QTest::addRow("smallest 32-bit") << "-2147483648" << true << int(-2147483648LL);
        QTest::addRow("rounds past the top") << "2147483647.5" << false << 0;
        QTest::addRow("beyond 32 bits") << "2147483648" << false << 0;
        QTest::addRow("huge") << "99999999999999999999999" << false << 0;
        QTest::addRow("empty") << "" << false << 0;
        QTest::addRow("trailing letters") << "12x" << false << 0;
        QTest::addRow("inner blank") << "1 2" << false << 0;
        QTest::addRow("sign alone") << "-" << false << 0;
        QTest::addRow("separator alone") << "." << false << 0;
        QTest::addRow("two signs") << "--1" << false << 0;
        QTest::addRow("exponent") << "1e3" << false << 0;
        QTest::addRow("hex") << "0x10" << false << 0;
        QTest::addRow("comma is not the C separator") << "1,5" << false << 0;
    }

    void converts()
    {
        QFETCH(QString, text);
        QFETCH(bool, converts);
        QFETCH(int, value);
        const std::optional<qint32> result = WholeNumber32(text);
        QCOMPARE(result.has_value(), converts);
        if (converts)
            QCOMPARE(*result, value);
    }

    void sixteenBitRange()
    {
        QCOMPARE(WholeNumber16(QStringLiteral("32767")), std::optional<qint16>(32767));
        QCOMPARE(WholeNumber16(QStringLiteral("-32768")), std::optional<qint16>(-32768));
        QVERIFY(!WholeNumber16(QStringLiteral("32768")).has_value());
        QVERIFY(!WholeNumber16(QStringLiteral("32767.5")).has_value());
    }

    void generalNumberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::addRow("zero") << 0.0 << "0";
        QTest::addRow("whole") << 100.0 << "100";
        QTest::addRow("one third") << 100.0 / 3.0 << "33.3333333333333";
        QTest::addRow("two thirds") << 200.0 / 3.0 << "66.6666666666667";
        QTest::addRow("short fraction") << 12.5 << "12.5";
    }

    void generalNumberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(GeneralNumberText(value), text);
    }

    void usesTheLocaleDecimalSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(WholeNumber32(QStringLiteral("1,5")), std::optional<qint32>(2));
        QVERIFY(!WholeNumber32(QStringLiteral("1.5")).has_value());
        QCOMPARE(GeneralNumberText(100.0 / 3.0), QStringLiteral("33,3333333333333"));
    }

    void longTimeHasNoZone()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(LongTimeText(QTime(0, 0, 0)), QStringLiteral("12:00:00 AM"));
        QCOMPARE(LongTimeText(QTime(13, 5, 9)), QStringLiteral("1:05:09 PM"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(LongTimeText(QTime(13, 5, 9)), QStringLiteral("13:05:09"));
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        QCOMPARE(LongTimeText(QTime(13, 5, 9)), QStringLiteral("13:05:09"));
    }
};

QTEST_GUILESS_MAIN(TestWholeNumber)
#include "tst_wholenumber.moc"
