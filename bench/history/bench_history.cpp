// Fills a history store with 30 days of one-second cycles (2.6 million, with an outage
// every six hours), then reports:
//  - the time a full retention pass takes, and its longest batch (a cycle waits for
//    one batch at most);
//  - the store's size on disk after it (target: at most 60 MB);
//  - the processor time of recording one cycle through the recorder (target: median
//    under 50 µs);
//  - the time of the --history report over 30 days, in-process and as a whole
//    `corvane --history --since 30d` process (target: under 200 ms), and of the History
//    window's ranges of 2,000 points.
// The month ends a few hours before now, so that the program's own report, which
// reads the real clock, finds it.
// Usage: bench_history [data folder for Corvane/history.sqlite, default a temporary one]

#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "HistoryRecorder.h"
#include "HistoryReport.h"
#include "HistorySchema.h"
#include "HistoryStore.h"
#include "PrintingLog.h"
#include "SqlStatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr qint64 kSecondMs = 1000;
constexpr qint64 kCycles = 30LL * 24 * 3600;
constexpr qint64 kOutageEveryCycles = 6LL * 3600;
constexpr qint32 kTimedOut = 11010;

double ThreadCpuUs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The rows the recorder would have written, in transactions of 100,000 cycles.
void Fill(const QString &path, qint64 startMs)
{
    SqliteConnection connection(path, SqliteConnection::Access::ReadWrite);
    connection.open();
    const QSqlDatabase database = connection.database();
    PrepareSchema(database);
    QSqlQuery cycle =
        Prepare(database, QStringLiteral("INSERT INTO cycles(at, primary_status, primary_rtt,"
                                         " secondary_status, secondary_rtt, fail_count, by_user)"
                                         " VALUES(?,?,?,?,?,?,0)"));
    QSqlQuery outage =
        Prepare(database, QStringLiteral("INSERT INTO outages(started, ended, failing_cycles,"
                                         " fail_commands, console) VALUES(?,?,?,1,?)"));
    QSqlQuery event = Prepare(
        database, QStringLiteral("INSERT INTO events(at, kind, command) VALUES(?, 'fail', '^m')"));
    QRandomGenerator random(12345);
    qint64 failCount = 0;
    for (qint64 first = 0; first < kCycles; first += 100000) {
        SqlTransaction transaction(database);
        for (qint64 index = first; index < qMin(first + 100000, kCycles); ++index) {
            const qint64 atMs = startMs + index * kSecondMs;
            // Outages of 2 to 10 minutes.
            const qint64 outageLength = 120 + (index / kOutageEveryCycles) % 5 * 120;
            const qint64 intoOutage = index % kOutageEveryCycles - kOutageEveryCycles / 2;
            if (intoOutage >= 0 && intoOutage < outageLength) {
                ++failCount;
                Run(cycle, {atMs, kTimedOut, QVariant(), kTimedOut, QVariant(), failCount});
                if (intoOutage == 0)
                    Run(outage, {atMs, atMs + outageLength * kSecondMs, outageLength,
                                 QByteArray("\r\nSystem restarting...\r\n>")});
                if (intoOutage == 5)
                    Run(event, {atMs});
                continue;
            }
            failCount = 0;
            const qint32 trip =
                random.bounded(100) == 0 ? random.bounded(100, 900) : random.bounded(4, 30);
            Run(cycle, {atMs, 0, trip, QVariant(), QVariant(), 0});
        }
        transaction.commit();
    }
}

qint64 SizeOnDisk(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir temporary;
    const QString dataFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString folder = dataFolder + QStringLiteral("/Corvane");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/history.sqlite");
    QFile::remove(path);

    QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-kCycles - 12LL * 3600);
    start.setTime(QTime(start.time().hour(), 0));
    FakeClock clock(start);
    const qint64 startMs = clock.now().toMSecsSinceEpoch();
    QElapsedTimer timer;
    timer.start();
    Fill(path, startMs);
    std::printf("fill: %lld cycles in %.1f s\n", kCycles, timer.elapsed() / 1000.0);

    clock.advanceMs(kCycles * kSecondMs);
    PrintingLog log;
    FakeMessageBoxes boxes;
    HistoryStore store(path, clock, log, boxes);
    QList<double> batches;
    timer.restart();
    for (bool more = true; more;) {
        QElapsedTimer batch;
        batch.start();
        more = store.foldBatch(clock.now().toMSecsSinceEpoch());
        batches.append(static_cast<double>(batch.nsecsElapsed()) / 1e6);
    }
    std::printf("retention pass: %lld batches in %.1f s, longest batch %.1f ms, median %.2f ms\n",
                static_cast<long long>(batches.size()), timer.elapsed() / 1000.0,
                *std::max_element(batches.cbegin(), batches.cend()), Median(batches));
    {
        SqliteConnection connection(path, SqliteConnection::Access::ReadWrite);
        connection.open();
        RunOnce(connection.database(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("size on disk after folding: %.1f MB (target <= 60 MB)\n",
                static_cast<double>(SizeOnDisk(path)) / 1e6);

    // The recorder as the watch drives it, a cycle a second, outages included.
    HistoryRecorder recorder(store, clock);
    recorder.watchStarted();
    QList<double> cycleCpuUs;
    for (int index = 0; index < 20000; ++index) {
        CycleReport report;
        report.primary = {.address = QStringLiteral("127.0.0.1"), .roundTripMs = 10 + index % 17};
        report.answered = index % 1000 >= 20;
        if (!report.answered) {
            report.primary.status = kTimedOut;
            report.secondary =
                ProbeReport{.address = QStringLiteral("127.0.0.2"), .status = kTimedOut};
        }
        const double before = ThreadCpuUs();
        if (index % 1000 == 20)
            recorder.outageEnded();
        if (index % 1000 == 0)
            recorder.outageStarted();
        recorder.cycleDone(report);
        cycleCpuUs.append(ThreadCpuUs() - before);
        clock.advanceMs(kSecondMs);
    }
    std::printf(
        "recording a cycle: median %.1f us, 99th percentile %.1f us, largest %.1f us of"
        " processor time (target: median < 50 us)\n",
        Median(cycleCpuUs),
        [&] {
            QList<double> sorted = cycleCpuUs;
            std::sort(sorted.begin(), sorted.end());
            return sorted[sorted.size() * 99 / 100];
        }(),
        *std::max_element(cycleCpuUs.cbegin(), cycleCpuUs.cend()));

    QList<double> reportMs;
    for (int run = 0; run < 5; ++run) {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        timer.restart();
        PrintHistoryReport(path, QStringLiteral("30d"), ReportFormat::Text, outStream, errStream,
                           clock);
        reportMs.append(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("report --since 30d in-process: median %.1f ms over 5 runs (target < 200 ms)\n",
                Median(reportMs));

    QList<double> processMs;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataFolder);
    for (int run = 0; run < 5; ++run) {
        QProcess program;
        program.setProcessEnvironment(environment);
        timer.restart();
        program.start(
            QStringLiteral(CORVANE_BINARY),
            {QStringLiteral("--history"), QStringLiteral("--since"), QStringLiteral("30d")});
        program.waitForFinished();
        processMs.append(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (run == 0)
            std::printf("corvane --history --since 30d (exit %d), last line: %s\n",
                        program.exitCode(),
                        program.readAllStandardOutput().trimmed().split('\n').last().constData());
    }
    std::printf("corvane --history --since 30d as a process: median %.1f ms over 5 runs"
                " (target < 200 ms)\n",
                Median(processMs));

    // What the History window asks for, at its ranges.
    const qint64 nowMs = clock.now().toMSecsSinceEpoch();
    for (const auto &[name, hours] :
         {std::pair{"1 hour", 1}, std::pair{"24 hours", 24}, std::pair{"7 days", 7 * 24},
          std::pair{"30 days", 30 * 24}, std::pair{"1 year", 365 * 24}}) {
        QList<double> rangeMs;
        qsizetype points = 0;
        for (int run = 0; run < 5; ++run) {
            timer.restart();
            points =
                store.range(nowMs - qint64(hours) * 3600 * kSecondMs, nowMs, 2000).primary.size();
            rangeMs.append(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("range of %s at 2,000 points for the History window: median %.1f ms,"
                    " %lld primary points\n",
                    name, Median(rangeMs), static_cast<long long>(points));
    }
    return 0;
}
