#include "EchoFacility.h"
#include "Module1.h"

#include <QList>
#include <QTest>

#include <cstring>

namespace {

// Records every echo asked of it and answers with a fixed result.
class RecordingEchoFacility final : public EchoFacility
{
public:
    struct Call
    {
        quint32 destination;
        QByteArray payload;
        quint32 timeoutMs;
    };

    EchoResult echo(quint32 destination, const QByteArray &payload, quint32 timeoutMs) override
    {
        calls.append({destination, payload, timeoutMs});
        return answer;
    }

    EchoResult answer;
    QList<Call> calls;
};

QByteArray BytesInMemory(quint32 address)
{
    QByteArray bytes(sizeof address, '\0');
    std::memcpy(bytes.data(), &address, sizeof address);
    return bytes;
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

        const QByteArray zero = QByteArray::fromHex("00000000");
        QTest::addRow("loopback") << "127.0.0.1" << QByteArray::fromHex("7f000001");
        QTest::addRow("bytes in text order") << "192.168.0.1" << QByteArray::fromHex("c0a80001");
        QTest::addRow("256 wraps to 0") << "10.0.0.256" << QByteArray::fromHex("0a000000");
        QTest::addRow("300 wraps to 44") << "10.0.0.300" << QByteArray::fromHex("0a00002c");
        QTest::addRow("-1 gives 255") << "-1.0.0.1" << QByteArray::fromHex("ff000001");
        QTest::addRow("plus sign") << "+10.0.0.1" << QByteArray::fromHex("0a000001");
        QTest::addRow("leading zeros are decimal")
            << "010.0.0.011" << QByteArray::fromHex("0a00000b");
        QTest::addRow("largest 32-bit part")
            << "2147483647.0.0.1" << QByteArray::fromHex("ff000001");
        QTest::addRow("smallest 32-bit part")
            << "-2147483648.0.0.1" << QByteArray::fromHex("00000001");
        QTest::addRow("blanks around the text") << " 127.0.0.1 " << QByteArray::fromHex("7f000001");
        QTest::addRow("three parts") << "192.168.1" << zero;
        QTest::addRow("five parts") << "1.2.3.4.5" << zero;
        QTest::addRow("trailing dot") << "1.2.3.4." << zero;
        QTest::addRow("leading dot") << ".1.2.3" << zero;
        QTest::addRow("empty") << "" << zero;
        QTest::addRow("empty part") << "1..2.3" << zero;
        QTest::addRow("letters") << "a.b.c.d" << zero;
        QTest::addRow("host name") << "localhost" << zero;
        QTest::addRow("one letter part") << "10.0.x.1" << zero;
        QTest::addRow("digits then letters") << "10.0.0.1x" << zero;
        QTest::addRow("sign alone") << "10.-.0.1" << zero;
        QTest::addRow("blank inside") << "10. 0.0.1" << zero;
        QTest::addRow("hexadecimal") << "0x7f.0.0.1" << zero;
        QTest::addRow("beyond 32 bits") << "4294967296.0.0.1" << zero;
        QTest::addRow("just beyond 32 bits") << "2147483648.0.0.1" << zero;
        QTest::addRow("far beyond 32 bits") << "99999999999999999999999.0.0.1" << zero;
        QTest::addRow("comma") << "1,5.0.0.1" << zero;
        QTest::addRow("non-ASCII digits") << QStringLiteral("\u0661.0.0.1") << zero;
    }

    void parsesDottedAddress()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(BytesInMemory(ParseDottedAddress(text)).toHex(), bytes.toHex());
    }

    void statusText_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");

        QTest::addRow("success") << 0 << "0   [ ip success ]";
        QTest::addRow("timed out") << 11010 << "11010   [ ip req timed out ]";
        QTest::addRow("ping timeout") << 2000 << "2000   [ ping timeout ]";
        QTest::addRow("first of the range") << 11001 << "11001   [ ip buf too_small ]";
        QTest::addRow("host unreachable") << 11003 << "11003   [ ip dest host unreachable ]";
        QTest::addRow("bad destination") << 11018 << "11018   [ ip bad destination ]";
        QTest::addRow("last of the range") << 11023 << "11023   [ ip addr added ]";
        QTest::addRow("general failure") << 11050 << "11050   [ ip general failure ]";
        QTest::addRow("pending") << 11255 << "11255   [ ip pending ]";
        QTest::addRow("gap after 11023") << 11030 << "11030   [ unknown  msg returned ]";
        QTest::addRow("gap after 11050") << 11100 << "11100   [ unknown  msg returned ]";
        QTest::addRow("just below the range") << 11000 << "11000   [ unknown  msg returned ]";
        QTest::addRow("one") << 1 << "1   [ unknown  msg returned ]";
        QTest::addRow("negative") << -5 << "-5   [ unknown  msg returned ]";
        QTest::addRow("most negative")
            << int(0x80000000U) << "-2147483648   [ unknown  msg returned ]";
    }

    void statusText()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(EchoStatusText(status), text);
    }

    void sendsPayloadToParsedAddress()
    {
        RecordingEchoFacility facility;
        facility.answer = {0, 3};
        EchoReply reply{};
        PingAddress(facility, QStringLiteral("127.0.0.1"), reply, 1500);
        QCOMPARE(facility.calls.size(), 1);
        QCOMPARE(BytesInMemory(facility.calls[0].destination).toHex(), QByteArray("7f000001"));
        QCOMPARE(facility.calls[0].payload, QByteArray("Echo This"));
        QCOMPARE(facility.calls[0].timeoutMs, 1500U);
        QCOMPARE(reply.Status, 0U);
        QCOMPARE(reply.RoundTripTime, 3U);
    }

    void failureLeavesNoRoundTrip()
    {
        RecordingEchoFacility facility;
        facility.answer = {11003, 7};
        EchoReply reply{};
        PingAddress(facility, QStringLiteral("127.0.0.3"), reply, 1000);
        QCOMPARE(reply.Status, 11003U);
        QCOMPARE(reply.RoundTripTime, 0U);
    }

    void addressZeroIsNotSent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addRow("unparsable") << "not an address";
        QTest::addRow("three parts") << "192.168.1";
        QTest::addRow("all zeros") << "0.0.0.0";
        QTest::addRow("wraps to zero") << "256.0.-256.512";
    }

    void addressZeroIsNotSent()
    {
        QFETCH(QString, text);
        RecordingEchoFacility facility;
        EchoReply reply{};
        reply.RoundTripTime = 99;
        PingAddress(facility, text, reply, 1000);
        QVERIFY(facility.calls.isEmpty());
        QCOMPARE(reply.Status, 11018U);
        QCOMPARE(reply.RoundTripTime, 0U);
    }

    void timeoutBelowOneWaitsOneMillisecond_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<uint>("sentMs");
        QTest::addRow("zero") << 0 << 1U;
        QTest::addRow("negative") << -2000 << 1U;
        QTest::addRow("most negative") << int(0x80000000U) << 1U;
        QTest::addRow("one stays") << 1 << 1U;
    }

    void timeoutBelowOneWaitsOneMillisecond()
    {
        QFETCH(int, timeoutMs);
        QFETCH(uint, sentMs);
        RecordingEchoFacility facility;
        EchoReply reply{};
        PingAddress(facility, QStringLiteral("127.0.0.1"), reply, timeoutMs);
        QCOMPARE(facility.calls.size(), 1);
        QCOMPARE(facility.calls[0].timeoutMs, sentMs);
    }
};

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_module1.moc"
