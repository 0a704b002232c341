#include "HistoryRig.h"
#include "HistorySchema.h"
#include "PrintedReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QtTest>

#include <ctime>

namespace {

// Bytes 0x80 to 0x9F in Windows-1252 as its published table has them; 0 where the
// code page has no character, which leaves the byte's C1 control.
constexpr char16_t kUpperControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

struct Shown
{
    QString json;
    QString csv;
    QString text;
};

// The router's answer as each report shows the store's one outage.
Shown ShownAnswer(const QString &path, const Clock &clock)
{
    Shown shown;
    const QString json = PrintedReport(path, QStringLiteral("1y"), ReportFormat::Json, clock);
    const QJsonArray outages = QJsonDocument::fromJson(json.toUtf8())[u"outages"].toArray();
    shown.json = outages.size() == 1 ? outages[0][u"router_response"].toString() : json;
    const QStringList csv = PrintedReport(path, QStringLiteral("1y"), ReportFormat::Csv, clock)
                                .split(QStringLiteral("\r\n"));
    shown.csv = csv.size() == 3 ? csv[1].section(u',', 5, 5) : csv.join(u'\n');
    const QStringList text =
        PrintedReport(path, QStringLiteral("1y"), ReportFormat::Text, clock).split(u'\n');
    shown.text = text.size() > 3 ? text[3].section(QStringLiteral("  "), -1) : text.join(u'\n');
    return shown;
}

} // namespace

// The router's bytes in the history: kept as they came, and read in its code page by
// every report and by what the History window reads.
class HistoryConsoleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    void bytesReadAsTheyCame_data()
    {
        QTest::addColumn<QByteArray>("console");
        QTest::addColumn<QString>("json"); // every byte
        QTest::addColumn<QString>("csv");  // on one line, controls in caret notation
        QTest::addColumn<QString>("text"); // controls as blanks

        const QString accented = QStringLiteral("Red\u00e9marrage");
        QTest::addRow("a byte that is not UTF-8")
            << QByteArray("Red\xe9marrage") << accented << accented << accented;
        QTest::addRow("NUL") << QByteArray("a\0b", 3) << QStringLiteral("a\u0000b")
                             << QStringLiteral("a^@b") << QStringLiteral("a b");
        QTest::addRow("CR") << QByteArray("a\rb") << QStringLiteral("a\rb")
                            << QStringLiteral("a | b") << QStringLiteral("a b");
        for (int byte = 0x80; byte <= 0x9F; ++byte) {
            const char16_t character = kUpperControls[byte - 0x80];
            const QString decoded = QString(QChar(character ? character : char16_t(byte)));
            QTest::addRow("byte 0x%X", byte)
                << (QByteArray("x") + char(byte) + 'y') << u'x' + decoded + u'y'
                << (character ? u'x' + decoded + u'y' : QStringLiteral("x?y"))
                << (character ? u'x' + decoded + u'y' : QStringLiteral("x y"));
        }
    }

    void bytesReadAsTheyCame()
    {
        QFETCH(QByteArray, console);
        QFETCH(QString, json);
        QFETCH(QString, csv);
        QFETCH(QString, text);
        QTemporaryDir folder;
        HistoryRig rig(folder.path());
        rig.start();
        rig.fail();
        rig.recorder.consoleReceived(console);
        rig.answer(5);

        // Bytes for any reader of the file, as for the History window.
        QCOMPARE(rig.value(QStringLiteral("SELECT typeof(console) FROM outages")).toString(),
                 QStringLiteral("blob"));
        QCOMPARE(rig.store.range(0, rig.nowMs(), 10).outages.value(0).console, console);
        const Shown shown = ShownAnswer(rig.path, rig.clock);
        QCOMPARE(shown.json, json);
        QCOMPARE(shown.csv, csv);
        QCOMPARE(shown.text, text);
    }

    // A store of the version before kept the console as text, its bytes as they came:
    // the upgrade gives them back, those after a NUL included.
    void upgradeGivesBackTheBytes_data()
    {
        QTest::addColumn<QByteArray>("console");
        QTest::addColumn<QString>("json");

        QTest::addRow("a byte that is not UTF-8")
            << QByteArray("Red\xe9marrage") << QStringLiteral("Red\u00e9marrage");
        QTest::addRow("NUL") << QByteArray("a\0b\x80", 4) << QStringLiteral("a\u0000b\u20ac");
    }

    void upgradeGivesBackTheBytes()
    {
        QFETCH(QByteArray, console);
        QFETCH(QString, json);
        QTemporaryDir folder;
        {
            SqliteConnection connection(folder.filePath(QStringLiteral("history.sqlite")),
                                        SqliteConnection::Access::ReadWrite);
            connection.open();
            const QSqlDatabase database = connection.database();
            UpgradeSchema(database, 0, 4);
            RunOnce(database,
                    QStringLiteral("INSERT INTO outages(started, ended, failing_cycles)"
                                   " VALUES(?, ?, 1)"),
                    {qint64(1767265200000), qint64(1767265201000)}); // 11:00:00
            // As that version appended it.
            RunOnce(database, QStringLiteral("UPDATE outages SET console = console || ?"),
                    {console});
            QCOMPARE(SingleValue(database, QStringLiteral("SELECT typeof(console) FROM outages"))
                         .toString(),
                     QStringLiteral("text"));
        }
        HistoryRig rig(folder.path());
        rig.start();

        QCOMPARE(rig.value(QStringLiteral("SELECT typeof(console) FROM outages")).toString(),
                 QStringLiteral("blob"));
        QCOMPARE(rig.store.range(0, rig.nowMs(), 10).outages.value(0).console, console);
        QCOMPARE(ShownAnswer(rig.path, rig.clock).json, json);
    }
};

QTEST_GUILESS_MAIN(HistoryConsoleTest)
#include "tst_history_console.moc"
