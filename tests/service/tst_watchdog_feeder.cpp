#include "Pause.h"
#include "ShortWaits.h"
#include "StopLatch.h"
#include "WatchdogFeeder.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// The pings a feeder's thread sends, with when they went.
class PingRecord
{
public:
    StateSender sender()
    {
        return [this](const QByteArray &state) {
            const std::lock_guard lock(m_mutex);
            if (state == "WATCHDOG=1")
                m_times.push_back(SteadyClock::now());
        };
    }
    std::vector<SteadyClock::time_point> times() const
    {
        const std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<SteadyClock::time_point> m_times;
};

enum class WaitKind
{
    Echo,   // an echo's or a name look-up's wait, in short waits on a deadline
    Paced,  // the pause after each byte of a command
    Silent, // a wait that does not watch the latch, as a stuck system call
};

// Holds the calling thread for the time given, as the watch's thread is held during a
// long cycle or send.
void HoldTheWatch(WaitKind kind, const StopLatch &latch, SteadyClock::duration time)
{
    const SteadyClock::time_point end = SteadyClock::now() + time;
    if (kind == WaitKind::Silent) {
        std::this_thread::sleep_until(end);
        return;
    }
    int ends[2];
    QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
    ThreadPause pause(&latch);
    while (SteadyClock::now() < end) {
        if (kind == WaitKind::Paced) {
            QVERIFY(pause.pauseMs(20));
            continue;
        }
        // A reply that never comes: every short wait runs out.
        short events = 0;
        const SteadyClock::time_point deadline = SteadyClock::now() + 300ms;
        while (WaitOnce(ends[0], deadline, &latch, events) == ShortWait::Quiet) {
        }
    }
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace

class TestWatchdogFeeder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The progress as each look finds it, and the pings they send in all.
    void pingsOnlyWhenTheWatchMoved_data()
    {
        QTest::addColumn<QList<int>>("progressAtLooks");
        QTest::addColumn<int>("pings");
        QTest::addRow("still from the start") << QList<int>{0, 0, 0} << 0;
        QTest::addRow("moves between every look") << QList<int>{1, 2, 3} << 3;
        QTest::addRow("many wakes between two looks") << QList<int>{50, 100, 150} << 3;
        QTest::addRow("stalls after moving") << QList<int>{1, 2, 2, 2, 2} << 2;
        QTest::addRow("moves again after a stall") << QList<int>{1, 1, 1, 7} << 2;
    }
    void pingsOnlyWhenTheWatchMoved()
    {
        QFETCH(QList<int>, progressAtLooks);
        QFETCH(int, pings);
        std::uint64_t progress = 0;
        QByteArrayList sent;
        WatchdogFeed feed([&progress] { return progress; },
                          [&sent](const QByteArray &state) { sent << state; });
        int pinged = 0;
        for (const int atLook : progressAtLooks) {
            progress = std::uint64_t(atLook);
            pinged += feed.feedIfMoved() ? 1 : 0;
        }
        QCOMPARE(pinged, pings);
        QCOMPARE(sent, QByteArrayList(pings, "WATCHDOG=1"));
    }

    // A cycle that holds the watch's thread for twice the watchdog time, in waits
    // that wake: pinged throughout. Then the watch stalls: no ping beyond the one for
    // what it did before.
    void longCycleKeepsBeingFed_data()
    {
        QTest::addColumn<WaitKind>("kind");
        QTest::addColumn<bool>("fed");
        QTest::addRow("echo waits") << WaitKind::Echo << true;
        QTest::addRow("paced bytes") << WaitKind::Paced << true;
        QTest::addRow("a stuck system call") << WaitKind::Silent << false;
    }
    void longCycleKeepsBeingFed()
    {
        QFETCH(WaitKind, kind);
        QFETCH(bool, fed);
        // A look every 300 ms: a ping delayed past the watchdog time would need the
        // feeder's thread to be held off the processor for most of a second, more
        // than a loaded machine does.
        constexpr auto watchdogTime = 1200ms;
        StopLatch latch;
        PingRecord record;
        WatchdogFeeder feeder(
            watchdogTime, [&latch] { return latch.wakes(); }, record.sender());

        const SteadyClock::time_point start = SteadyClock::now();
        HoldTheWatch(kind, latch, 2 * watchdogTime);
        const SteadyClock::time_point stall = SteadyClock::now();
        std::this_thread::sleep_for(watchdogTime);
        feeder.stop();

        const std::vector<SteadyClock::time_point> pings = record.times();
        const auto afterStall =
            std::count_if(pings.begin(), pings.end(), [stall](auto time) { return time > stall; });
        QVERIFY2(afterStall <= 1, qPrintable(QString::number(afterStall)));
        if (!fed) {
            QCOMPARE(pings.size(), std::size_t(0));
            return;
        }
        SteadyClock::time_point previous = start;
        for (const SteadyClock::time_point ping : pings) {
            if (ping > stall)
                break;
            QVERIFY2(
                ping - previous < watchdogTime,
                qPrintable(QStringLiteral("%1 ms without a ping").arg((ping - previous) / 1ms)));
            previous = ping;
        }
        QVERIFY(stall - previous < watchdogTime);
    }

    void lookInterval_data()
    {
        QTest::addColumn<std::chrono::microseconds>("watchdogTime");
        QTest::addColumn<std::chrono::microseconds>("interval");
        using std::chrono::microseconds;
        const microseconds hour = std::chrono::hours(1);
        QTest::addRow("largest") << microseconds::max() << hour;
        QTest::addRow("2^62") << microseconds(std::int64_t{1} << 62) << hour;
        QTest::addRow("above the cap") << 4 * hour + 4us << hour;
        QTest::addRow("at the cap") << 4 * hour << hour;
        QTest::addRow("below the cap") << 4 * hour - 4us << hour - 1us;
        QTest::addRow("a minute") << microseconds(1min) << microseconds(15s);
        QTest::addRow("at the floor") << microseconds(4ms) << microseconds(1ms);
        QTest::addRow("1 us") << 1us << microseconds(1ms);
        QTest::addRow("0") << 0us << microseconds(1ms);
        // An unsigned time past the signed range, read as microseconds.
        QTest::addRow("negative") << microseconds::min() << microseconds(1ms);
    }
    void lookInterval()
    {
        QFETCH(std::chrono::microseconds, watchdogTime);
        QFETCH(std::chrono::microseconds, interval);
        QCOMPARE(WatchdogLookInterval(watchdogTime).count(), interval.count());
    }

    // The feeder looks once a minute here: a stop that waited for the look would take
    // that long, twice the half minute that a stop on a loaded machine stays well
    // within. Moving progress is never pinged after the stop.
    void stopsAtOnce_data()
    {
        QTest::addColumn<bool>("stopFirst");
        QTest::addColumn<std::chrono::microseconds>("watchdogTime");
        QTest::addRow("stop, then destruction") << true << std::chrono::microseconds(4min);
        QTest::addRow("destruction alone") << false << std::chrono::microseconds(4min);
        // A wait whose end overflowed would return at once, again and again: a spinning
        // thread that pings the moving progress.
        QTest::addRow("the largest watchdog time") << true << std::chrono::microseconds::max();
        QTest::addRow("2^62 us") << true << std::chrono::microseconds(std::int64_t{1} << 62);
    }
    void stopsAtOnce()
    {
        QFETCH(bool, stopFirst);
        QFETCH(std::chrono::microseconds, watchdogTime);
        std::atomic<std::uint64_t> progress = 0;
        PingRecord record;
        QElapsedTimer elapsed;
        elapsed.start();
        {
            WatchdogFeeder feeder(
                watchdogTime, [&progress] { return progress.load(); }, record.sender());
            progress = 5;
            // Time for a spinning thread to look.
            std::this_thread::sleep_for(50ms);
            if (stopFirst)
                feeder.stop();
        }
        QVERIFY(elapsed.elapsed() < 30'000);
        QCOMPARE(record.times().size(), std::size_t(0));
    }
};

QTEST_APPLESS_MAIN(TestWatchdogFeeder)
#include "tst_watchdog_feeder.moc"
