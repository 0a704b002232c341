#include "Module1.h"
#include "ScriptedEcho.h"

#include <QTest>

#include <cstring>
#include <limits>

namespace {

QByteArray BytesInMemory(quint32 address)
{
    QByteArray bytes(sizeof address, '\0');
    std::memcpy(bytes.data(), &address, sizeof address);
    return bytes.toHex();
}

} // namespace

class TestModule1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesDottedAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray zero("00000000");
        QTest::addRow("bytes in text order") << "192.168.0.1" << QByteArray("c0a80001");
        QTest::addRow("plus sign") << "+10.0.0.1" << QByteArray("0a000001");
        QTest::addRow("leading zeros are decimal") << "010.0.0.011" << QByteArray("0a00000b");
        QTest::addRow("255 with leading zeros") << "00000255.0.0.1" << QByteArray("ff000001");
        QTest::addRow("minus zero") << "10.-0.0.1" << QByteArray("0a000001");
        // A part that is no byte would probe some other host, which may well answer.
        QTest::addRow("256") << "10.0.0.256" << zero;
        QTest::addRow("300") << "10.0.0.300" << zero;
        QTest::addRow("-1") << "-1.0.0.1" << zero;
        QTest::addRow("300 behind leading zeros") << "0000000300.0.0.1" << zero;
        QTest::addRow("largest 32-bit part") << "2147483647.0.0.1" << zero;
        QTest::addRow("smallest 32-bit part") << "-2147483648.0.0.1" << zero;
        QTest::addRow("blanks around the text") << " 127.0.0.1 " << QByteArray("7f000001");
        QTest::addRow("three parts") << "192.168.1" << zero;
        QTest::addRow("empty") << "" << zero;
        QTest::addRow("empty part") << "1..2.3" << zero;
        QTest::addRow("letter part") << "10.0.x.1" << zero;
        QTest::addRow("digits then letters") << "10.0.0.1x" << zero;
        QTest::addRow("sign alone") << "10.-.0.1" << zero;
        QTest::addRow("blank inside") << "10. 0.0.1" << zero;
        QTest::addRow("hexadecimal") << "0x7f.0.0.1" << zero;
        QTest::addRow("just beyond 32 bits") << "2147483648.0.0.1" << zero;
        QTest::addRow("far beyond 32 bits") << "99999999999999999999999.0.0.1" << zero;
        QTest::addRow("non-ASCII digits") << QStringLiteral("\u0661.0.0.1") << zero;
    }

    void parsesDottedAddress()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(BytesInMemory(ParseDottedAddress(text)), bytes);
    }

    void statusText_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");

        QTest::addRow("success") << 0 << "0   [ ip success ]";
        QTest::addRow("ping timeout") << 2000 << "2000   [ ping timeout ]";
        QTest::addRow("last of the range") << 11023 << "11023   [ ip addr added ]";
        QTest::addRow("gap after 11023") << 11030 << "11030   [ unknown  msg returned ]";
        QTest::addRow("just below the range") << 11000 << "11000   [ unknown  msg returned ]";
        QTest::addRow("most negative")
            << std::numeric_limits<int>::min() << "-2147483648   [ unknown  msg returned ]";
    }

    void statusText()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(EchoStatusText(status), text);
    }

    void pingAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<uint>("waitMs");
        QTest::addColumn<uint>("status");
        QTest::addColumn<uint>("roundTripMs");

        QTest::addRow("answered") << "127.0.0.1" << 1500 << true << 1500u << 0u << 3u;
        QTest::addRow("failure leaves no round trip")
            << "127.0.0.3" << 1000 << true << 1000u << 11003u << 0u;
        // On Linux 0.0.0.0 reaches the local host and would always answer.
        QTest::addRow("unparsable") << "not an address" << 1000 << false << 0u << 11018u << 0u;
        QTest::addRow("all zeros") << "0.0.0.0" << 1000 << false << 0u << 11018u << 0u;
        QTest::addRow("wraps to zero") << "256.0.-256.512" << 1000 << false << 0u << 11018u << 0u;
        // Below one, the wait must not turn into an unsigned wait of weeks.
        QTest::addRow("zero time-out") << "127.0.0.1" << 0 << true << 1u << 0u << 3u;
        QTest::addRow("most negative time-out")
            << "127.0.0.1" << std::numeric_limits<int>::min() << true << 1u << 0u << 3u;
    }

    void pingAddress()
    {
        QFETCH(QString, address);
        QFETCH(int, timeoutMs);
        QFETCH(bool, sent);
        QFETCH(uint, waitMs);
        QFETCH(uint, status);
        QFETCH(uint, roundTripMs);

        ScriptedEcho echo;
        echo.script(QStringLiteral("127.0.0.1"), kEchoSuccess, 3);
        echo.script(QStringLiteral("127.0.0.3"), 11003, 7);
        EchoReply reply{};
        reply.RoundTripTime = 99;
        PingAddress(echo, address, reply, timeoutMs);
        QCOMPARE(echo.requests.size(), sent ? 1 : 0);
        if (sent) {
            QCOMPARE(echo.requests[0].destination, ParseDottedAddress(address));
            QCOMPARE(echo.requests[0].timeoutMs, waitMs);
        }
        QCOMPARE(reply.Status, status);
        QCOMPARE(reply.RoundTripTime, roundTripMs);
    }
};

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_module1.moc"
