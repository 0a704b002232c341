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
            << Initialised({{QStringLiteral("FailCommand"), QString()}})
            << FieldTexts{{Field::FailCommand, QString()}};
        QTest::addRow("address of one character")
            << Initialised({{QStringLiteral("AddrPri"), QStringLiteral("x")}})
            << FieldTexts{{Field::AddrPri, QStringLiteral("127.0.0.1")}};
        QTest::addRow("address of two characters")
            << Initialised({{QStringLiteral("AddrSec"), QStringLiteral("::")}})
            << FieldTexts{{Field::AddrSec, QStringLiteral("::")}};
        QTest::addRow("empty address") << Initialised({{QStringLiteral("AddrPri"), QString()}})
                                       << FieldTexts{{Field::AddrPri, QStringLiteral("127.0.0.1")}};
        QTest::addRow("time-out of one character")
            << Initialised({{QStringLiteral("TimeoutPri"), QStringLiteral("5")}})
            << FieldTexts{{Field::TimeoutPri, QStringLiteral("5")}};
        QTest::addRow("empty time-out") << Initialised({{QStringLiteral("TimeoutSec"), QString()}})
                                        << FieldTexts{{Field::TimeoutSec, QStringLiteral("2000")}};
        QTest::addRow("log path of one character")
            << Initialised({{QStringLiteral("FailLog"), QStringLiteral("/")}})
            << FieldTexts{{Field::FailLog, QStringLiteral("c:\\log.txt")}};
        QTest::addRow("period of letters")
            << Initialised({{QStringLiteral("Period"), QStringLiteral("abc")}})
            << FieldTexts{{Field::Period, QStringLiteral("abc")}};
        QTest::addRow("period stored empty") << Initialised({{QStringLiteral("Period"), QString()}})
                                             << FieldTexts{{Field::Period, QStringLiteral("60")}};

        const struct
        {
            const char *stored;
            const char *shown;
        } ports[] = {{"10", "10"}, {"2", "2"}, {"3x", "3x"}, {"4", "4"},
                     {"5", "1"},   {"0", "1"}, {"", "1"},    {"40", "1"}};
        for (const auto &port : ports)
            QTest::addRow("port \"%s\"", port.stored)
                << Initialised({{QStringLiteral("FailPort"), QString::fromLatin1(port.stored)}})
                << FieldTexts{{Field::FailPort, QString::fromLatin1(port.shown)}};
    }
    void loadTakesEachKeyByItsRule()
    {
        QFETCH(StoredValues, stored);
        QFETCH(FieldTexts, expected);
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        FakeMessageBoxes boxes;
        Settings settings(store, boxes);
        for (const auto &[key, value] : stored)
            settings.SaveValue(SettingsSection, key, value);
        FakeWindowFields fields;
        SetDesignTexts(fields);

        const LastValuesLoad load = LoadLastValues(settings, fields);

        QVERIFY(!load.firstRun);
        QVERIFY(boxes.shown.isEmpty());
        for (const auto &[field, text] : expected)
            QCOMPARE(fields.text(field), text);
    }

    void firstRunWritesOnlyInit()
    {
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        FakeMessageBoxes boxes;
        Settings settings(store, boxes);
        FakeWindowFields fields;
        SetDesignTexts(fields);

        QVERIFY(LoadLastValues(settings, fields).firstRun);

        QFile file(store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().trimmed(), QByteArray("[LastValues]\nInit=Yes"));
        QCOMPARE(fields.text(Field::FailCommand), QStringLiteral("^m^m"));
        // A second start is no longer a first run and still keeps the defaults.
        QVERIFY(!LoadLastValues(settings, fields).firstRun);
        QCOMPARE(fields.text(Field::FailCommand), QStringLiteral("^m^m"));
    }

    void scheduleTimeFollowsItsCommand_data()
    {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("timeEnabled");

        QTest::addRow("time ignored while the command is empty")
            << Initialised({{QStringLiteral("SchedTime1"), QStringLiteral("3:00:00 AM")}})
            << QString() << QStringLiteral("12:00:00 AM") << false;
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
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        FakeMessageBoxes boxes;
        Settings settings(store, boxes);
        for (const auto &[key, value] : stored)
            settings.SaveValue(SettingsSection, key, value);
        FakeWindowFields fields;
        SetDesignTexts(fields);

        LoadLastValues(settings, fields);

        QCOMPARE(fields.text(SchedCmdField(1)), command);
        QCOMPARE(fields.text(SchedTimeField(1)), time);
        QCOMPARE(fields.isEnabled(SchedTimeField(1)), timeEnabled);
        // The neighbouring slots were never stored and stay as designed.
        QVERIFY(!fields.isEnabled(SchedTimeField(0)));
        QVERIFY(!fields.isEnabled(SchedTimeField(2)));
    }
};

QTEST_GUILESS_MAIN(TestLastValues)
#include "tst_last_values.moc"
