// Every [Options] key as start-up takes it: each bound, and the values just past it,
// stored by hand and read back, with what the refusal says and what runs instead.

#include "FakeMessageBoxes.h"
#include "IniSettingsStore.h"
#include "OptionTable.h"
#include "RecordingLog.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr const char *kSeconds = "A whole number of seconds from %1 to %2 is required.";
constexpr const char *kSwitch = "0 (off) or 1 (on) is required.";
constexpr const char *kPercent = "A whole number of percent from %1 to %2 is required.";
constexpr const char *kMilliseconds = "A whole number of milliseconds from %1 to %2 is required.";

// What each key takes, written here apart from the table so that a bound moved there
// is caught. Texts have no range: one value each side of their check instead.
struct Expected
{
    const char *name;
    const char *byDefault;
    // Ranged keys: below, the bounds, above. Texts: one refused, one taken.
    QStringList values;
    // With %1 and %2 for the bounds; a text's own refusal.
    const char *refusal;
    const char *defaultInUse;
};

const QList<Expected> &ExpectedKeys()
{
    static const QList<Expected> keys = {
        {"GraceSeconds", "0", {"-1", "0", "86400", "86401"}, kSeconds, "Corvane uses 0."},
        {"ResumeGraceSeconds", "0", {"-1", "0", "3600", "3601"}, kSeconds, "Corvane uses 0."},
        {"RecoverCycles",
         "1",
         {"0", "1", "100", "101"},
         "A whole number of cycles from %1 to %2 is required.",
         "Corvane uses 1."},
        // None would send no echo and read every cycle as answered.
        {"EchoesPerAddress",
         "1",
         {"0", "1", "10", "11"},
         "A whole number of echoes from %1 to %2 is required.",
         "Corvane uses 1."},
        {"MaxSendsPerOutage",
         "0",
         {"-1", "0", "1000", "1001"},
         "A whole number from %1 (no limit) to %2 is required.",
         "Corvane uses 0."},
        {"ResendBackoff",
         "1",
         {"0.99", "1", "10", "10.01"},
         "A factor from %1 to %2 is required, such as 2 or 1.5.",
         "Corvane uses 1."},
        {"MaxResendMinutes",
         "0",
         {"-1", "0", "10080", "10081"},
         "A whole number of minutes from %1 (no cap) to %2 is required.",
         "Corvane uses 0."},
        {"AckPattern",
         "",
         {"reset (", "reset (done|ok)"},
         "The pattern is not a valid regular expression: missing closing parenthesis (at "
         "character 8).",
         "Corvane waits for no acknowledgement."},
        {"AckSeconds", "30", {"0", "1", "3600", "3601"}, kSeconds, "Corvane uses 30."},
        {"ReopenPort", "1", {"-1", "0", "1", "2"}, kSwitch, "Corvane uses 1."},
        {"Notify", "1", {"-1", "0", "1", "2"}, kSwitch, "Corvane uses 1."},
        {"MetricsFile",
         "",
         {"corvane.prom", "/nonexistent/corvane.prom"},
         "An absolute path is required, such as /var/lib/prometheus/node-exporter/corvane.prom.",
         "Corvane writes no metrics file."},
        {"OnOutage",
         "",
         {"reboot; rm", "logger -t corvane 'line down'"},
         "No shell runs the program, so ; means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"OnFailCommand",
         "",
         {"echo $HOME", "true"},
         "No shell runs the program, so $ means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"OnAcknowledged",
         "",
         {"a | b", "true"},
         "No shell runs the program, so | means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"OnNoAcknowledgement",
         "",
         {"x > y", "true"},
         "No shell runs the program, so > means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"OnLineBack",
         "",
         {"rm *", "true"},
         "No shell runs the program, so * means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"EventTimeoutSeconds", "30", {"0", "1", "3600", "3601"}, kSeconds, "Corvane uses 30."},
        {"TrayBadge", "1", {"-1", "0", "1", "2"}, kSwitch, "Corvane uses 1."},
        {"History", "1", {"-1", "0", "1", "2"}, kSwitch, "Corvane uses 1."},
        {"LossWindowCycles",
         "10",
         {"0", "1", "100", "101"},
         "A whole number of cycles from %1 to %2 is required.",
         "Corvane uses 10."},
        {"FailLossPercent", "0", {"-1", "0", "100", "101"}, kPercent, "Corvane uses 0."},
        {"FailLatencyMs", "0", {"-1", "0", "60000", "60001"}, kMilliseconds, "Corvane uses 0."},
        {"RecoverLossPercent", "0", {"-1", "0", "100", "101"}, kPercent, "Corvane uses 0."},
        {"RecoverLatencyMs", "0", {"-1", "0", "60000", "60001"}, kMilliseconds, "Corvane uses 0."},
        {"FailingPeriod", "0", {"-1", "0", "86400", "86401"}, kSeconds, "Corvane uses 0."},
        // Sixteen bytes: one more than the kernel keeps of a name.
        {"Interface",
         "",
         {"enx00e04c680001a", "enx00e04c680001"},
         "An interface name has at most 15 bytes, such as eth0 or wwan0.",
         "Echoes leave as the routing table chooses."},
        {"SourceAddress",
         "",
         {"router.example", "2001:db8::7"},
         "An IPv4 or IPv6 address is required, such as 192.0.2.7 or 2001:db8::7; a host name "
         "is not taken.",
         "Echoes leave as the routing table chooses."},
        {"PowerPort",
         "0",
         {"-1", "0", "32767", "32768"},
         "A port number from %1 (none) to %2 is required.",
         "Corvane uses 0."},
        {"PowerOff",
         "",
         {"\\xA", "\\xA0\\x01^@"},
         "\\x must be followed by two hex digits, such as \\xA0 (character 1).",
         "Corvane sends no frame."},
        {"PowerOn",
         "",
         {"on^", "on^^"},
         "A caret at the end stands for nothing; write ^^ for the caret itself (character 3).",
         "Corvane sends no frame."},
        {"PowerLine",
         "",
         {"dtr", "RTS"},
         "DTR or RTS is required, in capitals.",
         "Corvane holds no modem line."},
        {"PowerProgram",
         "",
         {"relay off; sleep", "/usr/local/bin/relay --board 1"},
         "No shell runs the program, so ; means nothing here; quote it, or name a script that "
         "does what the shell would.",
         "Corvane runs no program."},
        {"PowerHoldSeconds", "10", {"0", "1", "600", "601"}, kSeconds, "Corvane uses 10."},
        {"OwnLinkGuard", "0", {"-1", "0", "1", "2"}, kSwitch, "Corvane uses 0."},
    };
    return keys;
}

std::optional<OptionKey> KeyNamed(const QString &name)
{
    for (const OptionRow &row : OptionRows()) {
        if (QLatin1StringView(row.name) == name)
            return row.key;
    }
    return std::nullopt;
}

} // namespace

class TestOptionTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The test walks every key, in the order of the table, and each starts at the
    // default it always had.
    void everyKeyIsWalkedFromItsDefault()
    {
        const std::span<const OptionRow> rows = OptionRows();
        QCOMPARE(qsizetype(rows.size()), ExpectedKeys().size());
        const Options defaults;
        for (std::size_t index = 0; index < rows.size(); ++index) {
            const Expected &expected = ExpectedKeys()[qsizetype(index)];
            QCOMPARE(rows[index].name, expected.name);
            QCOMPARE(OptionText(defaults, rows[index].key), QString::fromUtf8(expected.byDefault));
            QCOMPARE(OptionDefaultInUse(rows[index].key), QString::fromUtf8(expected.defaultInUse));
        }
    }

    void startUpTakesEachBoundAndRefusesPastIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("refusal");
        for (const Expected &key : ExpectedKeys()) {
            if (key.values.size() == 2) {
                QTest::addRow("%s refused", key.name)
                    << key.name << key.values[0] << QString::fromUtf8(key.refusal);
                QTest::addRow("%s taken", key.name) << key.name << key.values[1] << QString();
                continue;
            }
            QString refusal = QString::fromUtf8(key.refusal);
            if (refusal.contains(QStringLiteral("%1")))
                refusal = refusal.arg(key.values[1], key.values[2]);
            const char *tags[] = {"below the range", "at the lowest", "at the highest",
                                  "above the range"};
            for (qsizetype at = 0; at < 4; ++at) {
                const bool past = at == 0 || at == 3;
                QTest::addRow("%s=%s %s", key.name, qPrintable(key.values[at]), tags[at])
                    << key.name << key.values[at] << (past ? refusal : QString());
            }
        }
    }
    // The window and --check ask the same; start-up runs a refused key at its default,
    // the one the report names.
    void startUpTakesEachBoundAndRefusesPastIt()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(QString, refusal);
        const std::optional<OptionKey> key = KeyNamed(name);
        QVERIFY(key);
        QCOMPARE(OptionRefusal(*key, stored).value_or(QString()), refusal);

        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        QVERIFY(!store.write(SettingsAppName, OptionsSection, name, stored).failed());
        FakeMessageBoxes boxes;
        RecordingLog log;
        Settings settings(store, boxes);
        const Options options = LoadOptions(settings, log, boxes);

        if (refusal.isEmpty()) {
            QVERIFY(boxes.shown.isEmpty());
            QCOMPARE(OptionText(options, *key), stored);
            return;
        }
        QCOMPARE(OptionText(options, *key), OptionText(Options(), *key));
        QCOMPARE(boxes.shown.size(), 1);
        const QString line =
            name + u'=' + stored + QStringLiteral(": ") + refusal + u' ' + OptionDefaultInUse(*key);
        QVERIFY2(boxes.shown[0].text.endsWith(line), qPrintable(boxes.shown[0].text));
    }

    // Names are case-sensitive: a key spelt otherwise keeps its default, so start-up names
    // it with the key it was likely meant for.
    void startUpNamesKeysNothingReads_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line");
        QTest::addRow("a letter left out")
            << "Notfy"
            << "Notfy=0: Nothing reads this key; did you mean Notify?";
        QTest::addRow("other case") << "echoesperaddress"
                                    << "echoesperaddress=0: Nothing reads this key; did you mean "
                                       "EchoesPerAddress?";
        QTest::addRow("near none") << "Colour"
                                   << "Colour=0: Nothing reads this key.";
        QTest::addRow("known") << "Notify"
                               << "";
    }
    void startUpNamesKeysNothingReads()
    {
        QFETCH(QString, key);
        QFETCH(QString, line);
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        QVERIFY(!store.write(SettingsAppName, OptionsSection, key, QStringLiteral("0")).failed());
        FakeMessageBoxes boxes;
        RecordingLog log;
        Settings settings(store, boxes);
        const Options options = LoadOptions(settings, log, boxes);

        // Only the key spelt right turns the notifications off.
        QCOMPARE(options.notify, !line.isEmpty());
        if (line.isEmpty()) {
            QVERIFY(boxes.shown.isEmpty());
            return;
        }
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY2(boxes.shown[0].text.endsWith(QStringLiteral("\r\n") + line),
                 qPrintable(boxes.shown[0].text));
    }

    // The tooltip tells the range the check holds to, and what the default does.
    void tooltipsTellTheRange_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ending");
        QTest::addRow("echoes") << "EchoesPerAddress"
                                << "(1 to 10).";
        QTest::addRow("lowest means none") << "MaxSendsPerOutage"
                                           << "(0 to 1000; 0: no limit).";
        QTest::addRow("factor") << "ResendBackoff"
                                << "(1 to 10; 1: the delay stays the same).";
        QTest::addRow("empty text") << "AckPattern"
                                    << "(empty: no check).";
        QTest::addRow("switch") << "History"
                                << "start of Corvane (on/off).";
        QTest::addRow("program") << "OnLineBack"
                                 << "after an outage.";
    }
    void tooltipsTellTheRange()
    {
        QFETCH(QString, name);
        QFETCH(QString, ending);
        const QString tip = OptionTip(OptionRowOf(*KeyNamed(name)));
        QVERIFY2(tip.endsWith(ending), qPrintable(tip));
    }

    // The interface's name and the source address go into a socket option as they are:
    // what the kernel would refuse, or read as something else, is refused here first.
    void pinningTextsAtTheirEdges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::addRow("name, one byte") << "Interface"
                                        << "a" << true;
        QTest::addRow("name, 15 bytes of UTF-8")
            << "Interface" << QString(7, QChar(0xe9)) + u'x' << true;
        QTest::addRow("name, 16 bytes of UTF-8") << "Interface" << QString(8, QChar(0xe9)) << false;
        QTest::addRow("name with a slash") << "Interface"
                                           << "eth0/1" << false;
        QTest::addRow("name with a colon") << "Interface"
                                           << "eth0:1" << false;
        QTest::addRow("name with a space") << "Interface"
                                           << "eth 0" << false;
        QTest::addRow("name with an escape") << "Interface"
                                             << "\x1b[31m" << false;
        QTest::addRow("name of a parent folder") << "Interface"
                                                 << ".." << false;
        QTest::addRow("name, a NUL and more")
            << "Interface" << QString::fromUtf8("eth0\0x", 6) << false;
        QTest::addRow("IPv4") << "SourceAddress"
                              << "192.0.2.7" << true;
        QTest::addRow("IPv4, a part past 255") << "SourceAddress"
                                               << "192.0.2.256" << false;
        QTest::addRow("IPv4, three parts") << "SourceAddress"
                                           << "192.0.2" << false;
        QTest::addRow("IPv6 mapped IPv4") << "SourceAddress"
                                          << "::ffff:192.0.2.7" << true;
        QTest::addRow("IPv6 with a zone") << "SourceAddress"
                                          << "fe80::1%eth0" << false;
        QTest::addRow("address and a space") << "SourceAddress"
                                             << "192.0.2.7 " << false;
        QTest::addRow("address, a NUL and more")
            << "SourceAddress" << QString::fromUtf8("192.0.2.7\0x", 11) << false;
        QTest::addRow("address past Latin-1")
            << "SourceAddress" << QStringLiteral("192.0.2.\u0667") << false;
    }
    void pinningTextsAtTheirEdges()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, taken);
        const std::optional<QString> refusal = OptionRefusal(*KeyNamed(name), text);
        QVERIFY2(refusal.has_value() != taken, qPrintable(refusal.value_or(QString())));
    }
};

QTEST_GUILESS_MAIN(TestOptionTable)
#include "tst_option_table.moc"
