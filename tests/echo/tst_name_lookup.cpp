// Host names probed through the real resolver, inside a sandbox where it can reach
// only the test's hosts file and the test's DNS responder on 127.0.0.1. Each row runs
// this program again under `unshare -m -n` with --inside-sandbox, which lays the
// sandbox out, probes one name and prints what came of it.
#include "EchoProbe.h"
#include "IcmpEchoFacility.h"
#include "ResolverSandbox.h"
#include "StopLatch.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr const char *kInsideSandbox = "--inside-sandbox";
constexpr int kSandboxFailed = 3;
// The resolver's own time-out in the sandbox: waiting that long means the probe
// did not give up.
constexpr qint64 kResolverTimeoutMs = 30000;
// What a wait may take past the moment it should end, on the most loaded machine.
constexpr qint64 kSlackMs = 10'000;

// The sandboxed half: argv holds the name, the time-out and when to raise the stop.
int ProbeInsideSandbox(char *argv[])
{
    const std::string failure = ResolverSandbox::Enter();
    if (!failure.empty()) {
        std::printf("%s\n", failure.c_str());
        return kSandboxFailed;
    }
    ResolverSandbox::DnsResponder responder;
    if (!responder.isBound()) {
        std::printf("cannot bind the DNS responder to 127.0.0.1:53\n");
        return kSandboxFailed;
    }
    responder.answer("answers.corvane.test", "127.0.0.1");
    responder.answer("dual.corvane.test", "::1");
    responder.answer("dual.corvane.test", "127.0.0.1");
    responder.answer("six.corvane.test", "::1");
    responder.stayQuiet("silent.corvane.test");
    responder.start();

    const QString name = QString::fromLocal8Bit(argv[0]);
    const int timeoutMs = QByteArray(argv[1]).toInt();
    const int stopAfterMs = QByteArray(argv[2]).toInt();
    StopLatch stop;
    IcmpEchoFacility facility(IcmpEchoFacility::SocketChoice::DatagramFirst, &stop);
    std::thread stopper;
    std::chrono::steady_clock::time_point raised;
    if (stopAfterMs > 0)
        stopper = std::thread([&stop, stopAfterMs, &raised] {
            std::this_thread::sleep_for(std::chrono::milliseconds(stopAfterMs));
            raised = std::chrono::steady_clock::now();
            stop.raise();
        });
    EchoReply reply{};
    QString resolved;
    const auto start = std::chrono::steady_clock::now();
    const EchoHindrance hindrance = PingAddress(facility, name, reply, timeoutMs, &resolved);
    const auto end = std::chrono::steady_clock::now();
    if (stopper.joinable())
        stopper.join();
    using std::chrono::duration_cast;
    // The last field: from the raising of the stop latch to the end, negative when the
    // probe ended first.
    std::printf(
        "%u %d %s %lld %lld\n", reply.Status, int(hindrance),
        resolved.isEmpty() ? "-" : qPrintable(resolved),
        static_cast<long long>(duration_cast<std::chrono::milliseconds>(end - start).count()),
        static_cast<long long>(
            stopAfterMs > 0 ? duration_cast<std::chrono::microseconds>(end - raised).count() : 0));
    return 0;
}

QString SandboxUnavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to make mount and network namespaces");
    for (const QString &tool : {QStringLiteral("unshare"), QStringLiteral("ip")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty() &&
            QStandardPaths::findExecutable(tool, {QStringLiteral("/usr/sbin")}).isEmpty())
            return tool + QStringLiteral(" is not installed");
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(EchoHindrance)

class TestNameLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void probesName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("stopAfterMs");
        QTest::addColumn<uint>("status");
        QTest::addColumn<EchoHindrance>("hindrance");
        QTest::addColumn<QString>("probed");
        const EchoHindrance none = EchoHindrance::None;

        QTest::addRow("hosts file")
            << "four.hosts.corvane.test" << 2000 << 0 << 0U << none << "127.0.0.1";
        QTest::addRow("hosts file: IPv4 before IPv6")
            << "both.hosts.corvane.test" << 2000 << 0 << 0U << none << "127.0.0.1";
        QTest::addRow("hosts file: IPv6 only")
            << "six.hosts.corvane.test" << 2000 << 0 << 0U << none << "::1";
        QTest::addRow("DNS answers")
            << "answers.corvane.test" << 2000 << 0 << 0U << none << "127.0.0.1";
        QTest::addRow("DNS: IPv4 before IPv6")
            << "dual.corvane.test" << 2000 << 0 << 0U << none << "127.0.0.1";
        QTest::addRow("DNS: IPv6 only") << "six.corvane.test" << 2000 << 0 << 0U << none << "::1";
        QTest::addRow("DNS: short name through the search list")
            << "answers" << 2000 << 0 << 0U << none << "127.0.0.1";
        QTest::addRow("DNS: no such name")
            << "missing.corvane.test" << 2000 << 0 << 11018U << none << "-";
        QTest::addRow("DNS: silent server")
            << "silent.corvane.test" << 800 << 0 << 11010U << none << "-";
        QTest::addRow("DNS: a stop ends a silent lookup")
            << "silent.corvane.test" << 60000 << 200 << 11050U << EchoHindrance::Stopped << "-";
    }

    void probesName()
    {
        QFETCH(QString, name);
        QFETCH(int, timeoutMs);
        QFETCH(int, stopAfterMs);
        QFETCH(uint, status);
        QFETCH(EchoHindrance, hindrance);
        QFETCH(QString, probed);

        if (const QString reason = SandboxUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        QProcess child;
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("-n"),
                     QCoreApplication::applicationFilePath(), QString::fromLatin1(kInsideSandbox),
                     name, QString::number(timeoutMs), QString::number(stopAfterMs)});
        QVERIFY(child.waitForFinished(int(kResolverTimeoutMs) * 3));
        const QString output = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
        if (child.exitCode() == kSandboxFailed)
            QSKIP(qPrintable(QStringLiteral("no sandbox: ") + output));
        QCOMPARE(child.exitCode(), 0);

        const QStringList fields = output.split(u' ');
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0].toUInt(), status);
        QCOMPARE(EchoHindrance(fields[1].toInt()), hindrance);
        QCOMPARE(fields[2], probed);
        const qint64 elapsedMs = fields[3].toLongLong();
        const qint64 afterStopUs = fields[4].toLongLong();
        // Bounds on the wall clock that no load can break. A lower bound holds because
        // the lookup's deadline is taken after this clock started and the kernel never
        // ends a wait early. An upper bound is thousands of times what a wait takes past
        // its cause, a few milliseconds.
        if (hindrance == EchoHindrance::Stopped)
            // The raised latch ended the wait, not its deadline a minute away.
            QVERIFY2(afterStopUs >= 0 && afterStopUs < kSlackMs * 1000, qPrintable(output));
        if (status == kEchoTimedOut)
            // The wait ran to the deadline it was handed, which is the time-out.
            QVERIFY2(elapsedMs >= timeoutMs && elapsedMs < timeoutMs + kSlackMs,
                     qPrintable(output));
        // The probe gives up long before the resolver would.
        QVERIFY2(elapsedMs < kResolverTimeoutMs, qPrintable(output));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 5 && std::strcmp(argv[1], kInsideSandbox) == 0)
        return ProbeInsideSandbox(argv + 2);
    QCoreApplication application(argc, argv);
    TestNameLookup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_name_lookup.moc"
