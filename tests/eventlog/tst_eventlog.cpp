#include "DroppedCapabilities.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "LocalTextFiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

class FakeTextEditor final : public TextEditor
{
public:
    Outcome open(const QString &path) override
    {
        openedPaths.append(path);
        return fails ? Outcome::failure(QStringLiteral("no editor")) : Outcome::success();
    }
    QStringList openedPaths;
    bool fails = false;
};

const QByteArray kNoonHeader = "1/1/26 12:00:00 PM";

enum class LogFault
{
    PathTurnsIntoFolder,
    FileMadeReadOnly,
    DiskFillsWithinEntry,
};

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private:
    QString logPath() const { return m_folder->filePath(QStringLiteral("log.txt")); }
    QByteArray logBytes() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    FakeWindowFields m_fields;
    FakeClock m_clock;
    LocalTextFiles m_files;
    FakeTextEditor m_editor;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<EventLog> m_log;

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_fields.setText(Field::FailLog, logPath());
        m_clock.set(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
        m_editor.openedPaths.clear();
        m_editor.fails = false;
        m_boxes.shown.clear();
        m_log = std::make_unique<EventLog>(m_fields, m_clock, m_files, m_editor, m_boxes);
    }

    void layouts_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("stamp");
        QTest::addColumn<bool>("spaced");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QByteArray>("appended");

        const QDateTime noon(QDate(2026, 1, 1), QTime(12, 0));
        const QByteArray earlier = "earlier entry\r\n";
        QTest::addRow("stamped and spaced, file created")
            << QByteArray() << "Corvane executable started." << true << true << kSystemMessage
            << noon
            << " \r\n" + kNoonHeader + "  [System Message]\r\nCorvane executable started.\r\n \r\n";
        QTest::addRow("stamped and spaced, appended")
            << earlier << "No response to pings." << true << true << kSystemMessage << noon
            << " \r\n" + kNoonHeader + "  [System Message]\r\nNo response to pings.\r\n \r\n";
        QTest::addRow("stamped, message without line end")
            << earlier << "OK" << true << false << kCommunications << noon
            << kNoonHeader + "  [Communications]\r\nOK";
        QTest::addRow("message alone without line end")
            << earlier << "more text" << false << false << QString() << noon
            << QByteArray("more text");
        QTest::addRow("spaced without header")
            << earlier << "note" << false << true << kSystemMessage << noon
            << QByteArray(" \r\nnote\r\n \r\n");
        QTest::addRow("empty category gives empty brackets")
            << earlier << "x" << true << false << QString() << noon << kNoonHeader + "  []\r\nx";
        QTest::addRow("morning, one-digit month and hour")
            << earlier << "x" << true << false << kSystemMessage
            << QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3))
            << QByteArray("12/7/26 9:05:03 AM  [System Message]\r\nx");
        QTest::addRow("just before midnight")
            << earlier << "x" << true << false << kSystemMessage
            << QDateTime(QDate(2026, 2, 28), QTime(23, 59, 59))
            << QByteArray("2/28/26 11:59:59 PM  [System Message]\r\nx");
        QTest::addRow("single bytes, unknown characters as question marks")
            << earlier << QString::fromUtf8("Grüße → 5 €") << false << false << QString() << noon
            << QByteArray("Gr\xfc\xdf"
                          "e ? 5 ?");
    }

    void layouts()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QString, message);
        QFETCH(bool, stamp);
        QFETCH(bool, spaced);
        QFETCH(QString, category);
        QFETCH(QDateTime, now);
        QFETCH(QByteArray, appended);

        if (!existing.isNull()) {
            QFile file(logPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(existing);
        }
        m_clock.set(now);
        m_log->WriteLog(message, stamp, spaced, category);
        QCOMPARE(logBytes(), existing + appended);
        QVERIFY(m_boxes.shown.isEmpty());
    }

    void routerChunksJoinAndSystemEntryFollowsOnTheirLine()
    {
        m_log->WriteLog(QStringLiteral("OK"), true, false, kCommunications);
        m_log->WriteLog(QStringLiteral(" more"), false, false, QString());
        m_clock.advanceMs(1000);
        m_log->WriteLog(QStringLiteral("No response to pings."), true, true, kSystemMessage);
        QCOMPARE(logBytes(), kNoonHeader + "  [Communications]\r\nOK more \r\n" +
                                 "1/1/26 12:00:01 PM  [System Message]\r\n"
                                 "No response to pings.\r\n \r\n");
    }

    void shortPathSwitchesLoggingOff_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addRow("empty") << QString();
        QTest::addRow("one character") << QStringLiteral("x");
    }

    void shortPathSwitchesLoggingOff()
    {
        QFETCH(QString, path);
        // A relative one-character name would land in the working folder.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_folder->path());
        m_fields.setText(Field::FailLog, path);
        m_log->WriteLog(QStringLiteral("lost"), true, true, kSystemMessage);
        QDir::setCurrent(previous);
        QVERIFY(QDir(m_folder->path()).isEmpty());
        QVERIFY(m_boxes.shown.isEmpty());
    }

    void failureShowsOneBoxPerRun_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::addRow("folder that does not exist")
            << QStringLiteral("missing/folder/log.txt") << QStringLiteral("No such file");
        QTest::addRow("a folder, not a file")
            << QStringLiteral(".") << QStringLiteral("Is a directory");
        QTest::addRow("device without space")
            << QStringLiteral("/dev/full") << QStringLiteral("No space left");
    }

    void failureShowsOneBoxPerRun()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        if (path == QStringLiteral("/dev/full") && !QFile::exists(path))
            QSKIP("This system has no /dev/full.");
        if (!path.startsWith(u'/'))
            path = m_folder->filePath(path);
        m_fields.setText(Field::FailLog, path);

        m_log->WriteLog(QStringLiteral("first"), true, true, kSystemMessage);
        QCOMPARE(m_boxes.shown.size(), 1);
        const FakeMessageBoxes::Shown box = m_boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("Log File Error"));
        QCOMPARE(box.style, BoxStyle::OkExclamation);
        QVERIFY2(box.text.contains(path), qPrintable(box.text));
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));

        m_log->WriteLog(QStringLiteral("second"), false, false, QString());
        m_log->WriteLog(QStringLiteral("third"), true, false, kCommunications);
        QCOMPARE(m_boxes.shown.size(), 1);
    }

    void successEndsARunOfFailures()
    {
        const QString missing = m_folder->filePath(QStringLiteral("missing/log.txt"));
        m_fields.setText(Field::FailLog, missing);
        m_log->WriteLog(QStringLiteral("fails"), true, true, kSystemMessage);
        QCOMPARE(m_boxes.shown.size(), 1);

        // Entries skipped for a short path neither succeed nor fail.
        m_fields.setText(Field::FailLog, QStringLiteral("x"));
        m_log->WriteLog(QStringLiteral("skipped"), true, true, kSystemMessage);
        m_fields.setText(Field::FailLog, missing);
        m_log->WriteLog(QStringLiteral("fails again"), true, true, kSystemMessage);
        QCOMPARE(m_boxes.shown.size(), 1);

        m_fields.setText(Field::FailLog, logPath());
        m_log->WriteLog(QStringLiteral("written"), false, false, QString());
        QCOMPARE(logBytes(), QByteArray("written"));
        QCOMPARE(m_boxes.shown.size(), 1);

        m_fields.setText(Field::FailLog, missing);
        m_log->WriteLog(QStringLiteral("fails after a success"), true, true, kSystemMessage);
        QCOMPARE(m_boxes.shown.size(), 2);
        QVERIFY(m_boxes.shown.last().text.contains(missing));
    }

    void faultWhileRunningLeavesNoHalfEntry_data()
    {
        QTest::addColumn<LogFault>("fault");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QByteArray>("kept");
        QTest::addRow("path turns into a folder")
            << LogFault::PathTurnsIntoFolder << "Is a directory" << QByteArray();
        QTest::addRow("file made read-only")
            << LogFault::FileMadeReadOnly << "Permission denied" << QByteArray("kept");
        QTest::addRow("disk fills within an entry")
            << LogFault::DiskFillsWithinEntry << "could be written" << QByteArray("kept");
    }

    void faultWhileRunningLeavesNoHalfEntry()
    {
        QFETCH(LogFault, fault);
        QFETCH(QString, reason);
        QFETCH(QByteArray, kept);
        m_log->WriteLog(QStringLiteral("kept"), false, false, QString());
        rlimit savedLimit{};
        getrlimit(RLIMIT_FSIZE, &savedLimit);
        switch (fault) {
        case LogFault::PathTurnsIntoFolder:
            QVERIFY(QFile::remove(logPath()) && QDir().mkdir(logPath()));
            break;
        case LogFault::FileMadeReadOnly:
            QVERIFY(QFile::setPermissions(logPath(), QFile::ReadOwner));
            break;
        case LogFault::DiskFillsWithinEntry: {
            // A file-size limit binds root too and cuts a write short, as a disk
            // filling up does; the signal it raises is for programs that ignore errors.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = savedLimit;
            limit.rlim_cur = 10;
            setrlimit(RLIMIT_FSIZE, &limit);
            break;
        }
        }

        const bool held = RunHeldToFilePermissions([&] {
            m_log->WriteLog(QStringLiteral("No response to pings."), true, true, kSystemMessage);
            m_log->WriteLog(QStringLiteral("OK"), true, false, kCommunications);
        });
        setrlimit(RLIMIT_FSIZE, &savedLimit);
        std::signal(SIGXFSZ, SIG_DFL);
        if (!held)
            QSKIP("cannot drop the capabilities that let root ignore file permissions");
        QCOMPARE(m_boxes.shown.size(), 1);
        QVERIFY2(m_boxes.shown[0].text.contains(reason), qPrintable(m_boxes.shown[0].text));
        QCOMPARE(logBytes(), kept);
    }

    void viewPassesThePathUnchanged_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addRow("plain") << QStringLiteral("/var/tmp/log.txt");
        QTest::addRow("blanks and shell characters")
            << QStringLiteral("/tmp/my log; rm -rf ~ $(id) `id` & | > 'q' \"r\".txt");
        QTest::addRow("empty") << QString();
    }

    void viewPassesThePathUnchanged()
    {
        QFETCH(QString, path);
        m_fields.setText(Field::FailLog, path);
        m_log->ViewLog();
        QCOMPARE(m_editor.openedPaths, QStringList{path});
        QVERIFY(m_boxes.shown.isEmpty());
    }

    void viewWithoutEditorShowsBoxNamingTheFile()
    {
        m_editor.fails = true;
        m_log->ViewLog();
        QCOMPARE(m_boxes.shown.size(), 1);
        const FakeMessageBoxes::Shown box = m_boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("View Log"));
        QCOMPARE(box.style, BoxStyle::OkExclamation);
        QVERIFY2(box.text.contains(logPath()), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("no editor")), qPrintable(box.text));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
