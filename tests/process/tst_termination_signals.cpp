#include "Pause.h"
#include "StopLatch.h"
#include "TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

volatile sig_atomic_t earlierHandlerRan = 0;
extern "C" void EarlierHandler(int)
{
    earlierHandlerRan = 1;
}

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void takesOverAndGivesBack_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("ignored");
        QTest::addRow("SIGTERM") << SIGTERM << false;
        QTest::addRow("SIGINT") << SIGINT << false;
        QTest::addRow("SIGHUP") << SIGHUP << false;
        QTest::addRow("SIGHUP ignored, as under nohup") << SIGHUP << true;
    }
    void takesOverAndGivesBack()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, ignored);
        const sighandler_t earlier = ignored ? SIG_IGN : &EarlierHandler;
        const sighandler_t original = ::signal(signalNumber, earlier);
        earlierHandlerRan = 0;
        {
            StopLatch stop;
            TerminationSignals termination(&stop);
            QVERIFY(termination.isActive());
            QSignalSpy spy(&termination, &TerminationSignals::received);
            QCOMPARE(::raise(signalNumber), 0);
            // The handler has run by now and raised the latch for the waits under way;
            // the signal itself must wait for the event loop.
            QCOMPARE(stop.stopRequested(), !ignored);
            pollfd latch{stop.descriptor(), POLLIN, 0};
            QCOMPARE(::poll(&latch, 1, 0), ignored ? 0 : 1);
            QCOMPARE(spy.size(), 0);
            if (ignored) {
                QTest::qWait(50);
                QCOMPARE(spy.size(), 0);
            } else {
                QTRY_COMPARE(spy.size(), 1);
                QCOMPARE(spy.first().first().toInt(), signalNumber);
            }
            QCOMPARE(int(earlierHandlerRan), 0);
        }
        // The earlier disposition is back: it runs, or the signal stays ignored.
        QCOMPARE(::raise(signalNumber), 0);
        QCOMPARE(int(earlierHandlerRan), ignored ? 0 : 1);
        ::signal(signalNumber, original);
    }

    void signalCutsAPauseShort()
    {
        ::signal(SIGTERM, SIG_DFL);
        StopLatch stop;
        TerminationSignals termination(&stop);
        ThreadPause pause(&stop);
        QVERIFY(pause.pauseMs(1));

        // Ten minutes: only the signal can end it before ctest's limit fails the test.
        std::thread signaller([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::kill(::getpid(), SIGTERM);
        });
        const bool whole = pause.pauseMs(600'000);
        signaller.join();
        QVERIFY(!whole);
        // The latch stays raised: a pause that begins after the stop ends at once.
        QVERIFY(!pause.pauseMs(600'000));
        QVERIFY(pause.stopRequested());
    }

    void secondObjectLeavesTheFirstInCharge()
    {
        ::signal(SIGTERM, SIG_DFL);
        TerminationSignals first;
        QSignalSpy spy(&first, &TerminationSignals::received);
        {
            QTest::ignoreMessage(QtWarningMsg,
                                 "Termination signals are already taken over by another object.");
            TerminationSignals second;
            QVERIFY(!second.isActive());
        }
        ::raise(SIGTERM);
        QTRY_COMPARE(spy.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_termination_signals.moc"
