#include "DroppedCapabilities.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "FileDescriptor.h"
#include "LocalTextFiles.h"
#include "LocaleText.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

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

// A fresh folder and log for every test function.
struct Rig
{
    Rig() { fields.setText(Field::FailLog, logPath()); }
    QString logPath() const { return folder.filePath(QStringLiteral("log.txt")); }
    QByteArray logBytes() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    FakeWindowFields fields;
    FakeClock clock;
    LocalTextFiles files;
    FakeTextEditor editor;
    FakeMessageBoxes boxes;
    EventLog log{fields, clock, files, editor, boxes};
};

const QByteArray kNoonHeader = "1/1/26 12:00:00 PM";

// What happens to the log after its first entry.
enum class LogFault
{
    None,
    PathTurnsIntoFolder,
    FileMadeReadOnly,
    DiskFillsWithinEntry,
    FifoNobodyReads,
    FifoWithReader,
};

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

    std::unique_ptr<Rig> m_rig;

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init()
    {
        m_rig = std::make_unique<Rig>();
        QVERIFY(m_rig->folder.isValid());
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
        QTest::addRow("morning, one-digit day and hour")
            << earlier << "x" << true << false << kSystemMessage
            << QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3))
            << QByteArray("12/7/26 9:05:03 AM  [System Message]\r\nx");
        QTest::addRow("text in the locale's encoding")
            << earlier << QString::fromUtf8("Grüße → 5 €") << false << false << QString() << noon
            << QByteArray("Gr\303\274\303\237e \342\206\222 5 \342\202\254");
        // The router's output, or another program, may have left a line unfinished.
        const QByteArray unfinished = "router output";
        QTest::addRow("header after an unfinished line starts a line")
            << unfinished << "OK" << true << false << kCommunications << noon
            << "\r\n" + kNoonHeader + "  [Communications]\r\nOK";
        QTest::addRow("separator after an unfinished line starts a line")
            << unfinished << "note" << false << true << kSystemMessage << noon
            << QByteArray("\r\n \r\nnote\r\n \r\n");
        QTest::addRow("lone carriage return leaves the line unfinished")
            << QByteArray("prompt\r") << "OK" << true << false << kCommunications << noon
            << "\r\n" + kNoonHeader + "  [Communications]\r\nOK";
        QTest::addRow("line feed alone ends a line")
            << QByteArray("line\n") << "OK" << true << false << kCommunications << noon
            << kNoonHeader + "  [Communications]\r\nOK";
        QTest::addRow("text without header continues the line")
            << unfinished << " more" << false << false << QString() << noon << QByteArray(" more");
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
            QFile file(m_rig->logPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(existing);
        }
        m_rig->clock.set(now);
        m_rig->log.WriteLog(message, stamp, spaced, category);
        QCOMPARE(m_rig->logBytes(), existing + appended);
        QVERIFY(m_rig->boxes.shown.isEmpty());
    }

    // The router's bytes are not text of ours: none is converted, whatever the
    // locale's encoding makes of it.
    void receivedBytesGoInUnchanged_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("stamp");
        QTest::addColumn<QByteArray>("appended");

        const QByteArray everyOddByte("\0\x1b[0m\x80\xe9\xff\xc3", 9);
        QTest::addRow("under a header") << QByteArray() << everyOddByte << true
                                        << kNoonHeader + "  [Communications]\r\n" + everyOddByte;
        QTest::addRow("continuing a line")
            << QByteArray("a1") << QByteArray("\r\nb2") << false << QByteArray("\r\nb2");
    }
    void receivedBytesGoInUnchanged()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArray, received);
        QFETCH(bool, stamp);
        QFETCH(QByteArray, appended);
        QFile file(m_rig->logPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(existing);
        file.close();
        m_rig->clock.set(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));

        m_rig->log.WriteReceived(received, stamp);

        QCOMPARE(m_rig->logBytes(), existing + appended);
        QVERIFY(m_rig->boxes.shown.isEmpty());
    }

    // Dates and times in scripts beyond Latin-1 reach the file as the locale's text.
    void headerInTheLocalesScript()
    {
        QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
        const auto restore = qScopeGuard(
            [] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        const QDateTime now(QDate(2026, 12, 7), QTime(22, 31, 41));
        const QString header = ShortDateText(now.date()) + u' ' + LongTimeText(now.time()) +
                               QStringLiteral("  [System Message]");
        // Text within Latin-1 would pass with the old single-byte writing too.
        QVERIFY(std::any_of(header.cbegin(), header.cend(),
                            [](QChar character) { return character.unicode() > 0xff; }));
        m_rig->clock.set(now);

        m_rig->log.WriteLog(QStringLiteral("started"), true, false, kSystemMessage);

        QCOMPARE(m_rig->logBytes(), header.toUtf8() + "\r\nstarted");
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
        QDir::setCurrent(m_rig->folder.path());
        m_rig->fields.setText(Field::FailLog, path);
        m_rig->log.WriteLog(QStringLiteral("lost"), true, true, kSystemMessage);
        QDir::setCurrent(previous);
        QVERIFY(QDir(m_rig->folder.path()).isEmpty());
        QVERIFY(m_rig->boxes.shown.isEmpty());
    }

    // Whether the log was unusable from the start or turned so while running, the
    // user sees one box for the run of failures, and no entry is left half written.
    void failureShowsOneBoxPerRun_data()
    {
        // The path, when not the log's own, is taken inside the test's folder.
        QTest::addColumn<QString>("path");
        QTest::addColumn<LogFault>("fault");
        QTest::addColumn<QString>("reason");
        QTest::addRow("folder that does not exist")
            << "missing/log.txt" << LogFault::None << "No such file";
        QTest::addRow("a folder, not a file") << "." << LogFault::None << "Is a directory";
        // Writing there would fail, block or vanish; nothing but a file is a log.
        QTest::addRow("a device") << "/dev/full" << LogFault::None << "it is not a regular file.";
        QTest::addRow("FIFO nobody reads")
            << "fifo" << LogFault::FifoNobodyReads << "it is not a regular file.";
        QTest::addRow("FIFO with a reader")
            << "fifo" << LogFault::FifoWithReader << "it is not a regular file.";
        QTest::addRow("path turns into a folder")
            << "" << LogFault::PathTurnsIntoFolder << "Is a directory";
        QTest::addRow("file made read-only")
            << "" << LogFault::FileMadeReadOnly << "Permission denied";
        QTest::addRow("disk fills within an entry")
            << "" << LogFault::DiskFillsWithinEntry << "could be written";
    }
    void failureShowsOneBoxPerRun()
    {
        QFETCH(QString, path);
        QFETCH(LogFault, fault);
        QFETCH(QString, reason);
        if (path == QStringLiteral("/dev/full") && !QFile::exists(path))
            QSKIP("This system has no /dev/full.");
        m_rig->log.WriteLog(QStringLiteral("kept"), false, false, QString());
        path = path.isEmpty() ? m_rig->logPath() : QDir(m_rig->folder.path()).filePath(path);
        m_rig->fields.setText(Field::FailLog, path);
        rlimit savedLimit{};
        getrlimit(RLIMIT_FSIZE, &savedLimit);
        if (fault == LogFault::PathTurnsIntoFolder)
            QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        if (fault == LogFault::FileMadeReadOnly)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        FileDescriptor reader;
        if (fault == LogFault::FifoNobodyReads || fault == LogFault::FifoWithReader)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (fault == LogFault::FifoWithReader) {
            reader.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK));
            QVERIFY(reader.isValid());
        }
        if (fault == LogFault::DiskFillsWithinEntry) {
            // A file-size limit binds root too and cuts a write short, as a disk
            // filling up does; the signal it raises is for programs that ignore errors.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = savedLimit;
            limit.rlim_cur = 10;
            setrlimit(RLIMIT_FSIZE, &limit);
        }

        const bool held = RunHeldToFilePermissions([&] {
            m_rig->log.WriteLog(QStringLiteral("No response to pings."), true, true,
                                kSystemMessage);
            m_rig->log.WriteLog(QStringLiteral("OK"), true, false, kCommunications);
        });
        setrlimit(RLIMIT_FSIZE, &savedLimit);
        std::signal(SIGXFSZ, SIG_DFL);
        if (!held)
            QSKIP("cannot drop the capabilities that let root ignore file permissions");
        QCOMPARE(m_rig->boxes.shown.size(), 1);
        const FakeMessageBoxes::Shown box = m_rig->boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("Log File Error"));
        QCOMPARE(box.style, BoxStyle::OkExclamation);
        QVERIFY2(box.text.contains(path) && box.text.contains(reason), qPrintable(box.text));
        QCOMPARE(m_rig->logBytes(),
                 fault == LogFault::PathTurnsIntoFolder ? QByteArray() : QByteArray("kept"));
    }

    // A link to the log is followed; a log the user may write but not read is
    // appended to, its unseen end taken to finish a line.
    void appendsThroughLinksAndWithoutReadAccess_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<QByteArray>("appended");
        QTest::addRow("symbolic link") << true << "\r\n" + kNoonHeader + "  [System Message]\r\nx";
        QTest::addRow("write-only file") << false << kNoonHeader + "  [System Message]\r\nx";
    }
    void appendsThroughLinksAndWithoutReadAccess()
    {
        QFETCH(bool, throughLink);
        QFETCH(QByteArray, appended);
        m_rig->log.WriteLog(QStringLiteral("unfinished"), false, false, QString());
        const QString linkPath = m_rig->folder.filePath(QStringLiteral("link.txt"));
        if (throughLink) {
            QVERIFY(QFile::link(m_rig->logPath(), linkPath));
            m_rig->fields.setText(Field::FailLog, linkPath);
        } else {
            QVERIFY(QFile::setPermissions(m_rig->logPath(), QFile::WriteOwner));
        }

        const bool held = RunHeldToFilePermissions(
            [&] { m_rig->log.WriteLog(QStringLiteral("x"), true, false, kSystemMessage); });

        QVERIFY(QFile::setPermissions(m_rig->logPath(), QFile::ReadOwner | QFile::WriteOwner));
        if (!held)
            QSKIP("cannot drop the capabilities that let root ignore file permissions");
        QVERIFY(m_rig->boxes.shown.isEmpty());
        QCOMPARE(m_rig->logBytes(), "unfinished" + appended);
    }

    void successEndsARunOfFailures()
    {
        const QString missing = m_rig->folder.filePath(QStringLiteral("missing/log.txt"));
        const auto boxesAfterWritingTo = [&](const QString &path) {
            m_rig->fields.setText(Field::FailLog, path);
            m_rig->log.WriteLog(QStringLiteral("entry"), true, true, kSystemMessage);
            return m_rig->boxes.shown.size();
        };
        QCOMPARE(boxesAfterWritingTo(missing), 1);
        // Entries skipped for a short path neither succeed nor fail.
        QCOMPARE(boxesAfterWritingTo(QStringLiteral("x")), 1);
        QCOMPARE(boxesAfterWritingTo(missing), 1);
        QCOMPARE(boxesAfterWritingTo(m_rig->logPath()), 1);
        QCOMPARE(boxesAfterWritingTo(missing), 2);
    }

    // That the path reaches the editor as one argument, shell characters and all,
    // is the desktop editor's own test.
    void viewsTheLog_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("editorFails");
        QTest::addRow("plain") << QStringLiteral("/var/tmp/log.txt") << false;
        QTest::addRow("no editor") << QStringLiteral("/var/tmp/log.txt") << true;
    }
    void viewsTheLog()
    {
        QFETCH(QString, path);
        QFETCH(bool, editorFails);
        m_rig->fields.setText(Field::FailLog, path);
        m_rig->editor.fails = editorFails;
        m_rig->log.ViewLog();
        QCOMPARE(m_rig->editor.openedPaths, QStringList{path});
        QCOMPARE(m_rig->boxes.shown.size(), editorFails ? 1 : 0);
        if (editorFails) {
            const FakeMessageBoxes::Shown box = m_rig->boxes.shown.first();
            QCOMPARE(box.title, QStringLiteral("View Log"));
            QCOMPARE(box.style, BoxStyle::OkExclamation);
            QVERIFY2(box.text.contains(path) && box.text.contains(QStringLiteral("no editor")),
                     qPrintable(box.text));
        }
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
