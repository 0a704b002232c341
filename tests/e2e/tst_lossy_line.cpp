// The real program against a line that answers but loses echoes, played by a far
// network in a namespace of the test's own: the loss limit makes it act where a single
// answer would not.
#include "FarNetwork.h"
#include "HeadlessRun.h"
#include "PseudoTerminal.h"

#include <QTest>

#include <csignal>
#include <sched.h>
#include <sys/wait.h>

namespace {

// A child process in a network namespace of its own, with loopback up and the far
// network serving: the primary 192.0.2.7 loses the 4th and 5th of every 5 echoes; the
// secondary 192.0.2.9 never answers. It serves until the test closes the pipe.
class LossyLine
{
public:
    LossyLine()
    {
        int ready[2];
        int done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            ::close(done[1]);
            char made = 0;
            if (::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0) {
                FarNetwork far({{.address = "192.0.2.7", .losses = "...xx"},
                                {.address = "192.0.2.9", .losses = "x"}});
                made = far.failure().empty() ? 1 : 0;
                if (::write(ready[1], &made, 1) == 1 && made) {
                    char end = 0;
                    while (::read(done[0], &end, 1) > 0) {
                    }
                }
            } else {
                (void)::write(ready[1], &made, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        m_done = done[1];
        char made = 0;
        m_serving = m_child > 0 && ::read(ready[0], &made, 1) == 1 && made == 1;
        ::close(ready[0]);
    }
    ~LossyLine()
    {
        if (m_done >= 0)
            ::close(m_done);
        if (m_child > 0)
            ::waitpid(m_child, nullptr, 0);
    }
    LossyLine(const LossyLine &) = delete;
    LossyLine &operator=(const LossyLine &) = delete;

    bool isServing() const { return m_serving; }
    // Starts the program in the line's namespace.
    void start(QProcess &process, const QString &program) const
    {
        process.start(QStringLiteral("nsenter"),
                      {QStringLiteral("--net=/proc/%1/ns/net").arg(m_child), program});
    }

private:
    pid_t m_child = -1;
    int m_done = -1;
    bool m_serving = false;
};

} // namespace

class TestLossyLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Three retries, a cycle a second. Without a limit the line's lost pairs fail two
    // cycles at a time and nothing is sent; at a 40 % limit over 5 cycles, the third
    // cycle in a row at 40 % sends the fail command, after the reason.
    void lossLimitActs_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("sends");
        QTest::addRow("no limit") << "" << false;
        QTest::addRow("loss at the limit") << "FailLossPercent=40\nLossWindowCycles=5" << true;
    }
    void lossLimitActs()
    {
        if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        if (!QFile::exists(QStringLiteral("/dev/net/tun")) ||
            !HasCommand(QStringLiteral("nsenter")))
            QSKIP("needs /dev/net/tun and nsenter for the far network");
        QFETCH(QString, options);
        QFETCH(bool, sends);
        LossyLine line;
        QVERIFY(line.isServing());
        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=192.0.2.7\nAddrSec=192.0.2.9\nPeriod=1\n"
                                                  "TimeoutPri=300\nTimeoutSec=300\nFailTries=3\n"
                                                  "FailCommand=reset^m"),
                                   console.slavePath(),
                                   options + QStringLiteral("\nMetricsFile=") +
                                       home.filePath(QStringLiteral("corvane.prom"))));
        QProcess monitor;
        monitor.setProcessEnvironment(home.environment());
        line.start(monitor, QStringLiteral(CORVANE_BINARY));
        QVERIFY(monitor.waitForStarted());

        // Twelve cycles: two rounds and more of the primary's pattern.
        // Without the limit, two outages (ten cycles and more) come and go; with it, the
        // fail command goes.
        const QString metrics = home.filePath(QStringLiteral("corvane.prom"));
        const auto outages = [&] {
            QFile file(metrics);
            const QRegularExpressionMatch count =
                QRegularExpression(QStringLiteral("\ncorvane_outages_total\\{[^}]*\\} (\\d+)\n"))
                    .match(QString::fromLatin1(file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                              : QByteArray()));
            return count.hasMatch() ? count.captured(1).toInt() : 0;
        };
        QByteArray sent;
        if (sends)
            QTRY_VERIFY_WITH_TIMEOUT((sent += console.receive(0)).contains("reset"), 60000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(outages() >= 2, 60000);
        sent += console.receive(0);
        ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
        QVERIFY(monitor.waitForFinished(10000));
        const QString log = home.log();
        QCOMPARE(sent.contains("reset"), sends);
        const qsizetype reason = log.indexOf(
            QStringLiteral("Loss 40 % over the last 5 cycles of 192.0.2.7 (limit 40 %)."));
        QCOMPARE(reason >= 0, sends);
        if (sends)
            QVERIFY2(reason < log.indexOf(u"No response after 3 ping attempts."), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestLossyLine)
#include "tst_lossy_line.moc"
