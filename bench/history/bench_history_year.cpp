// corvane --history over a store of a year: one-second cycles and 200,000 outages, as
// the store keeps them after a year of retention (per-cycle rows for the last 35
// days, hourly summaries before). Builds the store in SQL, then runs the real program
// as a child for the text report over the year, its CSV and its JSON, and prints each
// one's time and peak resident memory (target for text and CSV: under 3 s and under
// 60 MB each).
// Usage: bench_history_year [data folder for Corvane/history.sqlite, default a temporary one]

#include "HistoryRetention.h"
#include "HistorySchema.h"
#include "SqlStatements.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr qint64 kYearSeconds = 365LL * 24 * 3600;
constexpr qint64 kOutages = 200000;
// An outage starts every 157 s and lasts 10 to 60 s: 200,000 of them fill 363 days.
constexpr qint64 kOutageEverySeconds = 157;

// The failing seconds as SQL over t, the second counted from the year's start.
const QString kFailing =
    QStringLiteral("(t % 157 < 10 + (t / 157 * 37) % 51 AND t / 157 < %1)").arg(kOutages);

void Build(const QString &path, qint64 startMs, qint64 endMs)
{
    SqliteConnection connection(path, SqliteConnection::Access::ReadWrite);
    connection.open();
    const QSqlDatabase database = connection.database();
    PrepareSchema(database);
    SqlTransaction transaction(database);
    RunOnce(database,
            QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                " INSERT INTO outages(started, ended, failing_cycles, fail_commands, console)"
                " SELECT ? + i * %2 * 1000, ? + (i * %2 + 10 + i * 37 % 51) * 1000,"
                " 10 + i * 37 % 51, 1, x'0d0a53797374656d2072657374617274696e672e2e2e0d0a3e'"
                " FROM n")
                .arg(kOutages - 1)
                .arg(kOutageEverySeconds),
            {startMs, startMs});
    RunOnce(database, QStringLiteral("INSERT INTO events(at, kind, command)"
                                     " SELECT started + 5000, 'fail', '^m' FROM outages"));
    // Every hour that has ended is summed up; its failures are the seconds of the
    // outages within it (none lasts an hour).
    RunOnce(database,
            QStringLiteral(
                "WITH RECURSIVE h(hour) AS (SELECT ? UNION ALL SELECT hour + 3600000 FROM h"
                " WHERE hour + 7200000 <= ?),"
                " f(hour, failures) AS (SELECT hour, (SELECT coalesce(sum(min(ended, hour +"
                " 3600000) - max(started, hour)), 0) / 1000 FROM outages WHERE started >= hour"
                " - 3600000 AND started < hour + 3600000 AND ended > hour) FROM h)"
                " INSERT INTO hours SELECT hour, 3600, failures, 3600 - failures, 4, 16, 29,"
                " failures, 0, NULL, NULL, NULL FROM f"),
            {startMs, endMs});
    const qint64 firstCycle = (endMs - startMs - kCycleRetentionMs) / 1000;
    RunOnce(database,
            QStringLiteral("WITH RECURSIVE c(t) AS (SELECT ? UNION ALL SELECT t + 1 FROM c"
                           " WHERE t + 1 < ?)"
                           " INSERT INTO cycles(at, primary_status, primary_rtt, secondary_status,"
                           " secondary_rtt, fail_count, by_user)"
                           " SELECT ? + t * 1000, iif(%1, 11010, 0), iif(%1, NULL, 4 + t * 7919 %"
                           " 26), iif(%1, 11010, NULL), NULL, iif(%1, t % 157 + 1, 0), 0 FROM c")
                .arg(kFailing),
            {firstCycle, (endMs - startMs) / 1000, startMs});
    transaction.commit();
}

struct ChildRun
{
    int status = -1;
    double seconds = 0;
    // Apart from the wall-clock time, which a busy machine stretches.
    double processorSeconds = 0;
    double peakMegabytes = 0;
    qint64 outputBytes = 0;
};

// The program as a child of its own, its output to a file, measured by wait4().
ChildRun RunReport(const QStringList &arguments, const QString &outputPath)
{
    QList<QByteArray> bytes{QByteArrayLiteral(CORVANE_BINARY)};
    for (const QString &argument : arguments)
        bytes << argument.toLocal8Bit();
    QList<char *> argv;
    for (QByteArray &argument : bytes)
        argv << argument.data();
    argv << nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray output = QFile::encodeName(outputPath);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ChildRun run;
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    if (posix_spawn(&child, argv.first(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        run.seconds = double(timer.nsecsElapsed()) / 1e9;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakMegabytes = double(usage.ru_maxrss) / 1024.0;
        const auto seconds = [](const timeval &time) {
            return double(time.tv_sec) + double(time.tv_usec) / 1e6;
        };
        run.processorSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.outputBytes = QFileInfo(outputPath).size();
    return run;
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
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));

    // The year ends at the hour before now, so that the program's own report, which
    // reads the real clock, finds all of it.
    const qint64 endMs = HourStart(QDateTime::currentMSecsSinceEpoch());
    const qint64 startMs = endMs - kYearSeconds * 1000;
    QElapsedTimer timer;
    timer.start();
    Build(path, startMs, endMs);
    {
        SqliteConnection connection(path, SqliteConnection::Access::ReadWrite);
        connection.open();
        RunOnce(connection.database(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("build: a year, %lld outages, %.1f days of per-cycle rows, in %.1f s;"
                " %.1f MB on disk\n",
                kOutages, double(kCycleRetentionMs) / double(kDayMs), timer.elapsed() / 1000.0,
                double(QFileInfo(path).size()) / 1e6);

    qputenv("XDG_DATA_HOME", QFile::encodeName(dataFolder));
    const QString output = temporary.filePath(QStringLiteral("report.out"));
    const QStringList year{QStringLiteral("--history"), QStringLiteral("--since"),
                           QStringLiteral("1y")};
    for (const auto &[name, extra, bar] :
         {std::tuple{"text", QString(), true}, std::tuple{"--csv", QStringLiteral("--csv"), true},
          std::tuple{"--json", QStringLiteral("--json"), false}}) {
        QStringList arguments = year;
        if (!extra.isEmpty())
            arguments << extra;
        const ChildRun run = RunReport(arguments, output);
        std::printf("corvane --history --since 1y, %s: exit %d, %.2f s (%.2f s of processor),"
                    " peak %.1f MB, %.1f MB printed%s\n",
                    name, run.status, run.seconds, run.processorSeconds, run.peakMegabytes,
                    double(run.outputBytes) / 1e6,
                    bar ? " (target under 3 s and under 60 MB)" : "");
    }
    return 0;
}
