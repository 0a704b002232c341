#include "ActionRig.h"
#include "OwnLink.h"
#include "OwnLinkGuard.h"

using Status = OwnLinkState::Status;

namespace {

// Tells the state it is set to, of the pinned interface or else one named eth0, and what
// it was asked.
class FakeOwnLink final : public OwnLinkReader
{
public:
    OwnLinkState Read(const IpAddress &destination, const QString &pinned) override
    {
        asked.append(destination.toString() + pinned);
        const bool named = status != Status::NoRoute && status != Status::Unreadable;
        return {status,
                !named             ? QString()
                : pinned.isEmpty() ? QStringLiteral("eth0")
                                   : pinned,
                QStringLiteral("the route lookup failed: Permission denied")};
    }
    Status status = Status::Up;
    QStringList asked;
};

const QString kNoResponse = QStringLiteral("No response to pings.");
const QString kHeld = QStringLiteral("Fail command not sent: ");
const QString kNoCarrier = kHeld + QStringLiteral("our own link eth0 has no carrier.");
const QString kNoAddress = kHeld + QStringLiteral("our own link eth0 has no address.");
const QHash<QChar, Status> kStates{{u'U', Status::Up},
                                   {u'C', Status::NoCarrier},
                                   {u'A', Status::NoAddress},
                                   {u'R', Status::NoRoute},
                                   {u'E', Status::Unreadable}};

QString SendEntry(const QString &note = {})
{
    return QStringLiteral("No response after 1 ping attempts.  Sending fail command.") + note;
}

} // namespace

// The fail command waits while our own side of the line is down, through the real
// engine and link, with the link's state told by a fake.
class TestOwnLinkGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A failing cycle at each minute, our link in the state given for it by a letter:
    // Up, no Carrier, no Address, no Route, or an Error reading it.
    void holdsWhileOurLinkIsDown_data()
    {
        QTest::addColumn<QString>("states");
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("reads");
        const QString grace = QStringLiteral("Start grace over; the outage continues.");

        QTest::addRow("no carrier: held, told once")
            << "CCC"
            << "" << QStringList{kNoCarrier, kNoResponse, kNoResponse} << 3;
        QTest::addRow("carrier back: sent")
            << "CCU"
            << "" << QStringList{kNoCarrier, kNoResponse, SendEntry()} << 3;
        QTest::addRow("no address, then one") << "AU"
                                              << "" << QStringList{kNoAddress, SendEntry()} << 2;
        QTest::addRow("the reason changes: told again")
            << "CAAU"
            << "" << QStringList{kNoCarrier, kNoAddress, kNoResponse, SendEntry()} << 4;
        QTest::addRow("guard off: sent regardless") << "C"
                                                    << "off" << QStringList{SendEntry()} << 0;
        QTest::addRow("the pinned interface is read")
            << "C"
            << "pinned" << QStringList{kHeld + "our own link wwan0 has no carrier."} << 1;
        QTest::addRow("no route") << "R"
                                  << ""
                                  << QStringList{QStringLiteral("Fail command not sent: our own "
                                                                "side has no route to 127.0.0.1.")}
                                  << 1;
        QTest::addRow("unreadable: sent, and said")
            << "E"
            << ""
            << QStringList{SendEntry(QStringLiteral("  Our own link was not checked: the route "
                                                    "lookup failed: Permission denied."))}
            << 1;
        // Our link is read only once the grace lets the send go.
        QTest::addRow("the start grace first, then our link")
            << "CCCU"
            << "grace"
            << QStringList{kHeld + QStringLiteral("the start grace lasts until 12:01:30."),
                           kNoResponse, kNoCarrier, grace, SendEntry()}
            << 2;
        QTest::addRow("a pause is told, our link not read")
            << "CC"
            << "pause"
            << QStringList{QStringLiteral("Actions paused until 13:00."),
                           kHeld + QStringLiteral("actions are paused until 13:00."), kNoResponse}
            << 0;
    }
    void holdsWhileOurLinkIsDown()
    {
        QFETCH(QString, states);
        QFETCH(QString, setUp);
        QFETCH(QStringList, log);
        QFETCH(int, reads);
        ActionRig rig;
        QVERIFY(rig.opened());
        FakeOwnLink link;
        rig.safety.readOwnLinkWith(link);
        rig.safety.options().ownLinkGuard = setUp != QStringLiteral("off");
        rig.safety.options().graceSeconds = setUp == QStringLiteral("grace") ? 90 : 0;
        if (setUp == QStringLiteral("pinned"))
            rig.safety.options().interfaceName = QStringLiteral("wwan0");
        if (setUp == QStringLiteral("pause"))
            rig.safety.pause().PauseForOneHour();

        for (const QChar state : states) {
            link.status = kStates.value(state);
            rig.minute();
        }

        QCOMPARE(rig.logMessages(), log);
        QCOMPARE(link.asked.size(), reads);
        QCOMPARE(rig.sends.ms.size(), log.last().startsWith(SendEntry()) ? 1 : 0);
    }

    // Which address our link is judged towards, after cycles whose primary field held
    // these texts and led to these addresses; empty: not judged.
    void judgedTowardsTheLastAddress_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("resolved");
        QTest::addColumn<QString>("asked");

        QTest::addRow("an address") << QStringList{" 192.0.2.1 "} << QStringList{""} << "192.0.2.1";
        QTest::addRow("a name") << QStringList{"router.example"} << QStringList{"2001:db8::9"}
                                << "2001:db8::9";
        QTest::addRow("a name no longer resolved keeps its address")
            << QStringList{"router.example", "router.example"} << QStringList{"192.0.2.9", ""}
            << "192.0.2.9";
        QTest::addRow("another name forgets it")
            << QStringList{"router.example", "modem.example"} << QStringList{"192.0.2.9", ""} << "";
        QTest::addRow("a name never resolved")
            << QStringList{"router.example"} << QStringList{""} << "";
        QTest::addRow("an address after a name") << QStringList{"router.example", "198.51.100.1"}
                                                 << QStringList{"192.0.2.9", ""} << "198.51.100.1";
        QTest::addRow("no address at all")
            << QStringList{"192.0.2.1", "0.0.0.0"} << QStringList{"", ""} << "";
    }
    void judgedTowardsTheLastAddress()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, resolved);
        QFETCH(QString, asked);
        OwnLinkGuard guard;
        FakeOwnLink link;
        guard.ReadWith(link);
        for (qsizetype cycle = 0; cycle < texts.size(); ++cycle) {
            CycleReport report;
            report.primary.address = texts[cycle];
            report.primary.resolved = resolved[cycle];
            guard.cycleDone(report);
        }

        const OwnLinkVerdict verdict = guard.Judge({});

        QCOMPARE(link.asked, asked.isEmpty() ? QStringList{} : QStringList{asked});
        QCOMPARE(verdict.note.isEmpty(), !asked.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOwnLinkGuard)
#include "tst_own_link_guard.moc"
