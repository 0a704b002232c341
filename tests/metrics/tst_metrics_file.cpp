#include "ExpositionParser.h"
#include "FakeClock.h"
#include "FakeWindowFields.h"
#include "MetricsFile.h"
#include "RecordingLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

Q_DECLARE_METATYPE(CycleReport)

namespace {

const QStringList kFamilies = {
    QStringLiteral("corvane_up"),
    QStringLiteral("corvane_rtt_seconds"),
    QStringLiteral("corvane_failing_cycles"),
    QStringLiteral("corvane_retries"),
    QStringLiteral("corvane_outages_total"),
    QStringLiteral("corvane_fail_commands_total"),
    QStringLiteral("corvane_scheduled_commands_total"),
    QStringLiteral("corvane_last_cycle_timestamp_seconds"),
};
const QString kPrimaryRoundTrip =
    QStringLiteral(R"(corvane_rtt_seconds{watch="corvane",address="primary"})");
const QString kSecondaryRoundTrip =
    QStringLiteral(R"(corvane_rtt_seconds{watch="corvane",address="secondary"})");

QString Series(const char *name)
{
    return QLatin1String(name) + QStringLiteral(R"({watch="corvane"})");
}

CycleReport Cycle(std::optional<qint32> primaryMs, std::optional<qint32> secondaryMs,
                  qint16 failCount)
{
    CycleReport report;
    report.primary = {.address = QStringLiteral("127.0.0.1"),
                      .status = primaryMs ? 0 : 11010,
                      .roundTripMs = primaryMs.value_or(0)};
    if (!primaryMs)
        report.secondary = {.address = QStringLiteral("127.0.0.2"),
                            .status = secondaryMs ? 0 : 11010,
                            .roundTripMs = secondaryMs.value_or(0)};
    report.answered = primaryMs || secondaryMs;
    report.failCount = failCount;
    return report;
}

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of one folder as node_exporter's textfile collector serves them: each
// family once, with the samples of every file that has it.
QByteArray AsOneCollector(const QList<QByteArray> &files)
{
    QStringList order;
    QHash<QString, QByteArray> comments;
    QHash<QString, QByteArray> samples;
    for (const QByteArray &file : files) {
        QString family;
        for (const QByteArray &line : file.split('\n')) {
            if (line.startsWith("# HELP ") || line.startsWith("# TYPE ")) {
                family = QString::fromUtf8(line.split(' ').value(2));
                if (!order.contains(family))
                    order << family;
                if (!comments[family].contains(line.left(7)))
                    comments[family] += line + '\n';
            } else if (!line.isEmpty()) {
                samples[family] += line + '\n';
            }
        }
    }
    QByteArray served;
    for (const QString &family : order)
        served += comments[family] + samples[family];
    return served;
}

// What Prometheus's own checker says of an exposition: empty when it finds nothing.
std::optional<QByteArray> PromtoolSays(const QByteArray &exposition)
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        return std::nullopt;
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    check.write(exposition);
    check.closeWriteChannel();
    if (!check.waitForFinished(30000))
        return QByteArray("promtool did not finish");
    const QByteArray said = check.readAll();
    if (check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0)
        return said.isEmpty() ? QByteArray("promtool failed") : said;
    return said;
}

} // namespace

// The metrics file as node_exporter's textfile collector reads it.
class TestMetricsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_folder.emplace().isValid());
        m_fields = FakeWindowFields();
        m_fields.setText(Field::FailTries, QStringLiteral("3"));
        m_log = RecordingLog();
        m_metrics.emplace(m_fields, m_clock, m_log);
        m_metrics->setPath(path());
    }

    void cycleIsWrittenInTheExpositionFormat_data()
    {
        QTest::addColumn<CycleReport>("cycle");
        QTest::addColumn<double>("up");
        QTest::addColumn<double>("primarySeconds");
        QTest::addColumn<double>("secondarySeconds");

        const double none = qQNaN();
        QTest::addRow("primary answers") << Cycle(12, {}, 0) << 1.0 << 0.012 << none;
        QTest::addRow("secondary answers") << Cycle({}, 1250, 0) << 1.0 << none << 1.25;
        QTest::addRow("neither answers") << Cycle({}, {}, 2) << 0.0 << none << none;
    }

    void cycleIsWrittenInTheExpositionFormat()
    {
        QFETCH(CycleReport, cycle);
        QFETCH(double, up);
        QFETCH(double, primarySeconds);
        QFETCH(double, secondarySeconds);

        m_metrics->cycleDone(cycle);
        const Exposition exposition = ParseExposition(Contents(path()));
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        for (const QString &family : kFamilies) {
            QVERIFY2(exposition.families.contains(family), qPrintable(family));
            QVERIFY(!exposition.families[family].help.isEmpty());
        }
        QCOMPARE(exposition.families.size(), kFamilies.size());
        QCOMPARE(exposition.value(Series("corvane_up")), up);
        // An address that did not answer has no round-trip sample rather than a
        // made-up one.
        QCOMPARE(qIsNaN(exposition.value(kPrimaryRoundTrip)), qIsNaN(primarySeconds));
        if (!qIsNaN(primarySeconds))
            QCOMPARE(exposition.value(kPrimaryRoundTrip), primarySeconds);
        QCOMPARE(qIsNaN(exposition.value(kSecondaryRoundTrip)), qIsNaN(secondarySeconds));
        if (!qIsNaN(secondarySeconds))
            QCOMPARE(exposition.value(kSecondaryRoundTrip), secondarySeconds);
        QCOMPARE(exposition.value(Series("corvane_failing_cycles")), double(cycle.failCount));
        QCOMPARE(exposition.value(Series("corvane_retries")), 3.0);
        QCOMPARE(exposition.value(Series("corvane_last_cycle_timestamp_seconds")),
                 double(m_clock.now().toMSecsSinceEpoch()) / 1000);
    }

    // Counters count this run's events; a send rewrites the file at once, but only
    // once a cycle has told the state of the line.
    void countersFollowTheWatch()
    {
        m_metrics->commandSent(CommandKind::Scheduled, QStringLiteral("reload"));
        QVERIFY(!QFile::exists(path()));

        m_metrics->outageStarted();
        m_metrics->cycleDone(Cycle({}, {}, 1));
        m_metrics->commandSent(CommandKind::Fail, QStringLiteral("^M"));
        m_metrics->commandSent(CommandKind::FailTest, QStringLiteral("^M"));
        m_metrics->commandSent(CommandKind::Fail, QStringLiteral("^M"));
        m_metrics->commandSent(CommandKind::Scheduled, QStringLiteral("reload"));

        const Exposition exposition = ParseExposition(Contents(path()));
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        QCOMPARE(exposition.value(Series("corvane_outages_total")), 1.0);
        QCOMPARE(exposition.value(Series("corvane_fail_commands_total")), 2.0);
        QCOMPARE(exposition.value(Series("corvane_scheduled_commands_total")), 2.0);
    }

    // A scrape during a write reads the whole old file or the whole new one: the
    // new file takes the old one's name, the old one is never rewritten in place,
    // and no temporary file is left beside it.
    void fileIsReplacedWhole()
    {
        m_metrics->cycleDone(Cycle(12, {}, 0));
        const QByteArray first = Contents(path());
        QFile reader(path());
        QVERIFY(reader.open(QIODevice::ReadOnly));

        m_clock.advanceMs(60'000);
        m_metrics->cycleDone(Cycle({}, {}, 1));
        QCOMPARE(reader.readAll(), first);
        QVERIFY(Contents(path()) != first);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("corvane.prom")});
    }

    // A write cut short, as on a full disk, leaves the old file whole rather than
    // putting the part written in its place.
    void shortWriteKeepsTheOldFile()
    {
        m_metrics->cycleDone(Cycle(12, {}, 0));
        const QByteArray first = Contents(path());
        QVERIFY(first.size() > qsizetype(kShortLimit));

        // A file-size limit binds root too, and cuts the write off after its first bytes.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{kShortLimit, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        m_clock.advanceMs(60'000);
        m_metrics->cycleDone(Cycle({}, {}, 1));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);

        QCOMPARE(Contents(path()), first);
        QCOMPARE(m_log.entries.size(), 1);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("corvane.prom")});
    }

    // A file that cannot be written is logged once for each run of failures; the
    // watch's events go on being taken.
    void failedWritesAreLoggedOncePerRun()
    {
        // A folder that is a file cannot be written into, even by root.
        QFile blocker(m_folder->filePath(QStringLiteral("metrics")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString blocked = m_folder->filePath(QStringLiteral("metrics/corvane.prom"));
        m_metrics->setPath(blocked);

        const auto cycles = [this](int count) {
            for (int cycle = 0; cycle < count; ++cycle)
                m_metrics->cycleDone(Cycle(12, {}, 0));
        };
        cycles(3);
        QCOMPARE(m_log.entries.size(), 1);
        QVERIFY2(m_log.entries[0].message.startsWith(QStringLiteral("The metrics file ") + blocked +
                                                     QStringLiteral(" could not be written: ")),
                 qPrintable(m_log.entries[0].message));
        QCOMPARE(m_log.entries[0].category, kSystemMessage);

        QVERIFY(blocker.remove());
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("metrics")));
        cycles(1);
        QVERIFY(QFile::exists(blocked));
        QVERIFY(QDir(m_folder->filePath(QStringLiteral("metrics"))).removeRecursively());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        cycles(2);
        QCOMPARE(m_log.entries.size(), 2);
    }

    // A link is kept and the regular file it names replaced; a device it names (one of
    // the test's own, so that a fault replaces no system file) is not ours, and stays.
    void onlyRegularFilesAreReplaced_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addRow("link to a regular file") << false;
        QTest::addRow("link to a device") << true;
    }
    void onlyRegularFilesAreReplaced()
    {
        QFETCH(bool, device);
        const QString target = m_folder->filePath(QStringLiteral("target"));
        const QByteArray native = QFile::encodeName(target);
        if (!device)
            QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        else if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root");
        QVERIFY(QFile::link(target, path()));

        m_metrics->cycleDone(Cycle(12, {}, 0));

        struct stat status = {};
        QCOMPARE(::stat(native.constData(), &status), 0);
        QCOMPARE(S_ISCHR(status.st_mode), device);
        QVERIFY(QFileInfo(path()).isSymLink());
        QCOMPARE(Contents(path()).contains("\ncorvane_up{watch=\"corvane\"} 1\n"), !device);
        QCOMPARE(m_log.entries.size(), device ? 1 : 0);
    }

    // What Prometheus's own checker says of the file, with a sample of each kind in it.
    void promtoolFindsNoFault()
    {
        m_metrics->cycleDone(Cycle({}, 1250, 0));
        const std::optional<QByteArray> said = PromtoolSays(Contents(path()));
        if (!said)
            QSKIP("promtool is not installed (Debian package prometheus)");
        QVERIFY2(said->isEmpty(), said->constData());
    }

    // The file's name, less ".prom", names the watch; the label's value is quoted as
    // the format asks, whatever the name holds.
    void watchIsNamedByTheFile_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("series");

        QTest::addRow("router") << "router1.prom" << QByteArray(R"(corvane_up{watch="router1"})");
        QTest::addRow("only the last extension")
            << "lab.v2.prom" << QByteArray(R"(corvane_up{watch="lab.v2"})");
        QTest::addRow("no extension") << "router1" << QByteArray(R"(corvane_up{watch="router1"})");
        QTest::addRow("another extension")
            << "router1.txt" << QByteArray(R"(corvane_up{watch="router1.txt"})");
        QTest::addRow("nothing but the extension")
            << ".prom" << QByteArray(R"(corvane_up{watch=".prom"})");
        QTest::addRow("quote") << "a\"b.prom" << QByteArray("corvane_up{watch=\"a\\\"b\"}");
        QTest::addRow("backslash") << "a\\b.prom" << QByteArray("corvane_up{watch=\"a\\\\b\"}");
        QTest::addRow("line feed") << "a\nb.prom" << QByteArray("corvane_up{watch=\"a\\nb\"}");
        QTest::addRow("not ASCII")
            << "Küche.prom" << QString(R"(corvane_up{watch="Küche"})").toUtf8();
    }
    void watchIsNamedByTheFile()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, series);
        const QString named = m_folder->filePath(fileName);
        m_metrics->setPath(named);
        m_metrics->cycleDone(Cycle(12, {}, 0));

        const QByteArray written = Contents(named);
        QVERIFY2(written.contains('\n' + series + " 1\n"), written.constData());
        const Exposition exposition = ParseExposition(written);
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        if (const std::optional<QByteArray> said = PromtoolSays(written))
            QVERIFY2(said->isEmpty(), said->constData());
    }

    // A link is read by the collector under its own name, so that name is the watch's.
    void linkNamesTheWatch()
    {
        QVERIFY(
            QFile(m_folder->filePath(QStringLiteral("target.prom"))).open(QIODevice::WriteOnly));
        const QString link = m_folder->filePath(QStringLiteral("router2.prom"));
        QVERIFY(QFile::link(m_folder->filePath(QStringLiteral("target.prom")), link));
        m_metrics->setPath(link);
        m_metrics->cycleDone(Cycle(12, {}, 0));
        QVERIFY(Contents(link).contains("\ncorvane_up{watch=\"router2\"} 1\n"));
    }

    // Two watches writing into one collector's folder: served together, their samples
    // make distinct series, and Prometheus's checker takes the whole.
    void twoWatchesShareTheCollectorsFolder_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addRow("two routers") << "router1.prom"
                                     << "router2.prom";
        QTest::addRow("names apart only by an escaped character") << "a\"b.prom"
                                                                  << "a\\\"b.prom";
    }
    void twoWatchesShareTheCollectorsFolder()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        MetricsFile other(m_fields, m_clock, m_log);
        m_metrics->setPath(m_folder->filePath(first));
        other.setPath(m_folder->filePath(second));
        // The same address answers for both, so that only the watch tells their
        // round trips apart.
        m_metrics->cycleDone(Cycle(12, {}, 0));
        other.cycleDone(Cycle(30, {}, 0));

        const QByteArray served = AsOneCollector(
            {Contents(m_folder->filePath(first)), Contents(m_folder->filePath(second))});
        const Exposition exposition = ParseExposition(served);
        QVERIFY2(exposition.fault.isEmpty(), qPrintable(exposition.fault));
        QCOMPARE(exposition.families.size(), kFamilies.size());
        QCOMPARE(exposition.families[QStringLiteral("corvane_up")].samples.size(), 2);
        QCOMPARE(exposition.families[QStringLiteral("corvane_rtt_seconds")].samples.size(), 2);
        if (const std::optional<QByteArray> said = PromtoolSays(served))
            QVERIFY2(said->isEmpty(), said->constData());
    }

private:
    static constexpr rlim_t kShortLimit = 64;

    QString path() const { return m_folder->filePath(QStringLiteral("corvane.prom")); }

    std::optional<QTemporaryDir> m_folder;
    FakeWindowFields m_fields;
    FakeClock m_clock;
    RecordingLog m_log;
    std::optional<MetricsFile> m_metrics;
};

QTEST_GUILESS_MAIN(TestMetricsFile)
#include "tst_metrics_file.moc"
