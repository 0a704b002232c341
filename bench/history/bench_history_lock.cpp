// Another program holds the history's write lock (as `sqlite3 history.sqlite "begin
// exclusive;" ".shell sleep 15" "commit;"` does) while the watch records 15 one-second
// cycles, then lets go. Reports:
//  - the longest time recording one cycle took while the lock was held (target: the
//    store delays no cycle by more than 50 ms);
//  - the time the next cycle took to write the 15 that waited;
//  - the time a stop takes with the lock still held (target: well within the second a
//    stop signal may take).
// Usage: bench_history_lock

#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "PrintingLog.h"
#include "SqlStatements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

CycleReport Answered()
{
    CycleReport report;
    report.primary = {.address = QStringLiteral("127.0.0.1"), .roundTripMs = 12};
    report.answered = true;
    return report;
}

double Ms(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.sqlite"));
    FakeClock clock;
    PrintingLog log;
    FakeMessageBoxes boxes;
    HistoryStore store(path, clock, log, boxes);
    HistoryRecorder recorder(store, clock);
    recorder.watchStarted();
    recorder.cycleDone(Answered());

    SqliteConnection other(path, SqliteConnection::Access::ReadWrite);
    other.open();
    RunOnce(other.database(), QStringLiteral("BEGIN EXCLUSIVE"));
    double longestMs = 0;
    for (int cycle = 0; cycle < 15; ++cycle) {
        clock.advanceMs(1000);
        QElapsedTimer timer;
        timer.start();
        recorder.cycleDone(Answered());
        longestMs = std::max(longestMs, Ms(timer));
    }
    std::printf("recording a cycle while another program holds the lock: longest %.2f ms,"
                " %lld records waiting (target: < 50 ms)\n",
                longestMs, static_cast<long long>(store.waiting()));
    RunOnce(other.database(), QStringLiteral("COMMIT"));

    clock.advanceMs(1000);
    QElapsedTimer timer;
    timer.start();
    recorder.cycleDone(Answered());
    std::printf("the first cycle after the lock goes: %.2f ms, %lld records waiting\n", Ms(timer),
                static_cast<long long>(store.waiting()));

    RunOnce(other.database(), QStringLiteral("BEGIN EXCLUSIVE"));
    clock.advanceMs(1000);
    recorder.cycleDone(Answered());
    timer.restart();
    recorder.watchStopped();
    std::printf("a stop with the lock still held: %.1f ms (target: well under 1,000 ms)\n",
                Ms(timer));
    RunOnce(other.database(), QStringLiteral("COMMIT"));
    return 0;
}
