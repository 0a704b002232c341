#include "IcmpPacket.h"

#include <QTest>
#include <QtEndian>

#include <cerrno>
#include <optional>

namespace {

constexpr quint16 kIdentifier = 0x1234;
constexpr quint16 kSequence = 0x0042;
constexpr int kNotOurs = -1;

// An address of 127.0.0.0/8 in network byte order.
quint32 Loopback(quint8 last)
{
    return qToBigEndian(quint32(0x7F000000U | last));
}

const quint32 kDestination = Loopback(2);
const quint32 kOtherHost = Loopback(9);
const quint32 kRouter = Loopback(5);
const QByteArray kPayload("Echo This");

EchoExpectation Expected()
{
    return {kDestination, kIdentifier, kSequence};
}

QByteArray BigEndian16(quint16 value)
{
    return QByteArray(1, char(value >> 8)) + QByteArray(1, char(value & 0xFF));
}

QByteArray AddressBytes(quint32 address)
{
    return QByteArray(reinterpret_cast<const char *>(&address), sizeof address);
}

// An ICMP message with a correct checksum: type, code, the 4 bytes after the
// checksum, and the body.
QByteArray Icmp(quint8 type, quint8 code, const QByteArray &restOfHeader, const QByteArray &body)
{
    QByteArray icmp = QByteArray(1, char(type)) + QByteArray(1, char(code)) + QByteArray(2, '\0') +
                      restOfHeader + body;
    qToBigEndian(InternetChecksum(icmp), icmp.data() + 2);
    return icmp;
}

QByteArray Echo(quint8 type, quint16 identifier = kIdentifier, quint16 sequence = kSequence)
{
    return Icmp(type, 0, BigEndian16(identifier) + BigEndian16(sequence), kPayload);
}

struct IpFields
{
    quint8 protocol = 1;
    quint16 flagsAndOffset = 0;
    int optionWords = 0;
};

QByteArray Ip(quint32 source, quint32 destination, const QByteArray &content, IpFields fields = {})
{
    const int headerLength = 20 + 4 * fields.optionWords;
    const QByteArray header = QByteArray(1, char(0x40 | (headerLength / 4))) + '\0' +
                              BigEndian16(quint16(headerLength + content.size())) +
                              BigEndian16(0x1111) + BigEndian16(fields.flagsAndOffset) + char(64) +
                              char(fields.protocol) + BigEndian16(0) + AddressBytes(source) +
                              AddressBytes(destination) +
                              QByteArray(qsizetype(fields.optionWords) * 4, char(1));
    return header + content;
}

// An ICMP error as a router sends it: the offending packet's header and the first
// 8 bytes of its content.
QByteArray ErrorQuoting(quint8 type, quint8 code, const QByteArray &offending)
{
    const int quotedHeader = (quint8(offending[0]) & 0x0F) * 4;
    return Icmp(type, code, QByteArray(4, '\0'), offending.left(quotedHeader + 8));
}

QByteArray OurRequest()
{
    return Ip(Loopback(1), kDestination, Echo(IcmpType::EchoRequest));
}

QByteArray WithByte(QByteArray bytes, qsizetype offset, quint8 value)
{
    bytes[offset] = char(value);
    return bytes;
}

int AsRow(std::optional<quint32> status)
{
    return status ? int(*status) : kNotOurs;
}

} // namespace

Q_DECLARE_METATYPE(QueuedError)

class TestIcmpPacket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksum_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("checksum");
        QTest::addRow("empty") << QByteArray() << 0xFFFFU;
        QTest::addRow("even length") << QByteArray::fromHex("0001f203f4f5f6f7") << 0x220DU;
        QTest::addRow("odd byte is the high half") << QByteArray::fromHex("0001f2") << 0x0DFEU;
        QTest::addRow("carry folds back") << QByteArray::fromHex("ffffffffffff01") << 0xFEFFU;
        QTest::addRow("carry folds twice") << QByteArray::fromHex("ffffffff0001") << 0xFFFEU;
    }

    void checksum()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, checksum);
        QCOMPARE(uint(InternetChecksum(bytes)), checksum);
    }

    void buildsEchoRequest()
    {
        const QByteArray request = BuildEchoRequest(0xABCD, 0x0102, kPayload);
        QCOMPARE(request.size(), 17); // odd: the checksum's trailing byte matters
        QCOMPARE(request.left(2).toHex(), QByteArray("0800"));
        QCOMPARE(request.mid(4, 4).toHex(), QByteArray("abcd0102"));
        QCOMPARE(request.mid(8), kPayload);
        QVERIFY(ChecksumIsValid(request));
        QVERIFY(!ChecksumIsValid(WithByte(request, 16, 'S')));
    }

    void decodesRawPacket_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<int>("status");

        const QByteArray echoReply = Echo(IcmpType::EchoReply);
        const QByteArray echoRequest = Echo(IcmpType::EchoRequest);
        const auto toUs = [](quint32 source, const QByteArray &icmp, IpFields fields = {}) {
            return Ip(source, Loopback(1), icmp, fields);
        };
        const auto fromUs = [](quint32 destination, const QByteArray &icmp, IpFields fields = {}) {
            return Ip(Loopback(1), destination, icmp, fields);
        };
        const auto error = [&](quint8 type, quint8 code, const QByteArray &offending) {
            return toUs(kRouter, ErrorQuoting(type, code, offending));
        };
        const QByteArray reply = toUs(kDestination, echoReply);
        const QByteArray request = OurRequest();

        QTest::addRow("reply from the destination") << reply << 0;
        QTest::addRow("reply behind IP options") << toUs(kDestination, echoReply, {1, 0, 2}) << 0;
        QTest::addRow("link padding after the packet") << reply + QByteArray(6, '\0') << 0;
        QTest::addRow("reply from another host") << toUs(kOtherHost, echoReply) << kNotOurs;
        QTest::addRow("wrong identifier")
            << toUs(kDestination, Echo(IcmpType::EchoReply, 0x4321)) << kNotOurs;
        QTest::addRow("wrong sequence")
            << toUs(kDestination, Echo(IcmpType::EchoReply, kIdentifier, 0x41)) << kNotOurs;
        QTest::addRow("bad checksum in the odd byte")
            << WithByte(reply, reply.size() - 1, 'X') << kNotOurs;
        QTest::addRow("our own request looped back") << request << kNotOurs;
        QTest::addRow("empty") << QByteArray() << kNotOurs;
        QTest::addRow("IP header cut short") << reply.left(19) << kNotOurs;
        QTest::addRow("ICMP header cut short") << toUs(kDestination, echoReply.left(7)) << kNotOurs;
        QTest::addRow("packet cut short") << reply.left(reply.size() - 1) << kNotOurs;
        QTest::addRow("total length beyond the bytes") << WithByte(reply, 3, 200) << kNotOurs;
        QTest::addRow("total length below the header") << WithByte(reply, 3, 12) << kNotOurs;
        QTest::addRow("header length below 20") << WithByte(reply, 0, 0x44) << kNotOurs;
        QTest::addRow("header length beyond the bytes") << WithByte(reply, 0, 0x4F) << kNotOurs;
        QTest::addRow("not IPv4") << WithByte(reply, 0, 0x65) << kNotOurs;
        QTest::addRow("not ICMP") << toUs(kDestination, echoReply, {17, 0, 0}) << kNotOurs;
        QTest::addRow("fragment") << toUs(kDestination, echoReply, {1, 0x2000, 0}) << kNotOurs;

        QTest::addRow("net unreachable") << error(3, 0, request) << 11002;
        QTest::addRow("host unreachable") << error(3, 1, request) << 11003;
        QTest::addRow("port unreachable") << error(3, 3, request) << 11005;
        QTest::addRow("fragmentation needed") << error(3, 4, request) << 11009;
        QTest::addRow("host prohibited") << error(3, 10, request) << 11003;
        QTest::addRow("time exceeded in transit") << error(11, 0, request) << 11013;
        QTest::addRow("time exceeded in reassembly") << error(11, 1, request) << 11014;
        QTest::addRow("parameter problem") << error(12, 0, request) << 11015;
        QTest::addRow("source quench") << error(4, 0, request) << 11016;
        QTest::addRow("error quoting options")
            << error(3, 1, fromUs(kDestination, echoRequest, {1, 0, 3})) << 11003;
        QTest::addRow("redirect") << error(5, 1, request) << kNotOurs;
        QTest::addRow("error quoting another destination")
            << error(3, 1, fromUs(kOtherHost, echoRequest)) << kNotOurs;
        QTest::addRow("error quoting another identifier")
            << error(3, 1, fromUs(kDestination, Echo(IcmpType::EchoRequest, 0x4321))) << kNotOurs;
        QTest::addRow("error quoting another sequence")
            << error(3, 1, fromUs(kDestination, Echo(IcmpType::EchoRequest, kIdentifier, 7)))
            << kNotOurs;
        QTest::addRow("error quoting a reply")
            << error(3, 1, fromUs(kDestination, echoReply)) << kNotOurs;
        QTest::addRow("error quoting UDP")
            << error(3, 3, fromUs(kDestination, echoRequest, {17, 0, 0})) << kNotOurs;
        QTest::addRow("quote without the echo header")
            << toUs(kRouter, Icmp(3, 1, QByteArray(4, '\0'), request.left(24))) << kNotOurs;
        QTest::addRow("quoted header length beyond the quote")
            << error(3, 1, WithByte(request, 0, 0x4F)) << kNotOurs;
        QTest::addRow("error with bad checksum")
            << WithByte(error(3, 1, request), 22, 0xEE) << kNotOurs;
        // Our request left from the address the error came to; a quote of one from
        // anywhere else is forged.
        QTest::addRow("error quoting a request from another source")
            << error(3, 1, Ip(kOtherHost, kDestination, echoRequest)) << kNotOurs;
        QTest::addRow("error sent elsewhere than the quoted source")
            << Ip(kRouter, kOtherHost, ErrorQuoting(3, 1, request)) << kNotOurs;
    }

    void decodesRawPacket()
    {
        QFETCH(QByteArray, packet);
        QFETCH(int, status);
        QCOMPARE(AsRow(DecodeRawPacket(packet, Expected())), status);
    }

    void decodesDatagram_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<quint32>("sender");
        QTest::addColumn<int>("status");

        QTest::addRow("reply from the destination")
            << Echo(IcmpType::EchoReply) << kDestination << 0;
        QTest::addRow("reply from another host")
            << Echo(IcmpType::EchoReply) << kOtherHost << kNotOurs;
        QTest::addRow("wrong sequence")
            << Echo(IcmpType::EchoReply, kIdentifier, 1) << kDestination << kNotOurs;
        QTest::addRow("cut short") << Echo(IcmpType::EchoReply).left(7) << kDestination << kNotOurs;
        QTest::addRow("payload cut off")
            << Echo(IcmpType::EchoReply).left(12) << kDestination << kNotOurs;
        QTest::addRow("with an IP header in front")
            << Ip(kDestination, Loopback(1), Echo(IcmpType::EchoReply)) << kDestination << kNotOurs;
        QTest::addRow("error quoting our request")
            << ErrorQuoting(11, 0, OurRequest()) << kRouter << 11013;
    }

    void decodesDatagram()
    {
        QFETCH(QByteArray, message);
        QFETCH(quint32, sender);
        QFETCH(int, status);
        QCOMPARE(AsRow(DecodeDatagram(message, sender, Expected())), status);
    }

    void decodesQueuedError_data()
    {
        QTest::addColumn<QueuedError>("error");
        QTest::addColumn<QByteArray>("quoted");
        QTest::addColumn<quint32>("quotedDestination");
        QTest::addColumn<int>("status");

        const auto icmp = [](quint8 type, quint8 code) {
            return QueuedError{QueuedErrorOrigin::Icmp, type, code, EHOSTUNREACH};
        };
        const auto local = [](int errorNumber) {
            return QueuedError{QueuedErrorOrigin::Local, 0, 0, errorNumber};
        };
        const QByteArray request = Echo(IcmpType::EchoRequest);
        QTest::addRow("host unreachable") << icmp(3, 1) << request << kDestination << 11003;
        QTest::addRow("time exceeded") << icmp(11, 0) << request << kDestination << 11013;
        QTest::addRow("another destination") << icmp(3, 1) << request << kOtherHost << kNotOurs;
        QTest::addRow("another sequence")
            << icmp(3, 1) << Echo(IcmpType::EchoRequest, kIdentifier, 9) << kDestination
            << kNotOurs;
        QTest::addRow("quote cut short")
            << icmp(3, 1) << request.left(6) << kDestination << kNotOurs;
        QTest::addRow("redirect") << icmp(5, 0) << request << kDestination << kNotOurs;
        QTest::addRow("local packet too big") << local(EMSGSIZE) << QByteArray() << 0U << 11009;
        QTest::addRow("local no buffers") << local(ENOBUFS) << QByteArray() << 0U << 11006;
        QTest::addRow("local failure of another kind")
            << local(EPERM) << QByteArray() << 0U << 11050;
        QTest::addRow("other origin") << QueuedError{QueuedErrorOrigin::Other, 0, 0, EIO} << request
                                      << kDestination << kNotOurs;
    }

    void decodesQueuedError()
    {
        QFETCH(QueuedError, error);
        QFETCH(QByteArray, quoted);
        QFETCH(quint32, quotedDestination);
        QFETCH(int, status);
        QCOMPARE(AsRow(DecodeQueuedError(error, quoted, quotedDestination, Expected())), status);
    }
};

QTEST_GUILESS_MAIN(TestIcmpPacket)
#include "tst_icmp_packet.moc"
