#include "Icmp6Packet.h"

#include <QTest>

#include <cerrno>
#include <optional>

namespace {

constexpr quint16 kIdentifier = 0x1234;
constexpr quint16 kSequence = 0x0042;
constexpr int kNotOurs = -1;

// Addresses of the documentation prefix 2001:db8::/32, ending in last.
IpAddress::V6Bytes Address(quint8 last)
{
    return {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, last};
}

const IpAddress::V6Bytes kDestination = Address(2);
const IpAddress::V6Bytes kOtherHost = Address(9);
const IpAddress::V6Bytes kRouter = Address(5);

Echo6Expectation Expected()
{
    return {kDestination, kIdentifier, kSequence};
}

QByteArray AddressBytes(const IpAddress::V6Bytes &address)
{
    return QByteArray(reinterpret_cast<const char *>(address.data()), qsizetype(address.size()));
}

QByteArray Icmp6(quint8 type, quint8 code, quint16 identifier = kIdentifier,
                 quint16 sequence = kSequence)
{
    QByteArray message = BuildEcho6Request(identifier, sequence, "Echo This");
    message[0] = char(type);
    message[1] = char(code);
    return message;
}

// Our own address, from which our requests leave and to which errors come back.
const IpAddress::V6Bytes kUs = Address(1);

// An IPv6 packet as an error quotes it: the 40-byte header, then the content.
QByteArray Ip6(const IpAddress::V6Bytes &destination, const QByteArray &content,
               quint8 nextHeader = 58, const IpAddress::V6Bytes &source = kUs)
{
    return QByteArray(1, char(0x60)) + QByteArray(3, '\0') +
           QByteArray(1, char(content.size() >> 8)) + QByteArray(1, char(content.size() & 0xFF)) +
           char(nextHeader) + char(64) + AddressBytes(source) + AddressBytes(destination) + content;
}

QByteArray ErrorQuoting(quint8 type, quint8 code, const QByteArray &offending)
{
    return QByteArray(1, char(type)) + char(code) + QByteArray(6, '\0') + offending;
}

QByteArray OurRequest()
{
    return Ip6(kDestination, Icmp6(Icmp6Type::EchoRequest, 0));
}

int AsRow(std::optional<quint32> status)
{
    return status ? int(*status) : kNotOurs;
}

} // namespace

Q_DECLARE_METATYPE(QueuedError)
Q_DECLARE_METATYPE(IpAddress::V6Bytes)

class TestIcmp6Packet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsRequest()
    {
        // The kernel fills in the checksum: it covers a source address only it knows.
        QCOMPARE(BuildEcho6Request(0xABCD, 0x0102, "xy").toHex(),
                 QByteArray("80000000abcd01027879"));
    }

    void errorTable_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("status");
        QTest::addRow("no route") << 1 << 0 << 11002;
        QTest::addRow("administratively prohibited") << 1 << 1 << 11003;
        QTest::addRow("beyond scope of source") << 1 << 2 << 11002;
        QTest::addRow("address unreachable") << 1 << 3 << 11003;
        QTest::addRow("port unreachable") << 1 << 4 << 11005;
        QTest::addRow("failed policy") << 1 << 5 << 11003;
        QTest::addRow("reject route") << 1 << 6 << 11002;
        QTest::addRow("source routing error") << 1 << 7 << 11012;
        QTest::addRow("code yet to come") << 1 << 200 << 11003;
        QTest::addRow("packet too big") << 2 << 0 << 11009;
        QTest::addRow("hop limit exceeded") << 3 << 0 << 11013;
        QTest::addRow("reassembly time exceeded") << 3 << 1 << 11014;
        QTest::addRow("parameter problem") << 4 << 2 << 11015;
        QTest::addRow("echo request is no error") << 128 << 0 << kNotOurs;
        QTest::addRow("neighbour advertisement is no error") << 136 << 0 << kNotOurs;
    }

    void errorTable()
    {
        QFETCH(int, type);
        QFETCH(int, code);
        QFETCH(int, status);
        QCOMPARE(AsRow(StatusForIcmp6Error(quint8(type), quint8(code))), status);
    }

    void decodesMessage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<IpAddress::V6Bytes>("sender");
        QTest::addColumn<int>("status");

        const QByteArray reply = Icmp6(Icmp6Type::EchoReply, 0);
        QTest::addRow("our reply") << reply << kDestination << 0;
        QTest::addRow("reply from another host") << reply << kOtherHost << kNotOurs;
        QTest::addRow("reply with another identifier")
            << Icmp6(Icmp6Type::EchoReply, 0, 0x4321) << kDestination << kNotOurs;
        QTest::addRow("reply to an earlier request")
            << Icmp6(Icmp6Type::EchoReply, 0, kIdentifier, kSequence - 1) << kDestination
            << kNotOurs;
        QTest::addRow("truncated header") << reply.left(7) << kDestination << kNotOurs;
        QTest::addRow("our own request looped back")
            << Icmp6(Icmp6Type::EchoRequest, 0) << kDestination << kNotOurs;

        QTest::addRow("router: address unreachable")
            << ErrorQuoting(1, 3, OurRequest()) << kRouter << 11003;
        QTest::addRow("router: hop limit exceeded")
            << ErrorQuoting(3, 0, OurRequest()) << kRouter << 11013;
        QTest::addRow("error quoting a request to another host")
            << ErrorQuoting(1, 3, Ip6(kOtherHost, Icmp6(Icmp6Type::EchoRequest, 0))) << kRouter
            << kNotOurs;
        QTest::addRow("error quoting another prober's request")
            << ErrorQuoting(1, 3, Ip6(kDestination, Icmp6(Icmp6Type::EchoRequest, 0, 0x9999)))
            << kRouter << kNotOurs;
        // Our requests carry no extension header; a fragment header is someone else's.
        QTest::addRow("error quoting a packet with an extension header")
            << ErrorQuoting(1, 3, Ip6(kDestination, Icmp6(Icmp6Type::EchoRequest, 0), 44))
            << kRouter << kNotOurs;
        QTest::addRow("error cut inside the quoted request")
            << ErrorQuoting(1, 3, OurRequest()).left(8 + 40 + 7) << kRouter << kNotOurs;
        // Our request left from the address the error came to; a quote of one from
        // anywhere else is forged.
        QTest::addRow("error quoting a request from another source")
            << ErrorQuoting(1, 3,
                            Ip6(kDestination, Icmp6(Icmp6Type::EchoRequest, 0), 58, kOtherHost))
            << kRouter << kNotOurs;
    }

    void decodesMessage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(IpAddress::V6Bytes, sender);
        QFETCH(int, status);
        // An exact copy: a read past the end is then caught by the sanitizers.
        const QByteArray exact(bytes.constData(), bytes.size());
        QCOMPARE(AsRow(DecodeIcmp6Message(exact, sender, kUs, Expected())), status);
    }

    // A datagram socket does not say where a message was sent to; its errors come
    // through the error queue, which the kernel fills by our identifier.
    void decodesMessageWithoutItsReceiver()
    {
        const QByteArray error = ErrorQuoting(1, 3, OurRequest());
        QCOMPARE(AsRow(DecodeIcmp6Message(error, kRouter, std::nullopt, Expected())), 11003);
        QCOMPARE(AsRow(DecodeIcmp6Message(error, kRouter, kOtherHost, Expected())), kNotOurs);
    }

    void decodesQueuedError_data()
    {
        QTest::addColumn<QueuedError>("error");
        QTest::addColumn<QByteArray>("quoted");
        QTest::addColumn<IpAddress::V6Bytes>("destination");
        QTest::addColumn<int>("status");

        const QByteArray request = Icmp6(Icmp6Type::EchoRequest, 0);
        const QueuedError prohibited{QueuedErrorOrigin::Icmp, 1, 1, EACCES};
        QTest::addRow("administratively prohibited")
            << prohibited << request << kDestination << 11003;
        QTest::addRow("about another destination")
            << prohibited << request << kOtherHost << kNotOurs;
        QTest::addRow("about another sequence")
            << prohibited << Icmp6(Icmp6Type::EchoRequest, 0, kIdentifier, 7) << kDestination
            << kNotOurs;
        QTest::addRow("quote too short")
            << prohibited << request.left(7) << kDestination << kNotOurs;
        QTest::addRow("local: message too long")
            << QueuedError{QueuedErrorOrigin::Local, 0, 0, EMSGSIZE} << QByteArray()
            << IpAddress::V6Bytes{} << 11009;
        QTest::addRow("unknown origin") << QueuedError{QueuedErrorOrigin::Other, 1, 3, 0} << request
                                        << kDestination << kNotOurs;
    }

    void decodesQueuedError()
    {
        QFETCH(QueuedError, error);
        QFETCH(QByteArray, quoted);
        QFETCH(IpAddress::V6Bytes, destination);
        QFETCH(int, status);
        const QByteArray exact(quoted.constData(), quoted.size());
        QCOMPARE(AsRow(DecodeQueuedIcmp6Error(error, exact, destination, Expected())), status);
    }
};

QTEST_GUILESS_MAIN(TestIcmp6Packet)
#include "tst_icmp6_packet.moc"
