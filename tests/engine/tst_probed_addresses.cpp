#include "EngineRig.h"

#include <QTest>

namespace {

QString Tip(const QString &text, const QString &lines = {})
{
    return text + lines;
}

} // namespace

class TestProbedAddresses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportNamesTheAddressProbed_data()
    {
        QTest::addColumn<QString>("primary");
        QTest::addColumn<QString>("secondary");
        QTest::addColumn<QString>("primaryResolved");
        QTest::addColumn<QString>("secondaryResolved");
        QTest::addColumn<bool>("answered");

        QTest::addRow("literals say nothing more") << "127.0.0.9"
                                                   << "::9"
                                                   << ""
                                                   << "" << false;
        QTest::addRow("answering name") << "up.example"
                                        << "127.0.0.9"
                                        << "127.0.0.1"
                                        << "-" << true;
        QTest::addRow("silent names") << "down.example"
                                      << "six.example"
                                      << "192.0.2.7"
                                      << "::1" << false;
        QTest::addRow("name that does not resolve") << "missing.example"
                                                    << "127.0.0.9"
                                                    << ""
                                                    << "" << false;
    }

    void reportNamesTheAddressProbed()
    {
        QFETCH(QString, primary);
        QFETCH(QString, secondary);
        QFETCH(QString, primaryResolved);
        QFETCH(QString, secondaryResolved);
        QFETCH(bool, answered);

        EngineRig rig;
        rig.echo.script(kPrimary, kEchoSuccess, 3);
        rig.echo.scriptName("up.example", kPrimary);
        rig.echo.scriptName("down.example", QStringLiteral("192.0.2.7"));
        rig.echo.scriptName("six.example", QStringLiteral("::1"));
        rig.fields.setText(Field::AddrPri, primary);
        rig.fields.setText(Field::AddrSec, secondary);
        rig.engine.PingCycle();

        QCOMPARE(rig.events.cycles.size(), 1);
        const CycleReport &report = rig.events.cycles[0];
        QCOMPARE(report.answered, answered);
        QCOMPARE(report.primary.address, primary);
        QCOMPARE(report.primary.resolved, primaryResolved);
        QCOMPARE(report.secondary.has_value(), secondaryResolved != QStringLiteral("-"));
        if (report.secondary)
            QCOMPARE(report.secondary->resolved, secondaryResolved);
    }

    void tipShowsWhereANameLed()
    {
        EngineRig rig;
        rig.fields.setText(Field::AddrPri, QStringLiteral("gateway.example"));
        rig.fields.setText(Field::AddrSec, QStringLiteral("::1"));
        rig.echo.script(kPrimary, kEchoSuccess, 3);
        rig.echo.script(QStringLiteral("::1"), kEchoSuccess, 2);
        rig.echo.scriptName("gateway.example", kPrimary);
        const QString atLoopback = QStringLiteral("\ngateway.example: 127.0.0.1");
        const QString atOther = QStringLiteral("\ngateway.example: 127.0.0.5");

        // The count stays at 0, as start-up showed it; only the address line is new.
        rig.engine.PingCycle();
        rig.engine.PingCycle();
        QCOMPARE(rig.tray.tips, QStringList({Tip("Corvane (0%)", atLoopback)}));

        // The record moves to a dead host; the literal secondary adds no line.
        rig.echo.scriptName("gateway.example", QStringLiteral("127.0.0.5"));
        rig.engine.PingCycle();
        QCOMPARE(rig.tray.tips.last(), Tip("Corvane (0%)", atOther));

        rig.echo.script(QStringLiteral("::1"), kEchoTimedOut);
        rig.failingCycles(5);
        QCOMPARE(rig.tray.tips.mid(2),
                 QStringList({Tip("Corvane (20%)", atOther), Tip("Corvane (40%)", atOther),
                              Tip("Corvane (60%)", atOther), Tip("Corvane (80%)", atOther),
                              Tip("Corvane (100%)", atOther), Tip(kFailCommandSent, atOther)}));
        // The log says what it always said.
        QVERIFY(rig.logMessages().contains(
            QStringLiteral("No response after 5 ping attempts.  Sending fail command.")));

        // Back to a literal: the tip is the watch's text alone again.
        rig.fields.setText(Field::AddrPri, QStringLiteral("127.0.0.5"));
        rig.engine.PingCycle();
        QCOMPARE(rig.tray.tips.last(), kFailCommandSent);
    }
};

QTEST_GUILESS_MAIN(TestProbedAddresses)
#include "tst_probed_addresses.moc"
