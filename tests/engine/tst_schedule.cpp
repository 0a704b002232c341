#include "EngineRecorders.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "RecordingLog.h"
#include "Schedule.h"
#include "Settings.h"
#include "TimeOfDay.h"

#include <QLocale>
#include <QTest>

namespace {

const QDate kFirstDay(2026, 3, 2);

struct ScheduleRig
{
    FakeWindowFields fields;
    RecordingLog log;
    RecordingSender sender;
    MemorySettingsStore store;
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeClock clock{QDateTime(kFirstDay, QTime(10, 0))};
    Schedule schedule{fields, log, sender, settings, boxes, clock};

    void setSlot(int slot, const QString &command, const QString &time)
    {
        fields.setText(SchedCmdField(slot), command);
        schedule.SchedCmdChange(slot);
        fields.setText(SchedTimeField(slot), time);
        schedule.SetScheduleTime(slot, time);
    }

    QString stored(const QString &key) const
    {
        return store.values.value(SettingsAppName + u'/' + SettingsSection + u'/' + key,
                                  QStringLiteral("<missing>"));
    }
};

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }

    void firesOncePerDay_data()
    {
        QTest::addColumn<QString>("slotTime");
        QTest::addColumn<int>("tickMs");

        QTest::addRow("midnight") << "12:00:00 AM" << 1000;
        QTest::addRow("noon") << "12:00:00 PM" << 1000;
        QTest::addRow("last 30 seconds of the day") << "23:59:45" << 1000;
        QTest::addRow("last second of the day") << "23:59:59" << 1000;
        QTest::addRow("ticks held up") << "6:30:00 AM" << 7300;
        QTest::addRow("late ticks near midnight") << "23:59:40" << 4900;
    }

    void firesOncePerDay()
    {
        QFETCH(QString, slotTime);
        QFETCH(int, tickMs);

        ScheduleRig rig;
        rig.setSlot(0, QStringLiteral("^m"), slotTime);
        const QTime time = *ParseTimeOfDay(slotTime);
        QList<QDateTime> sendTimes;
        // Days of UTC ticks: local time would make the walk slow, and the schedule reads
        // the clock's date and time of day as they come.
        rig.clock.set(QDateTime(kFirstDay, QTime(0, 0).addMSecs(300), Qt::UTC));
        const QDateTime end(kFirstDay.addDays(3), QTime(0, 0), Qt::UTC);
        while (rig.clock.now() < end) {
            const qsizetype sentBefore = rig.sender.commands.size();
            rig.schedule.CheckSchedule();
            if (rig.sender.commands.size() > sentBefore)
                sendTimes.append(rig.clock.now());
            rig.clock.advanceMs(tickMs);
        }

        QCOMPARE(sendTimes.size(), 3);
        for (int day = 0; day < 3; ++day) {
            const QDateTime slotMoment(kFirstDay.addDays(day), time, Qt::UTC);
            QVERIFY2(sendTimes[day] >= slotMoment && sendTimes[day] <= slotMoment.addSecs(15),
                     qPrintable(sendTimes[day].toString(Qt::ISODateWithMs)));
        }
        QCOMPARE(rig.log.entries.size(), 3);
        const RecordingLog::Entry &entry = rig.log.entries.first();
        QCOMPARE(entry.message, QStringLiteral("Sending scheduled command: ^m"));
        QVERIFY(entry.stamp);
        QVERIFY(entry.spaced);
        QCOMPARE(entry.category, kSystemMessage);
    }

    void slotJustPassedFiresOnce()
    {
        ScheduleRig rig;
        rig.setSlot(1, QStringLiteral("show clock^m"), QStringLiteral("9:59:55"));
        rig.schedule.CheckSchedule();
        QCOMPARE(rig.sender.commands, QStringList(QStringLiteral("show clock^m")));
        QVERIFY(rig.schedule.ScheduleSent(1));

        // Released on the first tick more than 30 seconds after the slot's time.
        for (int second = 1; second <= 25; ++second) {
            rig.clock.advanceMs(1000);
            rig.schedule.CheckSchedule();
        }
        QVERIFY(rig.schedule.ScheduleSent(1));
        rig.clock.advanceMs(1000);
        rig.schedule.CheckSchedule();
        QVERIFY(!rig.schedule.ScheduleSent(1));

        while (rig.clock.now().date() == kFirstDay) {
            rig.clock.advanceMs(1000);
            rig.schedule.CheckSchedule();
        }
        QCOMPARE(rig.sender.commands.size(), 1);
    }

    void slotsWithOneTimeFireInIndexOrder()
    {
        ScheduleRig rig;
        EventSequence sequence;
        Schedule schedule(rig.fields, sequence, sequence, rig.settings, rig.boxes, rig.clock);
        for (const int slot : {2, 0, 3}) {
            rig.fields.setText(SchedCmdField(slot), QStringLiteral("cmd") + QString::number(slot));
            schedule.SetScheduleTime(slot, QStringLiteral("9:59:58"));
        }
        schedule.CheckSchedule();
        QCOMPARE(sequence.events,
                 QStringList({"log Sending scheduled command: cmd0", "send cmd0",
                              "log Sending scheduled command: cmd2", "send cmd2",
                              "log Sending scheduled command: cmd3", "send cmd3"}));
    }

    void emptiedCommandStopsSlot()
    {
        ScheduleRig rig;
        rig.setSlot(0, QStringLiteral("^m"), QStringLiteral("10:00:05"));
        QVERIFY(rig.fields.isEnabled(SchedTimeField(0)));

        rig.fields.setText(SchedCmdField(0), QString());
        rig.schedule.SchedCmdChange(0);
        QVERIFY(!rig.fields.isEnabled(SchedTimeField(0)));
        rig.clock.advanceMs(5000);
        rig.schedule.CheckSchedule();
        QVERIFY(rig.sender.commands.isEmpty());
        QCOMPARE(rig.schedule.ScheduleTime(0), QTime(10, 0, 5));

        rig.fields.setText(SchedCmdField(0), QStringLiteral("^m"));
        rig.schedule.SchedCmdChange(0);
        QVERIFY(rig.fields.isEnabled(SchedTimeField(0)));
        rig.schedule.CheckSchedule();
        QCOMPARE(rig.sender.commands.size(), 1);
    }

    void commandStoredAsTyped()
    {
        ScheduleRig rig;
        rig.fields.setText(SchedCmdField(3), QStringLiteral(" ^[reset^m "));
        rig.schedule.SchedCmdValidate(3);
        QCOMPARE(rig.stored(QStringLiteral("SchedCmd3")), QStringLiteral(" ^[reset^m "));
        rig.fields.setText(SchedCmdField(3), QString());
        rig.schedule.SchedCmdValidate(3);
        QCOMPARE(rig.stored(QStringLiteral("SchedCmd3")), QString());
    }

    void timeFieldValidation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QTime>("time");

        QTest::addRow("24-hour with seconds")
            << "13:05:09" << true << "1:05:09 PM" << QTime(13, 5, 9);
        QTest::addRow("24-hour without seconds") << "13:05" << true << "1:05:00 PM" << QTime(13, 5);
        QTest::addRow("12-hour lower case") << "1:05 pm" << true << "1:05:00 PM" << QTime(13, 5);
        QTest::addRow("midnight") << "12:00:00 AM" << true << "12:00:00 AM" << QTime(0, 0);
        QTest::addRow("blanks around")
            << "  23:59:45 " << true << "11:59:45 PM" << QTime(23, 59, 45);
        QTest::addRow("letters") << "noon" << false << "" << QTime(0, 0);
        QTest::addRow("empty") << "" << false << "" << QTime(0, 0);
        QTest::addRow("with a date") << "3/2/26 1:05:00 PM" << false << "" << QTime(0, 0);
    }

    void timeFieldValidation()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        QFETCH(QTime, time);

        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ScheduleRig rig;
        rig.setSlot(2, QStringLiteral("^m"), QStringLiteral("6:00:00 AM"));
        rig.fields.setText(SchedTimeField(2), typed);
        QCOMPARE(rig.schedule.SchedTimeValidate(2), accepted);

        QCOMPARE(rig.fields.text(SchedTimeField(2)), shown);
        QCOMPARE(rig.stored(QStringLiteral("SchedTime2")), shown);
        QCOMPARE(rig.schedule.ScheduleTime(2), time);
        QCOMPARE(rig.boxes.shown.size(), accepted ? 0 : 1);
        if (!accepted) {
            QCOMPARE(rig.boxes.shown.first().text,
                     QStringLiteral("Enter a valid time as hh:mm:ss am[pm]"));
            QCOMPARE(rig.boxes.shown.first().title, QStringLiteral("Time Entry"));
            QCOMPARE(rig.boxes.shown.first().style, BoxStyle::OkExclamation);
        }
    }

    void startUpKeepsTimeForUnreadableText()
    {
        ScheduleRig rig;
        rig.schedule.SetScheduleTime(0, QStringLiteral("garbage"));
        QCOMPARE(rig.schedule.ScheduleTime(0), QTime(0, 0));
        rig.schedule.SetScheduleTime(0, QStringLiteral("4:15:00 AM"));
        rig.schedule.SetScheduleTime(0, QStringLiteral("25:00"));
        QCOMPARE(rig.schedule.ScheduleTime(0), QTime(4, 15));
    }

    void parsesTimeOfDay_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time");

        const QTime refused;
        QTest::addRow("midnight, 12-hour locale") << "en_US"
                                                  << "12:00:00 AM" << QTime(0, 0);
        QTest::addRow("midnight, 24-hour locale") << "de_DE"
                                                  << "12:00:00 AM" << QTime(0, 0);
        QTest::addRow("noon, 24-hour locale") << "de_DE"
                                              << "12:00:00 PM" << QTime(12, 0);
        QTest::addRow("24-hour, 12-hour locale") << "en_US"
                                                 << "13:05" << QTime(13, 5);
        QTest::addRow("12-hour no seconds") << "C"
                                            << "1:05 pm" << QTime(13, 5);
        QTest::addRow("12-hour no blank") << "C"
                                          << "1:05pm" << QTime(13, 5);
        QTest::addRow("12-hour seconds") << "de_DE"
                                         << "1:05:09 PM" << QTime(13, 5, 9);
        QTest::addRow("last seconds of the day") << "C"
                                                 << "23:59:45" << QTime(23, 59, 45);
        QTest::addRow("blanks around and inside") << "C"
                                                  << " 1:05   PM " << QTime(13, 5);
        QTest::addRow("locale's own separator") << "fi_FI"
                                                << "13.05.09" << QTime(13, 5, 9);
        QTest::addRow("locale's own AM/PM") << "sv_SE"
                                            << "1:05 em" << QTime(13, 5);
        QTest::addRow("locale's own words") << "fr_CA"
                                            << "13 h 05" << QTime(13, 5);
        QTest::addRow("hour 24") << "C"
                                 << "24:00" << refused;
        QTest::addRow("minute 60") << "C"
                                   << "12:60" << refused;
        QTest::addRow("13 PM") << "C"
                               << "13:05 PM" << refused;
        QTest::addRow("hour only") << "C"
                                   << "13" << refused;
        QTest::addRow("date and time") << "C"
                                       << "2026-03-02 13:05" << refused;
        QTest::addRow("time and date") << "en_US"
                                       << "1:05 PM 3/2/26" << refused;
        QTest::addRow("blank") << "C"
                               << "   " << refused;
    }

    void parsesTimeOfDay()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QTime, time);

        QLocale::setDefault(QLocale(locale));
        const std::optional<QTime> parsed = ParseTimeOfDay(text);
        QCOMPARE(parsed.has_value(), time.isValid());
        if (parsed)
            QCOMPARE(*parsed, time);
    }

    void readsBackWhatItShows_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *locale :
             {"C", "en_US", "de_DE", "fi_FI", "fr_CA", "es_ES", "ja_JP", "ko_KR", "ar_EG", "zh_CN"})
            QTest::addRow("%s", locale) << QString::fromLatin1(locale);
    }

    void readsBackWhatItShows()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        for (const QTime time : {QTime(0, 0), QTime(0, 0, 1), QTime(11, 59, 59), QTime(12, 0),
                                 QTime(13, 5, 9), QTime(23, 59, 45)}) {
            const QString text = TimeOfDayText(time);
            QCOMPARE(ParseTimeOfDay(text), std::optional<QTime>(time));
        }
    }
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
