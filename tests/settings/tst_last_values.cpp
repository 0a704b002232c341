#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "IniSettingsStore.h"
#include "LastValues.h"
#include "Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using StoredValues = QList<QPair<QString, QString>>;
using FieldTexts = QList<QPair<Field, QString>>;

Q_DECLARE_METATYPE(Field)

namespace {

// The texts the window is designed with.
void SetDesignTexts(WindowFields &fields)
{
    fields.setText(Field::AddrPri, QStringLiteral("127.0.0.1"));
    fields.setText(Field::AddrSec, QStringLiteral("127.0.0.1"));
    fields.setText(Field::Period, QStringLiteral("60"));
    fields.setText(Field::TimeoutPri, QStringLiteral("2000"));
    fields.setText(Field::TimeoutSec, QStringLiteral("2000"));
    fields.setText(Field::FailCommand, QStringLiteral("^m^m"));
    fields.setText(Field::FailTries, QStringLiteral("5"));
    fields.setText(Field::FailResend, QStringLiteral("30"));
    fields.setText(Field::FailLog, QStringLiteral("c:\\log.txt"));
    fields.setText(Field::FailPort, QStringLiteral("1"));
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        fields.setText(SchedCmdField(slot), QString());
        fields.setText(SchedTimeField(slot), QStringLiteral("12:00:00 AM"));
        fields.setEnabled(SchedTimeField(slot), false);
    }
}

StoredValues Initialised(StoredValues values)
{
    values.prepend({QStringLiteral("Init"), QStringLiteral("Yes")});
    return values;
}

// An initialised store with one key.
StoredValues Stored(const char *key, const QString &value)
{
    return Initialised({{QString::fromLatin1(key), value}});
}

FieldTexts Shows(Field field, const QString &text)
{
    return {{field, text}};
}

// A store holding the given values and a window showing its design texts.
struct LoadRig
{
    explicit LoadRig(const StoredValues &values = {})
    {
        for (const auto &[key, value] : values)
            settings.SaveValue(SettingsSection, key, value);
        SetDesignTexts(fields);
    }
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeWindowFields fields;
};

} // namespace

class TestLastValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadTakesEachKeyByItsRule_data()
    {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<FieldTexts>("expected");

        QTest::addRow("nothing confirmed yet keeps every default")
            << Initialised({})
            << FieldTexts{{Field::FailCommand, QStringLiteral("^m^m")},
                          {Field::Period, QStringLiteral("60")},
                          {Field::AddrPri, QStringLiteral("127.0.0.1")}};
        QTest::addRow("any non-empty Init")
            << StoredValues{{QStringLiteral("Init"), QStringLiteral("no")},
                            {QStringLiteral("FailTries"), QStringLiteral("8")}}
            << FieldTexts{{Field::FailTries, QStringLiteral("8")}};
        QTest::addRow("fail command stored empty")
            << Stored("FailCommand", QString()) << Shows(Field::FailCommand, QString());
        QTest::addRow("address of one character")
            << Stored("AddrPri", "x") << Shows(Field::AddrPri, "127.0.0.1");
        QTest::addRow("address of two characters")
            << Stored("AddrSec", "::") << Shows(Field::AddrSec, "::");
        QTest::addRow("time-out of one character")
            << Stored("TimeoutPri", "5") << Shows(Field::TimeoutPri, "5");
        QTest::addRow("empty time-out")
            << Stored("TimeoutSec", QString()) << Shows(Field::TimeoutSec, "2000");
        QTest::addRow("log path of one character")
            << Stored("FailLog", "/") << Shows(Field::FailLog, "c:\\log.txt");
        QTest::addRow("period of letters")
            << Stored("Period", "abc") << Shows(Field::Period, "abc");
        QTest::addRow("period stored empty")
            << Stored("Period", QString()) << Shows(Field::Period, "60");

        // The port chosen is the port used, or none: port 1 may be another device.
        for (const char *port : {"10", "4", "5", "0", "40", "-1", "3x", ""})
            QTest::addRow("port \"%s\"", port)
                << Stored("FailPort", port) << Shows(Field::FailPort, port);
    }
    void loadTakesEachKeyByItsRule()
    {
        QFETCH(StoredValues, stored);
        QFETCH(FieldTexts, expected);
        LoadRig rig(stored);
        QVERIFY(!LoadLastValues(rig.settings, rig.fields).firstRun);
        QVERIFY(rig.boxes.shown.isEmpty());
        for (const auto &[field, text] : expected)
            QCOMPARE(rig.fields.text(field), text);
    }

    // What the load leaves at the default is for the start-up report to name.
    void loadNamesWhatItDoesNotTake_data()
    {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<QList<Field>>("notTaken");

        QTest::addRow("address of one character")
            << Stored("AddrPri", "1") << QList<Field>{Field::AddrPri};
        QTest::addRow("address of two characters") << Stored("AddrSec", "::") << QList<Field>{};
        QTest::addRow("empty time-out")
            << Stored("TimeoutSec", QString()) << QList<Field>{Field::TimeoutSec};
        QTest::addRow("period stored empty")
            << Stored("Period", QString()) << QList<Field>{Field::Period};
        QTest::addRow("log of one character")
            << Stored("FailLog", "x") << QList<Field>{Field::FailLog};
        QTest::addRow("port 5") << Stored("FailPort", "5") << QList<Field>{};
        QTest::addRow("in the order read")
            << Initialised({{QStringLiteral("FailLog"), QStringLiteral("x")},
                            {QStringLiteral("AddrSec"), QString()},
                            {QStringLiteral("FailTries"), QString()}})
            << QList<Field>{Field::AddrSec, Field::FailTries, Field::FailLog};
        QTest::addRow("first run") << StoredValues{} << QList<Field>{};
    }
    void loadNamesWhatItDoesNotTake()
    {
        QFETCH(StoredValues, stored);
        QFETCH(QList<Field>, notTaken);
        LoadRig rig(stored);
        QCOMPARE(LoadLastValues(rig.settings, rig.fields).notTaken, notTaken);
    }

    void firstRunWritesOnlyInit()
    {
        LoadRig rig;
        QVERIFY(LoadLastValues(rig.settings, rig.fields).firstRun);

        QFile file(rig.store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().trimmed(), QByteArray("[LastValues]\nInit=Yes"));
        // A second start is no longer a first run and still keeps the defaults.
        QVERIFY(!LoadLastValues(rig.settings, rig.fields).firstRun);
        QCOMPARE(rig.fields.text(Field::FailCommand), QStringLiteral("^m^m"));
    }

    // Only a record without any key is new; a hand-written one without "Init" is read.
    void recordWithoutInitIsRead_data()
    {
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addColumn<bool>("firstRun");
        QTest::addColumn<QString>("failTries");

        QTest::addRow("keys without Init")
            << QByteArray("# headless lab box\n[LastValues]\nFailTries=8\n") << false << "8";
        QTest::addRow("empty Init")
            << QByteArray("[LastValues]\nInit=\nFailTries=8\n") << false << "8";
        QTest::addRow("keys only in other sections")
            << QByteArray("[Ports]\n1=/dev/ttyUSB0\n") << true << "5";
        QTest::addRow("section without keys")
            << QByteArray("[LastValues]\n; to do\nnot a key\n") << true << "5";
    }
    void recordWithoutInitIsRead()
    {
        QFETCH(QByteArray, fileContent);
        QFETCH(bool, firstRun);
        QFETCH(QString, failTries);
        LoadRig rig;
        QFile file(rig.store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(fileContent), fileContent.size());
        file.close();

        QCOMPARE(LoadLastValues(rig.settings, rig.fields).firstRun, firstRun);
        QCOMPARE(rig.fields.text(Field::FailTries), failTries);
        QCOMPARE(rig.settings.GetValue(SettingsSection, QStringLiteral("Init")),
                 QStringLiteral("Yes"));
        QVERIFY(rig.boxes.shown.isEmpty());
    }

    void scheduleTimeFollowsItsCommand_data()
    {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("timeEnabled");

        QTest::addRow("time ignored after an emptied command")
            << Initialised({{QStringLiteral("SchedCmd1"), QString()},
                            {QStringLiteral("SchedTime1"), QStringLiteral("3:00:00 AM")}})
            << QString() << QStringLiteral("12:00:00 AM") << false;
        QTest::addRow("command and time")
            << Initialised({{QStringLiteral("SchedCmd1"), QStringLiteral("reload^m")},
                            {QStringLiteral("SchedTime1"), QStringLiteral("3:00:00 AM")}})
            << QStringLiteral("reload^m") << QStringLiteral("3:00:00 AM") << true;
        QTest::addRow("command without a stored time")
            << Initialised({{QStringLiteral("SchedCmd1"), QStringLiteral("x")}})
            << QStringLiteral("x") << QStringLiteral("12:00:00 AM") << true;
        QTest::addRow("command with a time stored empty")
            << Initialised({{QStringLiteral("SchedCmd1"), QStringLiteral("x")},
                            {QStringLiteral("SchedTime1"), QString()}})
            << QStringLiteral("x") << QString() << true;
    }
    void scheduleTimeFollowsItsCommand()
    {
        QFETCH(StoredValues, stored);
        QFETCH(QString, command);
        QFETCH(QString, time);
        QFETCH(bool, timeEnabled);
        LoadRig rig(stored);
        LoadLastValues(rig.settings, rig.fields);
        QCOMPARE(rig.fields.text(SchedCmdField(1)), command);
        QCOMPARE(rig.fields.text(SchedTimeField(1)), time);
        QCOMPARE(rig.fields.isEnabled(SchedTimeField(1)), timeEnabled);
        // The neighbouring slots were never stored and stay as designed.
        QVERIFY(!rig.fields.isEnabled(SchedTimeField(0)));
        QVERIFY(!rig.fields.isEnabled(SchedTimeField(2)));
    }
};

QTEST_GUILESS_MAIN(TestLastValues)
#include "tst_last_values.moc"
