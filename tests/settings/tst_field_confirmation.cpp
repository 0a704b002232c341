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

} // namespace

class TestFieldConfirmation : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<IniSettingsStore> m_store;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<Settings> m_settings;
    FakeWindowFields m_fields;
    FakeMeter m_meter;
    QList<qint32> m_pingPeriods;
    std::unique_ptr<FieldConfirmation> m_confirmation;

    // Confirms like the window does: the flag starts cleared.
    bool confirmRefused(Field field, const QString &text)
    {
        m_fields.setText(field, text);
        bool refuse = false;
        m_confirmation->Confirm(field, refuse);
        return refuse;
    }

    std::optional<QString> stored(const QString &key)
    {
        return m_store->read(SettingsAppName, SettingsSection, key);
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<IniSettingsStore>(m_folder->path());
        m_boxes.shown.clear();
        m_boxes.onShow = nullptr;
        m_settings = std::make_unique<Settings>(*m_store, m_boxes);
        m_fields = FakeWindowFields();
        m_meter = FakeMeter();
        m_pingPeriods.clear();
        m_confirmation = std::make_unique<FieldConfirmation>(
            m_fields, m_meter, *m_settings, m_boxes,
            [this](qint32 seconds) { m_pingPeriods.append(seconds); });
    }

    void textFieldsAreStoredAsTyped_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addRow("empty primary address") << Field::AddrPri << "AddrPri" << QString();
        QTest::addRow("secondary address") << Field::AddrSec << "AddrSec"
                                           << " 127.0.0.2 ";
        QTest::addRow("emptied command") << Field::FailCommand << "FailCommand" << QString();
        QTest::addRow("log path") << Field::FailLog << "FailLog"
                                  << "c:\\log.txt";
    }
    void textFieldsAreStoredAsTyped()
    {
        QFETCH(Field, field);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QVERIFY(!confirmRefused(field, text));
        QCOMPARE(stored(key), text);
        QVERIFY(m_boxes.shown.isEmpty());
    }

    void numericEntries_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");

        const QString period = QStringLiteral("A numeric entry is required.");
        QTest::addRow("time-out 0") << Field::TimeoutPri << "TimeoutPri"
                                    << "0" << kGreaterThanZero;
        QTest::addRow("time-out 1") << Field::TimeoutSec << "TimeoutSec"
                                    << "1" << QString();
        QTest::addRow("time-out empty") << Field::TimeoutSec << "TimeoutSec"
                                        << "" << kGreaterThanZero;
        QTest::addRow("time-out beyond 32 bits") << Field::TimeoutPri << "TimeoutPri"
                                                 << "2147483648" << kGreaterThanZero;
        QTest::addRow("period -5") << Field::Period << "Period"
                                   << "-5" << period;
        QTest::addRow("period 0.5") << Field::Period << "Period"
                                    << "0.5" << period;
        QTest::addRow("period 0.6") << Field::Period << "Period"
                                    << "0.6" << QString();
        QTest::addRow("period with blanks") << Field::Period << "Period"
                                            << " 90 " << QString();
        QTest::addRow("retries letters") << Field::FailTries << "FailTries"
                                         << "abc" << kGreaterThanZero;
        QTest::addRow("retries 32767") << Field::FailTries << "FailTries"
                                       << "32767" << QString();
        QTest::addRow("retries 40000")
            << Field::FailTries << "FailTries"
            << "40000" << QStringLiteral("A numeric entry from 1 to 32767 is required.");
        QTest::addRow("resend 1.5") << Field::FailResend << "FailResend"
                                    << "1.5" << QString();
    }
    void numericEntries()
    {
        QFETCH(Field, field);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        const bool refused = confirmRefused(field, text);
        QCOMPARE(refused, !refusal.isEmpty());
        if (refused) {
            QCOMPARE(m_boxes.shown.size(), 1);
            QCOMPARE(m_boxes.shown[0].text, refusal);
            QCOMPARE(m_boxes.shown[0].title, QStringLiteral("Timeout Field"));
            QCOMPARE(int(m_boxes.shown[0].style), int(BoxStyle::OkExclamation));
            QCOMPARE(stored(key), std::nullopt);
            QCOMPARE(m_fields.text(field), text);
        } else {
            QVERIFY(m_boxes.shown.isEmpty());
            QCOMPARE(stored(key), text);
        }
    }

    void periodSetsPingPeriod()
    {
        QVERIFY(confirmRefused(Field::Period, QStringLiteral("0")));
        QVERIFY(m_pingPeriods.isEmpty());
        QVERIFY(!confirmRefused(Field::Period, QStringLiteral("0.6")));
        QVERIFY(!confirmRefused(Field::Period, QStringLiteral("2.5")));
        QCOMPARE(m_pingPeriods, (QList<qint32>{1, 2}));
    }

    void refusedResendShowsFifteenBeforeTheMessage()
    {
        QString textWhileBoxOpen;
        m_boxes.onShow = [this, &textWhileBoxOpen] {
            textWhileBoxOpen = m_fields.text(Field::FailResend);
        };
        QVERIFY(confirmRefused(Field::FailResend, QStringLiteral("soon")));
        QCOMPARE(textWhileBoxOpen, QStringLiteral("15"));
        QCOMPARE(m_boxes.shown.size(), 1);
        QCOMPARE(m_boxes.shown[0].text, kGreaterThanZero);
        QCOMPARE(stored(QStringLiteral("FailResend")), std::nullopt);

        // Leaving the field again stores the "15" it now shows.
        bool refuse = false;
        m_confirmation->Confirm(Field::FailResend, refuse);
        QVERIFY(!refuse);
        QCOMPARE(stored(QStringLiteral("FailResend")), QStringLiteral("15"));
    }

    void meterMaximumFollowsRetries()
    {
        QVERIFY(!confirmRefused(Field::FailTries, QStringLiteral("3")));
        QCOMPARE(m_meter.maximum(), 3);
        QVERIFY(confirmRefused(Field::FailTries, QStringLiteral("40000")));
        QCOMPARE(m_meter.maximum(), 3);

        m_fields.setText(Field::FailTries, QStringLiteral("7"));
        QVERIFY(!confirmRefused(Field::FailResend, QStringLiteral("30")));
        QCOMPARE(m_meter.maximum(), 7);
        m_fields.setText(Field::FailTries, QStringLiteral("many"));
        QVERIFY(!confirmRefused(Field::FailResend, QStringLiteral("30")));
        QCOMPARE(m_meter.maximum(), 7);
    }
};

QTEST_GUILESS_MAIN(TestFieldConfirmation)
#include "tst_field_confirmation.moc"
