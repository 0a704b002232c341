#include "EchoProbe.h"
#include "ProbeTarget.h"
#include "ScriptedEcho.h"

#include <QTest>

#include <net/if.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

namespace {

QByteArray BytesInMemory(quint32 address)
{
    QByteArray bytes(sizeof address, '\0');
    std::memcpy(bytes.data(), &address, sizeof address);
    return bytes.toHex();
}

// The target as one comparable text: its kind, then the address or the name.
QString Described(const ProbeTarget &target)
{
    switch (target.kind) {
    case ProbeTarget::Kind::Invalid:
        return QStringLiteral("invalid");
    case ProbeTarget::Kind::Address:
        return QStringLiteral("address ") + target.address.toString();
    case ProbeTarget::Kind::HostName:
        return QStringLiteral("name ") + QString::fromLatin1(target.hostName);
    }
    return {};
}

// Answers a lookup only after a real pause, as a resolver does.
class SlowResolver final : public EchoFacility
{
public:
    EchoResult echo(const IpAddress &, const QByteArray &, quint32 timeoutMs) override
    {
        echoTimeoutMs = timeoutMs;
        return {kEchoSuccess, 1};
    }
    NameLookup lookUp(const QByteArray &, quint32) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(kLookupMs));
        return {NameLookup::Outcome::Found, IpAddress::v4(ParseDottedAddress("127.0.0.1"))};
    }

    static constexpr int kLookupMs = 60;
    quint32 echoTimeoutMs = 0;
};

} // namespace

Q_DECLARE_METATYPE(EchoHindrance)

class TestEchoProbe : public QObject
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

    void parsesProbeTarget_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");

        const QString invalid = QStringLiteral("invalid");
        QTest::addRow("dotted") << " 192.0.2.1 "
                                << "address 192.0.2.1";
        QTest::addRow("IPv6 loopback") << "::1"
                                       << "address ::1";
        QTest::addRow("loopback zone by name") << "fe80::1%lo"
                                               << "address fe80::1%lo";
        QTest::addRow("loopback zone by index")
            << QStringLiteral("fe80::1%%1").arg(::if_nametoindex("lo")) << "address fe80::1%lo";
        // Like 0.0.0.0, "::" reaches the local host and would always answer.
        QTest::addRow("IPv6 unspecified") << "::" << invalid;
        QTest::addRow("link-local without zone") << "fe80::1" << invalid;
        QTest::addRow("zone of no interface") << "fe80::1%no-such-if0" << invalid;
        QTest::addRow("IPv4-mapped") << "::ffff:127.0.0.1"
                                     << "address 127.0.0.1";
        QTest::addRow("IPv4-mapped unspecified") << "::ffff:0.0.0.0" << invalid;

        QTest::addRow("host name") << "gateway.example.net"
                                   << "name gateway.example.net";
        QTest::addRow("single label") << "router"
                                      << "name router";
        QTest::addRow("internationalised")
            << QStringLiteral("b\u00fccher.example") << "name xn--bcher-kva.example";
        QTest::addRow("empty") << "" << invalid;
        QTest::addRow("blank inside") << "my router" << invalid;
        QTest::addRow("empty label") << "router..example" << invalid;
        QTest::addRow("label of 63") << QString(63, u'a') + ".example"
                                     << "name " + QString(63, u'a') + ".example";
        const QString longest = (QString(63, u'a') + u'.').repeated(3) + QString(61, u'a');
        QTest::addRow("name of 253") << longest << "name " + longest;
        QTest::addRow("name of 253 and the final dot")
            << longest + u'.' << "name " + longest + u'.';
        QTest::addRow("label of 64") << QString(64, u'a') + ".example" << invalid;
        QTest::addRow("name of 254")
            << (QString(63, u'a') + u'.').repeated(3) + QString(62, u'a') << invalid;
        // A mistyped address must not become a lookup that the C library answers
        // with some other host.
        QTest::addRow("part beyond a byte") << "10.0.0.256" << invalid;
        QTest::addRow("two parts") << "127.1" << invalid;
        QTest::addRow("hexadecimal number") << "0x7f000001" << invalid;
        QTest::addRow("hexadecimal last part") << "127.0.0.0x1" << invalid;
        QTest::addRow("negative last part") << "127.0.0.-1" << invalid;
        QTest::addRow("negative part") << "10.0.0.-5" << invalid;
        QTest::addRow("hyphen inside a label") << "gw-1.example"
                                               << "name gw-1.example";
        QTest::addRow("label begins with a hyphen") << "-router" << invalid;
        QTest::addRow("label ends with a hyphen") << "gw-.example.net" << invalid;
        QTest::addRow("label ends with an underscore") << "gw_.example" << invalid;
    }

    void parsesProbeTarget()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        QCOMPARE(Described(ParseProbeTarget(text)), target);
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
            QCOMPARE(echo.requests[0].destination, IpAddress::v4(ParseDottedAddress(address)));
            QCOMPARE(echo.requests[0].timeoutMs, waitMs);
        }
        QCOMPARE(reply.Status, status);
        QCOMPARE(reply.RoundTripTime, roundTripMs);
    }

    void pingName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("looked");
        QTest::addColumn<QString>("probed");
        QTest::addColumn<uint>("status");
        QTest::addColumn<EchoHindrance>("hindrance");
        const EchoHindrance none = EchoHindrance::None;

        QTest::addRow("name answers") << "up.example" << true << "127.0.0.1" << 0U << none;
        QTest::addRow("IPv6 name answers") << "six.example" << true << "::1" << 0U << none;
        QTest::addRow("name resolves, host silent")
            << "down.example" << true << "192.0.2.7" << 11010U << none;
        QTest::addRow("no such name") << "missing.example" << true << "" << 11018U << none;
        QTest::addRow("resolver silent") << "silent.example" << true << "" << 11010U << none;
        QTest::addRow("resolver unusable") << "broken.example" << true << "" << 11050U << none;
        QTest::addRow("stop during the lookup")
            << "stopped.example" << true << "" << 11050U << EchoHindrance::Stopped;
        QTest::addRow("not a name: no lookup") << "my router" << false << "" << 11018U << none;
        QTest::addRow("negative part: no lookup") << "127.0.0.-1" << false << "" << 11018U << none;
        QTest::addRow("IPv4-mapped: probed over IPv4")
            << "::ffff:127.0.0.1" << false << "" << 0U << none;
        // Literals are probed as they stand, and nothing is said to differ.
        QTest::addRow("IPv6 literal") << "::1" << false << "" << 0U << none;
    }

    void pingName()
    {
        QFETCH(QString, address);
        QFETCH(bool, looked);
        QFETCH(QString, probed);
        QFETCH(uint, status);
        QFETCH(EchoHindrance, hindrance);

        ScriptedEcho echo;
        echo.script(QStringLiteral("127.0.0.1"), kEchoSuccess, 3);
        echo.script(QStringLiteral("::1"), kEchoSuccess, 4);
        echo.scriptName("up.example", QStringLiteral("127.0.0.1"));
        echo.scriptName("six.example", QStringLiteral("::1"));
        echo.scriptName("down.example", QStringLiteral("192.0.2.7"));
        echo.scriptName("silent.example", NameLookup::Outcome::TimedOut);
        echo.scriptName("broken.example", NameLookup::Outcome::Failed);
        echo.scriptName("stopped.example", NameLookup::Outcome::Stopped);
        EchoReply reply{};
        QString resolved;
        QCOMPARE(PingAddress(echo, address, reply, 1500, &resolved), hindrance);
        QCOMPARE(echo.lookups.size(), looked ? 1 : 0);
        if (looked) {
            QCOMPARE(echo.lookups[0].name, address.toLatin1());
            QCOMPARE(echo.lookups[0].timeoutMs, 1500u);
        }
        QCOMPARE(resolved, probed);
        QCOMPARE(reply.Status, status);
        if (!probed.isEmpty())
            QCOMPARE(echo.requests.at(0).destination, ParseProbeTarget(probed).address);
    }

    void lookupTimeComesOffTheEcho()
    {
        // The probe as a whole keeps the field's time-out.
        SlowResolver echo;
        EchoReply reply{};
        PingAddress(echo, QStringLiteral("slow.example"), reply, 1000);
        QCOMPARE(reply.Status, kEchoSuccess);
        QVERIFY2(echo.echoTimeoutMs <= quint32(1000 - SlowResolver::kLookupMs),
                 qPrintable(QString::number(echo.echoTimeoutMs)));

        // A lookup that used it all leaves no echo, however it ended.
        PingAddress(echo, QStringLiteral("slow.example"), reply, SlowResolver::kLookupMs);
        QCOMPARE(reply.Status, kEchoTimedOut);
    }
};

QTEST_GUILESS_MAIN(TestEchoProbe)
#include "tst_echo_probe.moc"
