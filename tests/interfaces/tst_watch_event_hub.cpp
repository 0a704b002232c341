#include "WatchEvents.h"

#include <QTest>

#include <functional>
#include <memory>

namespace {

// Writes every event it hears into a journal shared with the other listeners, under
// its own name, and may act on the hub while it is told.
class JournalListener final : public WatchEvents
{
public:
    JournalListener(QString name, QStringList &journal)
        : m_name(std::move(name)), m_journal(journal)
    {
    }

    void watchStarted() override { hear(QStringLiteral("started")); }
    void watchTicked() override { hear(QStringLiteral("ticked")); }
    void cycleDone(const CycleReport &report) override
    {
        hear(QStringLiteral("cycle %1 %2").arg(report.primary.address).arg(report.failCount));
    }
    void watchBlind(bool blind) override { hear(QStringLiteral("blind %1").arg(int(blind))); }
    void outageStarted() override { hear(QStringLiteral("outage started")); }
    void outageEnded() override { hear(QStringLiteral("outage ended")); }
    void commandSent(CommandKind kind, const QString &command) override
    {
        hear(QStringLiteral("sent %1 %2").arg(int(kind)).arg(command));
    }
    void consoleReceived(const QByteArray &bytes) override
    {
        hear(QStringLiteral("console ") + QString::fromLatin1(bytes));
    }
    void acknowledgement(bool acknowledged, const QString &line) override
    {
        hear(QStringLiteral("acknowledged %1 %2").arg(int(acknowledged)).arg(line));
    }
    void watchStopping() override { hear(QStringLiteral("stopping")); }
    void watchStopped() override { hear(QStringLiteral("stopped")); }

    // Runs once, on the next event this listener hears, after it is written down.
    std::function<void()> onNextEvent;

private:
    void hear(const QString &event)
    {
        m_journal.append(m_name + QStringLiteral(": ") + event);
        if (auto act = std::exchange(onNextEvent, nullptr))
            act();
    }

    QString m_name;
    QStringList &m_journal;
};

using Raise = std::function<void(WatchEvents &)>;

// Every event the hub hands out, with what a listener writes down for it.
QList<std::pair<QString, Raise>> EveryEvent()
{
    CycleReport report;
    report.primary.address = QStringLiteral("127.0.0.1");
    report.failCount = 3;
    return {
        {QStringLiteral("started"), [](WatchEvents &e) { e.watchStarted(); }},
        {QStringLiteral("ticked"), [](WatchEvents &e) { e.watchTicked(); }},
        {QStringLiteral("cycle 127.0.0.1 3"), [report](WatchEvents &e) { e.cycleDone(report); }},
        {QStringLiteral("blind 1"), [](WatchEvents &e) { e.watchBlind(true); }},
        {QStringLiteral("blind 0"), [](WatchEvents &e) { e.watchBlind(false); }},
        {QStringLiteral("outage started"), [](WatchEvents &e) { e.outageStarted(); }},
        {QStringLiteral("outage ended"), [](WatchEvents &e) { e.outageEnded(); }},
        {QStringLiteral("sent 1 REBOOT"),
         [](WatchEvents &e) { e.commandSent(CommandKind::FailTest, QStringLiteral("REBOOT")); }},
        {QStringLiteral("console OK"), [](WatchEvents &e) { e.consoleReceived("OK"); }},
        {QStringLiteral("acknowledged 1 OK"),
         [](WatchEvents &e) { e.acknowledgement(true, QStringLiteral("OK")); }},
        {QStringLiteral("stopping"), [](WatchEvents &e) { e.watchStopping(); }},
        {QStringLiteral("stopped"), [](WatchEvents &e) { e.watchStopped(); }},
    };
}

} // namespace

class WatchEventHubTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each event reaches each listener, as itself and with what it carries, in the
    // order they started to listen; with nobody listening nothing happens.
    void handsOutInListeningOrder_data()
    {
        QTest::addColumn<int>("listeners");
        QTest::addRow("nobody listening") << 0;
        QTest::addRow("one listener") << 1;
        QTest::addRow("three listeners") << 3;
    }
    void handsOutInListeningOrder()
    {
        QFETCH(int, listeners);
        QStringList journal;
        std::vector<std::unique_ptr<JournalListener>> owned;
        WatchEventHub hub;
        for (int i = 0; i < listeners; ++i) {
            owned.push_back(std::make_unique<JournalListener>(QString::number(i), journal));
            hub.listen(*owned.back());
        }

        for (const auto &[written, raise] : EveryEvent()) {
            journal.clear();
            raise(hub);
            QStringList expected;
            for (int i = 0; i < listeners; ++i)
                expected.append(QString::number(i) + QStringLiteral(": ") + written);
            QCOMPARE(journal, expected);
        }
    }

    // A listener that starts listening while an event is handed out hears from the
    // next event on, however many join and whichever listener lets them in.
    void listenerJoinsWhileAnEventIsHandedOut_data()
    {
        QTest::addColumn<int>("joinedBy");
        QTest::addColumn<int>("joining");
        QTest::addRow("one joins, let in by the first") << 0 << 1;
        QTest::addRow("one joins, let in by the last") << 1 << 1;
        QTest::addRow("many join, let in by the first") << 0 << 40;
        QTest::addRow("many join, let in by the last") << 1 << 40;
    }
    void listenerJoinsWhileAnEventIsHandedOut()
    {
        QFETCH(int, joinedBy);
        QFETCH(int, joining);
        QStringList journal;
        WatchEventHub hub;
        JournalListener first(QStringLiteral("first"), journal);
        JournalListener second(QStringLiteral("second"), journal);
        hub.listen(first);
        hub.listen(second);
        std::vector<std::unique_ptr<JournalListener>> late;
        late.reserve(joining);
        for (int i = 0; i < joining; ++i)
            late.push_back(std::make_unique<JournalListener>(QStringLiteral("late"), journal));
        (joinedBy == 0 ? first : second).onNextEvent = [&] {
            for (const auto &listener : late)
                hub.listen(*listener);
        };

        hub.outageStarted();
        QCOMPARE(journal, QStringList({"first: outage started", "second: outage started"}));
        journal.clear();
        hub.outageEnded();
        QStringList expected({"first: outage ended", "second: outage ended"});
        for (int i = 0; i < joining; ++i)
            expected.append(QStringLiteral("late: outage ended"));
        QCOMPARE(journal, expected);
    }

    // A listener may tell the hub of another event while one is handed out, as a
    // verdict on the console's answer is: each listener hears each event once.
    void eventRaisedWhileOneIsHandedOut_data()
    {
        QTest::addColumn<int>("raisedBy");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("by the first")
            << 0
            << QStringList({"0: console OK", "0: acknowledged 1 OK", "1: acknowledged 1 OK",
                            "2: acknowledged 1 OK", "1: console OK", "2: console OK"});
        QTest::addRow("by the last")
            << 2
            << QStringList({"0: console OK", "1: console OK", "2: console OK",
                            "0: acknowledged 1 OK", "1: acknowledged 1 OK",
                            "2: acknowledged 1 OK"});
    }
    void eventRaisedWhileOneIsHandedOut()
    {
        QFETCH(int, raisedBy);
        QFETCH(QStringList, expected);
        QStringList journal;
        WatchEventHub hub;
        std::vector<std::unique_ptr<JournalListener>> listeners;
        for (int i = 0; i < 3; ++i) {
            listeners.push_back(std::make_unique<JournalListener>(QString::number(i), journal));
            hub.listen(*listeners.back());
        }
        listeners[raisedBy]->onNextEvent = [&] { hub.acknowledgement(true, QStringLiteral("OK")); };

        hub.consoleReceived("OK");
        QCOMPARE(journal, expected);
    }
};

QTEST_GUILESS_MAIN(WatchEventHubTest)
#include "tst_watch_event_hub.moc"
