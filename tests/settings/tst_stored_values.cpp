// The start-up report on the stored record: what the watch does not run with, each
// port case, and keys nothing reads, as the watch and --check both tell them.

#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "FieldConfirmation.h"
#include "IniSettingsStore.h"
#include "IniValue.h"
#include "LastValues.h"
#include "PortDevice.h"
#include "RecordingLog.h"
#include "Settings.h"
#include "StoredValuesCheck.h"
#include "UnknownKeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDesignLog = QStringLiteral("/var/log/corvane-design.txt");
const QString kNoOtherPort = QStringLiteral(" Corvane opens no other port in its place.");
const QString kPortRange = QStringLiteral("A port number from 1 to 32767 is required.");

bool Present(const QString &)
{
    return true;
}

bool Absent(const QString &)
{
    return false;
}

struct StoreRig
{
    explicit StoreRig(const QByteArray &content)
    {
        QFile file(store.filePath(SettingsAppName));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
};

} // namespace

class TestStoredValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpReportsWhatItDoesNotRunWith_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("port");

        QTest::addRow("fresh folder") << QByteArray() << QStringList{} << "1";
        QTest::addRow("address of one character")
            << QByteArray("[LastValues]\nAddrPri=1\n")
            << QStringList{"AddrPri=1: A value of fewer than 2 characters is not read. Corvane "
                           "uses 127.0.0.1."}
            << "1";
        QTest::addRow("log of one character")
            << QByteArray("[LastValues]\nFailLog=x\n")
            << QStringList{"FailLog=x: A path of fewer than 2 characters is not read. Corvane "
                           "uses " +
                           kDesignLog + "."}
            << "1";
        QTest::addRow("empty retries")
            << QByteArray("[LastValues]\nFailTries=\n")
            << QStringList{"FailTries=: An empty value is not read. Corvane uses 5."} << "1";
        // Honoured while the device is away: an adapter may be plugged in later.
        QTest::addRow("port mapped, device away")
            << QByteArray("[LastValues]\nFailPort=5\n[Ports]\n5=/nonexistent/ttyUSB9\n")
            << QStringList{} << "5";
        QTest::addRow("port unmapped without device")
            << QByteArray("[LastValues]\nFailPort=999\n")
            << QStringList{"FailPort=999: No device is known for port 999: [Ports] names none, "
                           "and /dev/ttyS998 is not there." +
                           kNoOtherPort}
            << "999";
        QTest::addRow("port at the highest, mapped")
            << QByteArray("[LastValues]\nFailPort=32767\n[Ports]\n32767=/dev/null\n")
            << QStringList{} << "32767";
        for (const char *port : {"32768", ""}) {
            QTest::addRow("port \"%s\"", port)
                << QByteArray("[LastValues]\nFailPort=") + port + "\n"
                << QStringList{QStringLiteral("FailPort=%1: ").arg(QLatin1StringView(port)) +
                               kPortRange + kNoOtherPort}
                << port;
        }
        QTest::addRow("key nothing reads, near one")
            << QByteArray("[LastValues]\nFailRsend=5\n")
            << QStringList{"FailRsend=5: Nothing reads this key; did you mean FailResend?"} << "1";
        QTest::addRow("key spelt in other case")
            << QByteArray("[LastValues]\nfailtries=8\n")
            << QStringList{"failtries=8: Nothing reads this key; did you mean FailTries?"} << "1";
        QTest::addRow("key near none") << QByteArray("[LastValues]\nColour=red\n")
                                       << QStringList{"Colour=red: Nothing reads this key."} << "1";
        QTest::addRow("in the order read, unknown keys last")
            << QByteArray("[LastValues]\nFailRsend=5\nFailPort=0\nPeriod=0\nAddrSec=\n")
            << QStringList{"AddrSec=: A value of fewer than 2 characters is not read. Corvane "
                           "uses 127.0.0.1.",
                           "Period=0: A numeric entry is required. Corvane uses 60.",
                           "FailPort=0: " + kPortRange + kNoOtherPort,
                           "FailRsend=5: Nothing reads this key; did you mean FailResend?"}
            << "0";
    }
    void startUpReportsWhatItDoesNotRunWith()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QFETCH(QString, port);
        StoreRig rig(file);
        FakeWindowFields fields;
        for (const Field field : LastValuesFields())
            fields.setText(field, FieldDefault(field));
        fields.setText(Field::FailLog, kDesignLog);

        const LastValuesLoad load = LoadLastValues(rig.settings, fields);
        QCOMPARE(TakeFallbacksForStoredValues(rig.settings, fields, load.notTaken), lines);
        // The port chosen stays chosen, refused or not.
        QCOMPARE(fields.text(Field::FailPort), port);
    }

    // Whatever bytes a value or a key holds, each item is one line of the report, and
    // the report one entry of the log: nothing from the file can forge an entry or
    // reach the terminal as a control sequence.
    void reportKeepsEachItemOnOneLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("line");
        const auto period = [](const QString &text) {
            return "[LastValues]\nPeriod=" + IniValueNotation(text).toUtf8() + "\n";
        };
        const QString numeric = QStringLiteral(": A numeric entry is required. Corvane uses 60.");
        QTest::addRow("value forging an entry with CR LF and ESC")
            << period(QStringLiteral("5\r\n\r\n1 Jan 2026 00:00:00  [System Message]\r\nFAKE "
                                     "ENTRY \x1b[31mred\x1b[0m"))
            << "Period=5^M^J^M^J1 Jan 2026 00:00:00  [System Message]^M^JFAKE ENTRY "
               "^[[31mred^[[0m" +
                   numeric;
        QTest::addRow("value with a lone LF")
            << period(QStringLiteral("5\nx")) << "Period=5^Jx" + numeric;
        QTest::addRow("value with NUL")
            << period(QString::fromUtf16(u"5\u0000x", 3)) << "Period=5^@x" + numeric;
        QTest::addRow("value with a C1 control")
            << period(QStringLiteral("5\u009b2J")) << "Period=5?2J" + numeric;
        QTest::addRow("key with ESC and BEL")
            << QByteArray("[LastValues]\nBogus\x1b]0;title\x07Key=1\n")
            << QStringLiteral("Bogus^[]0;title^GKey=1: Nothing reads this key.");
        QTest::addRow("unknown key's value with CR LF")
            << QByteArray("[LastValues]\nColour=\"red\\r\\nFAKE\"\n")
            << QStringLiteral("Colour=red^M^JFAKE: Nothing reads this key.");
    }
    void reportKeepsEachItemOnOneLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, line);
        StoreRig rig(file);
        FakeWindowFields fields;
        for (const Field field : LastValuesFields())
            fields.setText(field, FieldDefault(field));
        RecordingLog log;
        const LastValuesLoad load = LoadLastValues(rig.settings, fields);
        TakeFallbacksForRefusedStoredValues(rig.settings, fields, load.notTaken, log, rig.boxes);

        QCOMPARE(log.entries.size(), 1);
        const QStringList lines = log.entries[0].message.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], line);
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].text, log.entries[0].message);
    }

    void portIsHonouredOrRefused_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("ports");
        QTest::addColumn<bool>("devicePresent");
        QTest::addColumn<QString>("refusal");

        const QString noDevice = QStringLiteral(
            "No device is known for port 5: [Ports] names none, and /dev/ttyS4 is not there.");
        QTest::addRow("mapped, device away") << "5" << QByteArray("5=/dev/ttyUSB0") << false << "";
        QTest::addRow("unmapped, device there") << "5" << QByteArray() << true << "";
        QTest::addRow("unmapped, device away") << "5" << QByteArray() << false << noDevice;
        QTest::addRow("mapped to blanks") << "5" << QByteArray("5=  ") << false << noDevice;
        QTest::addRow("another port mapped")
            << "5" << QByteArray("1=/dev/null") << false << noDevice;
        QTest::addRow("1, the lowest") << "1" << QByteArray() << true << "";
        QTest::addRow("32767, the highest") << "32767" << QByteArray() << true << "";
        for (const char *port : {"0", "-1", "32768", "3x", ""})
            QTest::addRow("\"%s\"", port) << port << QByteArray() << true << kPortRange;
    }
    void portIsHonouredOrRefused()
    {
        QFETCH(QString, port);
        QFETCH(QByteArray, ports);
        QFETCH(bool, devicePresent);
        QFETCH(QString, refusal);
        StoreRig rig("[Ports]\n" + ports + "\n");
        QCOMPARE(PortRefusal(rig.store, port, devicePresent ? Present : Absent).value_or(QString()),
                 refusal);
    }

    // A map that cannot be read names no device, not the built-in one in its place.
    void unreadableMapRefusesEveryPort()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(SettingsAppName + QStringLiteral(".ini")));
        IniSettingsStore store(folder.path());
        QCOMPARE(PortRefusal(store, QStringLiteral("1"), Present),
                 QStringLiteral("No device is known for port 1: the settings file cannot be "
                                "read."));
    }

    void nearestNameIsASlipOfTheKeyboard_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("nearest");
        QTest::addRow("one letter left out") << "FailRsend"
                                             << "FailResend";
        QTest::addRow("other case") << "failresend"
                                    << "FailResend";
        QTest::addRow("two letters swapped") << "FialPort"
                                             << "FailPort";
        QTest::addRow("three edits") << "FlPrtX"
                                     << "";
        QTest::addRow("two edits in four letters") << "Inxx"
                                                   << "";
        QTest::addRow("nothing near") << "Colour"
                                      << "";
        QTest::addRow("empty") << ""
                               << "";
    }
    void nearestNameIsASlipOfTheKeyboard()
    {
        QFETCH(QString, name);
        QFETCH(QString, nearest);
        QCOMPARE(NearestName(name, LastValuesKeys()).value_or(QString()), nearest);
    }
};

QTEST_GUILESS_MAIN(TestStoredValues)
#include "tst_stored_values.moc"
