#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "FieldConfirmation.h"
#include "IniSettingsStore.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Field)

namespace {

const QString kGreaterThanZero = QStringLiteral("A numeric entry greater than 0 is required.");

struct ConfirmationRig
{
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeWindowFields fields;
    FakeMeter meter;
    QList<qint32> pingPeriods;
    FieldConfirmation confirmation{fields, meter, settings, boxes,
                                   [this](qint32 seconds) { pingPeriods.append(seconds); }};

    // Confirms like the window does: the flag starts cleared.
    bool confirmRefused(Field field, const QString &text)
    {
        fields.setText(field, text);
        bool refuse = false;
        confirmation.Confirm(field, refuse);
        return refuse;
    }

    std::optional<QString> stored(const QString &key)
    {
        return store.read(SettingsAppName, SettingsSection, key);
    }
};

} // namespace

class TestFieldConfirmation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void confirmsField_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("key");

        const QString accepted;
        const QString numeric = QStringLiteral("A numeric entry is required.");
        const QString tooMany = QStringLiteral("A numeric entry from 1 to 32767 is required.");
        QTest::addRow("address as typed")
            << Field::AddrSec << " 127.0.0.2 " << accepted << "AddrSec";
        QTest::addRow("IPv6 address with zone")
            << Field::AddrPri << "fe80::1%eth0" << accepted << "AddrPri";
        QTest::addRow("host name") << Field::AddrSec << "gateway.example" << accepted << "AddrSec";
        QTest::addRow("emptied command") << Field::FailCommand << "" << accepted << "FailCommand";
        QTest::addRow("time-out 0") << Field::TimeoutPri << "0" << kGreaterThanZero << "TimeoutPri";
        QTest::addRow("time-out 1") << Field::TimeoutSec << "1" << accepted << "TimeoutSec";
        QTest::addRow("period -5") << Field::Period << "-5" << numeric << "Period";
        QTest::addRow("period as typed") << Field::Period << " 90 " << accepted << "Period";
        QTest::addRow("retries letters")
            << Field::FailTries << "abc" << kGreaterThanZero << "FailTries";
        QTest::addRow("retries -1") << Field::FailTries << "-1" << kGreaterThanZero << "FailTries";
        QTest::addRow("retries 2x") << Field::FailTries << "2x" << kGreaterThanZero << "FailTries";
        QTest::addRow("retries 32767") << Field::FailTries << "32767" << accepted << "FailTries";
        QTest::addRow("retries 40000") << Field::FailTries << "40000" << tooMany << "FailTries";
    }
    void confirmsField()
    {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QFETCH(QString, key);
        ConfirmationRig rig;
        const bool refused = rig.confirmRefused(field, text);
        QCOMPARE(refused, !refusal.isEmpty());
        if (refused) {
            QCOMPARE(rig.boxes.shown.size(), 1);
            QCOMPARE(rig.boxes.shown[0].text, refusal);
            QCOMPARE(rig.boxes.shown[0].title, QStringLiteral("Timeout Field"));
            QCOMPARE(int(rig.boxes.shown[0].style), int(BoxStyle::OkExclamation));
            QCOMPARE(rig.stored(key), std::nullopt);
            QCOMPARE(rig.fields.text(field), text);
        } else {
            QVERIFY(rig.boxes.shown.isEmpty());
            QCOMPARE(rig.stored(key), text);
        }
    }

    void fieldsConfirmedElsewhereAreLeftAlone_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");

        QTest::addRow("schedule time") << Field::SchedTime0 << "25:00:00"
                                       << "SchedTime0";
        QTest::addRow("schedule command") << Field::SchedCmd3 << "x"
                                          << "SchedCmd3";
        QTest::addRow("port") << Field::FailPort << "9"
                              << "FailPort";
    }
    void fieldsConfirmedElsewhereAreLeftAlone()
    {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(QString, key);
        ConfirmationRig rig;
        QVERIFY(!rig.confirmRefused(field, text));
        QVERIFY(rig.boxes.shown.isEmpty());
        QCOMPARE(rig.stored(key), std::nullopt);
    }

    void periodSetsPingPeriod()
    {
        ConfirmationRig rig;
        QVERIFY(rig.confirmRefused(Field::Period, QStringLiteral("0")));
        QVERIFY(rig.pingPeriods.isEmpty());
        QVERIFY(!rig.confirmRefused(Field::Period, QStringLiteral("0.6")));
        QVERIFY(!rig.confirmRefused(Field::Period, QStringLiteral("2.5")));
        QCOMPARE(rig.pingPeriods, (QList<qint32>{1, 2}));
    }

    void refusedResendShowsFifteenBeforeTheMessage()
    {
        ConfirmationRig rig;
        QString textWhileBoxOpen;
        rig.boxes.onShow = [&rig, &textWhileBoxOpen] {
            textWhileBoxOpen = rig.fields.text(Field::FailResend);
        };
        QVERIFY(rig.confirmRefused(Field::FailResend, QStringLiteral("soon")));
        QCOMPARE(textWhileBoxOpen, QStringLiteral("15"));
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].text, kGreaterThanZero);
        QCOMPARE(rig.stored(QStringLiteral("FailResend")), std::nullopt);

        // Leaving the field again stores the "15" it now shows.
        bool refuse = false;
        rig.confirmation.Confirm(Field::FailResend, refuse);
        QVERIFY(!refuse);
        QCOMPARE(rig.stored(QStringLiteral("FailResend")), QStringLiteral("15"));
    }

    void meterMaximumFollowsRetries()
    {
        ConfirmationRig rig;
        QVERIFY(!rig.confirmRefused(Field::FailTries, QStringLiteral("3")));
        QCOMPARE(rig.meter.maximum(), 3);
        QVERIFY(rig.confirmRefused(Field::FailTries, QStringLiteral("40000")));
        QCOMPARE(rig.meter.maximum(), 3);

        rig.fields.setText(Field::FailTries, QStringLiteral("7"));
        QVERIFY(!rig.confirmRefused(Field::FailResend, QStringLiteral("30")));
        QCOMPARE(rig.meter.maximum(), 7);
        rig.fields.setText(Field::FailTries, QStringLiteral("many"));
        QVERIFY(!rig.confirmRefused(Field::FailResend, QStringLiteral("30")));
        QCOMPARE(rig.meter.maximum(), 7);
    }
};

QTEST_GUILESS_MAIN(TestFieldConfirmation)
#include "tst_field_confirmation.moc"
