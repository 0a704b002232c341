#include "FakeClock.h"
#include "ServiceNotifier.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QByteArray kFirstStatus = "STATUS=no cycle yet; 0 failing cycles; no fail command yet";

ProbeReport Probe(qint32 status, qint32 roundTripMs)
{
    ProbeReport probe;
    probe.address = QStringLiteral("192.0.2.1");
    probe.status = status;
    probe.roundTripMs = roundTripMs;
    return probe;
}

// What the manager is told, from whichever thread.
class Told
{
public:
    StateSender sender()
    {
        return [this](const QByteArray &state) {
            const std::lock_guard lock(m_mutex);
            m_states << state;
        };
    }
    QByteArrayList states() const
    {
        const std::lock_guard lock(m_mutex);
        return m_states;
    }
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_states.clear();
    }

private:
    mutable std::mutex m_mutex;
    QByteArrayList m_states;
};

} // namespace

class TestServiceNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ready as the watch starts, before its first cycle, which may take minutes; the
    // ticks themselves tell the manager nothing.
    void readyAsTheWatchStarts_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QByteArrayList>("told");
        QTest::addRow("the start")
            << QStringList{"start"} << QByteArrayList{"READY=1", kFirstStatus};
        QTest::addRow("a second start")
            << QStringList{"start", "start"} << QByteArrayList{"READY=1", kFirstStatus};
        QTest::addRow("ticks") << QStringList{"start", "tick", "tick"}
                               << QByteArrayList{"READY=1", kFirstStatus};
        QTest::addRow("a cycle before the start") << QStringList{"cycle"} << QByteArrayList{};
        QTest::addRow("the stop") << QStringList{"start", "stop", "cycle", "tick"}
                                  << QByteArrayList{"READY=1", kFirstStatus,
                                                    "STOPPING=1\nSTATUS=Stopping."};
    }
    void readyAsTheWatchStarts()
    {
        QFETCH(QStringList, events);
        QFETCH(QByteArrayList, told);
        FakeClock clock;
        Told record;
        ServiceNotifier notifier(clock, record.sender());
        CycleReport answered;
        answered.primary = Probe(0, 12);
        answered.answered = true;
        for (const QString &event : events) {
            if (event == u"start")
                notifier.watchStarted();
            else if (event == u"tick")
                notifier.watchTicked();
            else if (event == u"cycle")
                notifier.cycleDone(answered);
            else
                notifier.watchStopping();
        }
        QCOMPARE(record.states(), told);
    }

    // The state after each cycle. The secondary is probed only when the primary did
    // not answer, so an answered cycle with a secondary says nothing of the primary's
    // round trip.
    void status_data()
    {
        QTest::addColumn<QList<int>>("secondaryTrips");
        QTest::addColumn<QByteArray>("status");
        // -1: the primary answered in 12 ms; 0: neither answered; more: the
        // secondary answered in that time.
        QTest::addRow("the primary answered")
            << QList<int>{-1}
            << QByteArray("STATUS=primary 12 ms; 0 failing cycles; no fail "
                          "command yet");
        QTest::addRow("only the secondary answered")
            << QList<int>{30}
            << QByteArray("STATUS=primary no answer; secondary 30 ms; 0 "
                          "failing cycles; no fail command yet");
        QTest::addRow("neither answered")
            << QList<int>{0}
            << QByteArray("STATUS=primary no answer; secondary no answer; 1 "
                          "failing cycle; no fail command yet");
        QTest::addRow("two failing cycles")
            << QList<int>{0, 0}
            << QByteArray("STATUS=primary no answer; secondary no answer; 2 "
                          "failing cycles; no fail command yet");
        QTest::addRow("an answer ends the count")
            << QList<int>{0, 0, 30}
            << QByteArray("STATUS=primary no answer; secondary 30 ms; 0 "
                          "failing cycles; no fail command yet");
    }
    void status()
    {
        QFETCH(QList<int>, secondaryTrips);
        QFETCH(QByteArray, status);
        FakeClock clock;
        Told record;
        ServiceNotifier notifier(clock, record.sender());
        notifier.watchStarted();
        for (const int trip : secondaryTrips) {
            CycleReport report;
            report.answered = trip != 0;
            // A primary that did not answer leaves its round trip at 0.
            report.primary = trip < 0 ? Probe(0, 12) : Probe(11010, 0);
            if (trip >= 0)
                report.secondary = trip > 0 ? Probe(0, trip) : Probe(11010, 0);
            notifier.cycleDone(report);
        }
        QCOMPARE(record.states().constLast(), status);
    }

    // The watchdog's pings follow the ticks and the waits' wakes alike.
    void progressFollowsTicksAndWaits_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("wakes");
        QTest::addRow("nothing") << 0 << 0;
        QTest::addRow("ticks of an idle watch") << 3 << 0;
        QTest::addRow("wakes of a long cycle") << 0 << 40;
        QTest::addRow("both") << 2 << 5;
    }
    void progressFollowsTicksAndWaits()
    {
        QFETCH(int, ticks);
        QFETCH(int, wakes);
        FakeClock clock;
        Told record;
        std::uint64_t woken = 0;
        ServiceNotifier notifier(clock, record.sender(), {}, [&woken] { return woken; });
        notifier.watchStarted();
        const std::uint64_t before = notifier.progress();
        for (int tick = 0; tick < ticks; ++tick)
            notifier.watchTicked();
        woken += std::uint64_t(wakes);
        QCOMPARE(notifier.progress() - before, std::uint64_t(ticks + wakes));
    }

    // With a watchdog time, a watch that ticks is pinged from the feeder's thread;
    // after the stop's word no ping follows, ticks or not.
    void pingsUntilTheStop()
    {
        FakeClock clock;
        Told record;
        ServiceNotifier notifier(clock, record.sender(), 40ms);
        notifier.watchStarted();
        // Looks every 10 ms; a minute of ticks without a ping is a feeder that does
        // not run.
        QElapsedTimer waited;
        waited.start();
        while (!record.states().contains("WATCHDOG=1") && waited.elapsed() < 60'000) {
            notifier.watchTicked();
            std::this_thread::sleep_for(5ms);
        }
        QVERIFY(record.states().contains("WATCHDOG=1"));
        notifier.watchStopping();
        record.clear();
        for (int tick = 0; tick < 10; ++tick) {
            notifier.watchTicked();
            std::this_thread::sleep_for(10ms);
        }
        QCOMPARE(record.states(), QByteArrayList{});
    }
};

QTEST_APPLESS_MAIN(TestServiceNotifier)
#include "tst_service_notifier.moc"
