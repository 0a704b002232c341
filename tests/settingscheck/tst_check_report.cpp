// corvane --check's report on settings of the test's own: the record read by the
// watch's own start-up, the settings file's type, the port, the options and the
// metrics file. Every other item is usable, so the exit status is the row's alone.

#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "FieldConfirmation.h"
#include "IniSettingsStore.h"
#include "LastValues.h"
#include "OptionTable.h"
#include "Options.h"
#include "RecordingLog.h"
#include "ScriptedEcho.h"
#include "Settings.h"
#include "SettingsCheck.h"
#include "StoredValuesCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <sys/stat.h>

#include <algorithm>

namespace {

// The report on the settings in folder, with the log and the history beside them.
struct Checked
{
    QString report;
    int status = -1;
};
Checked Check(const QString &folder, bool socketsAllowed = true, bool service = false)
{
    IniSettingsStore store(folder + QStringLiteral("/config"));
    ScriptedEcho echo;
    echo.socketsAllowed = socketsAllowed;
    Checked checked;
    QTextStream out(&checked.report);
    checked.status = CheckSettings({store, store.filePath(SettingsAppName), echo,
                                    folder + QStringLiteral("/log.txt"),
                                    folder + QStringLiteral("/history.sqlite"), service},
                                   out);
    out.flush();
    return checked;
}

QString SettingsPath(const QString &folder)
{
    return folder + QStringLiteral("/config/Vestrel.ini");
}

// What the watch's start-up tells of the stored record and options in folder: its log
// entries (each report's lines) and its boxes.
struct StartUpReport
{
    QStringList lines;
    FakeMessageBoxes boxes;
};
void ReportAtStartUp(const QString &folder, StartUpReport &report)
{
    IniSettingsStore store(folder + QStringLiteral("/config"));
    Settings settings(store, report.boxes);
    FakeWindowFields fields;
    for (const Field field : LastValuesFields())
        fields.setText(field, FieldDefault(field));
    RecordingLog log;
    const LastValuesLoad load = LoadLastValues(settings, fields);
    TakeFallbacksForRefusedStoredValues(settings, fields, load.notTaken, log, report.boxes);
    LoadOptions(settings, log, report.boxes);
    for (const RecordingLog::Entry &entry : log.entries)
        report.lines += entry.message.split(QStringLiteral("\r\n")).mid(1);
}

} // namespace

class TestCheckReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The system service's unit gives it CAP_NET_RAW, which the user who asks for the
    // check may lack.
    void echoPermission_data()
    {
        QTest::addColumn<bool>("socketsAllowed");
        QTest::addColumn<bool>("service");
        QTest::addColumn<QString>("line");
        const QString refused = QStringLiteral("Echo permission: none: group ");
        QTest::addRow("allowed") << true << false << QStringLiteral("Echo permission: ok");
        QTest::addRow("refused") << false << false << refused;
        QTest::addRow("refused to the user, the service's")
            << false << true << QStringLiteral("Echo permission: ok (the service has CAP_NET_RAW)");
        QTest::addRow("allowed, the service's")
            << true << true << QStringLiteral("Echo permission: ok");
    }

    void echoPermission()
    {
        QFETCH(bool, socketsAllowed);
        QFETCH(bool, service);
        QFETCH(QString, line);
        QTemporaryDir folder;
        const Checked checked = Check(folder.path(), socketsAllowed, service);
        const QStringList lines = checked.report.split(u'\n');
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&line](const QString &each) { return each.startsWith(line); }),
                 qPrintable(checked.report));
    }

    // %1 in options and line stands for the test's folder.
    // %1 in file and lines stands for the test's folder. Port 1 is a device that opens.
    void readsAsTheWatchStarts_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("exitCode");

        const QByteArray port1 = "[Ports]\n1=/dev/null\n";
        const QString primary = QStringLiteral("Primary address \"127.0.0.1\": ok (IPv4)");
        QTest::addRow("fresh folder")
            << port1
            << QStringList{primary, "Secondary address \"127.0.0.1\": ok (IPv4)",
                           "Stored values: ok", "Port 1: ok (/dev/null)", "Log %1/log.txt: ok"}
            << 0;
        QTest::addRow("address of one character")
            << "[LastValues]\nAddrPri=1\n" + port1
            << QStringList{"AddrPri=1: A value of fewer than 2 characters is not read. Corvane "
                           "uses 127.0.0.1.",
                           primary}
            << 1;
        QTest::addRow("log of one character")
            << "[LastValues]\nFailLog=x\n" + port1
            << QStringList{"FailLog=x: A path of fewer than 2 characters is not read. Corvane "
                           "uses %1/log.txt.",
                           "Log %1/log.txt: ok"}
            << 1;
        QTest::addRow("refused retries")
            << "[LastValues]\nFailTries=40000\n" + port1
            << QStringList{"FailTries=40000: A numeric entry from 1 to 32767 is required. "
                           "Corvane uses 5."}
            << 1;
        QTest::addRow("port mapped")
            << QByteArray("[LastValues]\nFailPort=5\n[Ports]\n5=/dev/null\n")
            << QStringList{"Stored values: ok", "Port 5: ok (/dev/null)"} << 0;
        const QString noDevice = QStringLiteral(
            "No device is known for port 999: [Ports] names none, and /dev/ttyS998 is not there.");
        QTest::addRow("port unmapped without device")
            << "[LastValues]\nFailPort=999\n" + port1
            << QStringList{"FailPort=999: " + noDevice +
                               " Corvane opens no other port in its place.",
                           "Port 999: " + noDevice}
            << 1;
        const QString range = QStringLiteral("A port number from 1 to 32767 is required.");
        QTest::addRow("port 0") << "[LastValues]\nFailPort=0\n" + port1
                                << QStringList{"FailPort=0: " + range +
                                                   " Corvane opens no other port in its place.",
                                               "Port 0: " + range}
                                << 1;
        QTest::addRow("key nothing reads")
            << "[LastValues]\nFailRsend=5\n" + port1
            << QStringList{"FailRsend=5: Nothing reads this key; did you mean FailResend?"} << 1;
        QTest::addRow("option nothing reads")
            << port1 + "[Options]\nNotfy=0\n"
            << QStringList{"[Options] Notfy=0: Nothing reads this key; did you mean Notify?"} << 1;
        // One line each, with every control character in caret notation.
        QTest::addRow("value with line ends and escapes")
            << "[LastValues]\nPeriod=\"5\\r\\n\\r\\n1 Jan 2026 00:00:00  [System Message]\\r\\n"
               "FAKE \\x1b[31mred\\x1b[0m\"\n" +
                   port1
            << QStringList{"Period=5^M^J^M^J1 Jan 2026 00:00:00  [System Message]^M^JFAKE "
                           "^[[31mred^[[0m: A numeric entry is required. Corvane uses 60."}
            << 1;
        QTest::addRow("key with ESC and BEL")
            << port1 + "[Options]\nBogus\x1b]0;title\x07Key=1\n"
            << QStringList{"[Options] Bogus^[]0;title^GKey=1: Nothing reads this key."} << 1;
        QTest::addRow("option with ESC, CR LF and a C1 control")
            << port1 + "[Options]\nGraceSeconds=\"\\x1b[2J\\r\\nx\xc2\x9b"
                       "\"\n"
            << QStringList{"[Options] GraceSeconds=^[[2J^M^Jx?: A whole number of seconds from 0 "
                           "to 86400 is required. Corvane uses 0."}
            << 1;
    }
    void readsAsTheWatchStarts()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("config"))));
        QFile settings(SettingsPath(folder.path()));
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(file) == file.size());
        settings.close();

        const Checked checked = Check(folder.path());
        const QStringList reported = checked.report.split(u'\n');
        for (QString line : lines)
            QVERIFY2(reported.contains(line.replace(QStringLiteral("%1"), folder.path())),
                     qPrintable(line + QStringLiteral("\n---\n") + checked.report));
        QCOMPARE(checked.status, exitCode);
        // Start-up writes "Init" on its way; the check writes nothing.
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), file);
    }

    // Nothing is read from these, so the watch would run on defaults the user never chose.
    // A FIFO would hold a plain open until a writer came.
    void settingsFileThatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addRow("FIFO") << "fifo"
                              << "The settings file %1 is not a regular file.";
        QTest::addRow("folder") << "folder"
                                << "The settings file %1 is not a regular file.";
        QTest::addRow("link loop")
            << "loop"
            << "The settings file %1 could not be read: Too many levels of symbolic links.";
        QTest::addRow("missing") << "missing"
                                 << "";
    }
    void settingsFileThatIsNoFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("config"))));
        const QString path = SettingsPath(folder.path());
        if (kind == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (kind == QStringLiteral("loop"))
            QVERIFY(QFile::link(path, path));

        const Checked checked = Check(folder.path());
        const QString line =
            reason.isEmpty()
                ? QStringLiteral("Settings file %1: ok (none yet: every value is its default)")
                      .arg(path)
                : reason.arg(path) + QStringLiteral(" Corvane reads nothing from it, and runs "
                                                    "with every default.");
        QVERIFY2(checked.report.split(u'\n').contains(line), qPrintable(checked.report));
        // The watch says the same at start-up, and writes nothing into the file.
        StartUpReport startUp;
        ReportAtStartUp(folder.path(), startUp);
        QCOMPARE(startUp.lines, reason.isEmpty() ? QStringList() : QStringList{line});
        QCOMPARE(startUp.boxes.shown.size(), reason.isEmpty() ? 0 : 1);
        for (const FakeMessageBoxes::Shown &box : startUp.boxes.shown)
            QCOMPARE(box.title, QStringLiteral("Settings"));
        // The addresses are still those the watch would ping.
        QVERIFY2(
            checked.report.contains(QStringLiteral("Primary address \"127.0.0.1\": ok (IPv4)")),
            qPrintable(checked.report));
        if (!reason.isEmpty())
            QCOMPARE(checked.status, 1);
    }

    void reportsEachOption_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("exitCode");

        QTest::addRow("metrics file in a folder that is there")
            << "MetricsFile=%1/corvane.prom"
            << "Metrics file %1/corvane.prom: ok" << 0;
        // The watch makes no folder: a new file is written beside the old one and renamed.
        QTest::addRow("metrics file in a missing folder")
            << "MetricsFile=%1/missing/corvane.prom"
            << "Metrics file %1/missing/corvane.prom: %1/missing/corvane.prom cannot be made: "
               "the folder %1/missing does not exist"
            << 1;
        QTest::addRow("metrics file through a link into a missing folder")
            << "MetricsFile=%1/link.prom"
            << "Metrics file %1/link.prom: %1/link.prom cannot be made: the folder %1/missing "
               "does not exist"
            << 1;
        QTest::addRow("metrics file that the option refuses is not looked at")
            << "MetricsFile=corvane.prom"
            << "[Options] MetricsFile=corvane.prom: An absolute path is required, such as "
               "/var/lib/prometheus/node-exporter/corvane.prom. Corvane writes no metrics file."
            << 1;
        QTest::addRow("echoes per address at none")
            << "EchoesPerAddress=0"
            << "[Options] EchoesPerAddress=0: A whole number of echoes from 1 to 10 is required. "
               "Corvane uses 1."
            << 1;
        QTest::addRow("echoes per address at its highest")
            << "EchoesPerAddress=10"
            << "[Options] EchoesPerAddress=10: ok" << 0;
        QTest::addRow("key not stored") << ""
                                        << "[Options] EchoesPerAddress=1: ok (default)" << 0;
        // The way echoes are pinned to is tried as the watch binds its sockets.
        const QString uncounted = QStringLiteral(
            "a cycle that no address answers is not counted, and no fail command is sent.");
        QTest::addRow("interface this machine lacks")
            << "Interface=cvn-absent0"
            << "[Options] Interface=cvn-absent0: this machine has no interface of that name "
               "now. No echo is sent until it can be; until then the watch is blind: " +
                   uncounted
            << 1;
        QTest::addRow("interface this machine has") << "Interface=lo"
                                                    << "[Options] Interface=lo: ok" << 0;
        QTest::addRow("source address this machine lacks")
            << "SourceAddress=203.0.113.254"
            << "[Options] SourceAddress=203.0.113.254: this machine has no such address now. No "
               "echo to an IPv4 address is sent until it can be; until then such an address "
               "tells nothing: " +
                   uncounted
            << 1;
        // The ICMP datagram socket refuses it, a raw one would not: both are refused.
        QTest::addRow("source address of a group")
            << "SourceAddress=224.0.0.1"
            << "[Options] SourceAddress=224.0.0.1: no echo is sent from a multicast or "
               "broadcast address. No echo to an IPv4 address is sent until it can be; until "
               "then such an address tells nothing: " +
                   uncounted
            << 1;
        QTest::addRow("source address this machine has, interface it lacks")
            << "Interface=cvn-absent0\nSourceAddress=127.0.0.1"
            << "[Options] SourceAddress=127.0.0.1: ok" << 1;
    }
    void reportsEachOption()
    {
        QFETCH(QString, options);
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QTemporaryDir folder;
        const QString path = folder.path();
        QVERIFY(QFile::link(path + QStringLiteral("/missing/target.prom"),
                            path + QStringLiteral("/link.prom")));
        IniSettingsStore store(path + QStringLiteral("/config"));
        const QString ini = QStringLiteral("[LastValues]\nInit=Yes\nAddrPri=127.0.0.1\n"
                                           "AddrSec=::1\nFailPort=1\nFailLog=%1/log.txt\n\n"
                                           "[Ports]\n1=/dev/null\n\n[Options]\n%2\n")
                                .arg(path, QString(options).replace(QStringLiteral("%1"), path));
        QVERIFY(QDir().mkpath(QFileInfo(store.filePath(SettingsAppName)).path()));
        QFile file(store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini.toUtf8()) > 0);
        file.close();
        ScriptedEcho echo;

        QString report;
        QTextStream out(&report);
        const int status = CheckSettings({store, store.filePath(SettingsAppName), echo,
                                          path + QStringLiteral("/log.txt"),
                                          path + QStringLiteral("/history.sqlite")},
                                         out);
        out.flush();

        QVERIFY2(report.split(u'\n').contains(line.replace(QStringLiteral("%1"), path)),
                 qPrintable(report));
        QCOMPARE(status, exitCode);
        QVERIFY(!QFile::exists(path + QStringLiteral("/corvane.prom")));
    }

    // A refused option reads in --check as start-up tells it, with what runs in its
    // place: every row, at a value it refuses.
    void refusedOptionReadsAsStartUp_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        for (const OptionRow &row : OptionRows()) {
            QStringList candidates;
            std::visit(
                [&](auto member) {
                    using Member = decltype(member);
                    if constexpr (std::is_same_v<Member, bool Options::*>)
                        candidates << QStringLiteral("2");
                    else if constexpr (std::is_same_v<Member, QString Options::*>)
                        candidates << QStringLiteral("(") << QStringLiteral("relative.prom")
                                   << QStringLiteral("\"unclosed");
                    else
                        candidates << QString::number(row.highest + 1)
                                   << QString::number(row.lowest - 1);
                },
                row.member);
            for (const QString &text : candidates) {
                if (OptionRefusal(row.key, text)) {
                    QTest::addRow("%s=%s", row.name, qPrintable(text)) << row.name << text;
                    break;
                }
            }
        }
    }
    void refusedOptionReadsAsStartUp()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("config"))));
        QFile settings(SettingsPath(folder.path()));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(
            QStringLiteral("[Ports]\n1=/dev/null\n[Options]\n%1=%2\n").arg(key, text).toUtf8());
        settings.close();

        StartUpReport startUp;
        ReportAtStartUp(folder.path(), startUp);
        QCOMPARE(startUp.lines.size(), 1);
        QVERIFY2(startUp.lines[0].startsWith(key + u'=' + text + QStringLiteral(": ")),
                 qPrintable(startUp.lines[0]));
        const Checked checked = Check(folder.path());
        QVERIFY2(
            checked.report.split(u'\n').contains(QStringLiteral("[Options] ") + startUp.lines[0]),
            qPrintable(startUp.lines[0] + QStringLiteral("\n---\n") + checked.report));
        QCOMPARE(checked.status, 1);
    }
};

QTEST_GUILESS_MAIN(TestCheckReport)
#include "tst_check_report.moc"
