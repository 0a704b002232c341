#include "TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

volatile sig_atomic_t earlierHandlerRan = 0;
extern "C" void EarlierHandler(int)
{
    earlierHandlerRan = 1;
}

sighandler_t CurrentHandler(int signalNumber)
{
    struct sigaction current = {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signals_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addRow("SIGTERM") << SIGTERM;
        QTest::addRow("SIGINT") << SIGINT;
        QTest::addRow("SIGHUP") << SIGHUP;
    }

    void reachesTheEventLoop_data() { signals_data(); }
    void reachesTheEventLoop()
    {
        QFETCH(int, signalNumber);
        // The test may itself run with a signal ignored (under nohup, say).
        ::signal(signalNumber, SIG_DFL);
        TerminationSignals termination;
        QVERIFY(termination.isActive());
        QSignalSpy spy(&termination, &TerminationSignals::received);
        QCOMPARE(::raise(signalNumber), 0);
        // The handler has run by now; the signal must wait for the event loop.
        QCOMPARE(spy.size(), 0);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toInt(), signalNumber);
    }

    void earlierHandlerComesBack_data() { signals_data(); }
    void earlierHandlerComesBack()
    {
        QFETCH(int, signalNumber);
        const sighandler_t original = ::signal(signalNumber, EarlierHandler);
        {
            TerminationSignals termination;
            QVERIFY(CurrentHandler(signalNumber) != EarlierHandler);
        }
        QVERIFY(CurrentHandler(signalNumber) == &EarlierHandler);
        earlierHandlerRan = 0;
        ::raise(signalNumber);
        QCOMPARE(int(earlierHandlerRan), 1);
        ::signal(signalNumber, original);
    }

    void ignoredSignalStaysIgnored()
    {
        const sighandler_t original = ::signal(SIGHUP, SIG_IGN);
        {
            TerminationSignals termination;
            QVERIFY(CurrentHandler(SIGHUP) == SIG_IGN);
        }
        QVERIFY(CurrentHandler(SIGHUP) == SIG_IGN);
        ::signal(SIGHUP, original);
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
