#include "EventLog.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "LocalTextFiles.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <grp.h>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kShippedPath = QStringLiteral("/var/lib/corvane/*/Corvane/log.txt");
const QString kShippedUser = QStringLiteral("su corvane corvane");

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class NoEditor final : public TextEditor
{
public:
    Outcome open(const QString &) override { return Outcome::success(); }
};

QString Entry(qint64 number)
{
    return QStringLiteral("entry %1 whole").arg(number, 6, 10, QLatin1Char('0'));
}

// A rotation as logrotate makes it with nocreate: each old log moves one number up,
// the log becomes log.txt.1, and no new log is made.
void Rotate(const QString &log)
{
    int last = 1;
    while (QFile::exists(log + u'.' + QString::number(last)))
        ++last;
    for (int number = last - 1; number >= 1; --number)
        QFile::rename(log + u'.' + QString::number(number),
                      log + u'.' + QString::number(number + 1));
    QFile::rename(log, log + QStringLiteral(".1"));
}

// The real files, with the log rotated as the chosen entry opens it: just before
// (between two entries) or just after (under an entry already on its way).
class RotatingFiles final : public TextFiles
{
public:
    std::unique_ptr<AppendFile> openForAppend(const QString &path, Outcome &outcome) override
    {
        const bool due = ++m_opens == rotateAt;
        if (due && !duringEntry)
            rotateTimes(path);
        std::unique_ptr<AppendFile> file = m_real.openForAppend(path, outcome);
        if (due && duringEntry)
            rotateTimes(path);
        return file;
    }

    int rotateAt = 0;
    bool duringEntry = false;
    int rotations = 1;

private:
    void rotateTimes(const QString &path)
    {
        for (int rotation = 0; rotation < rotations; ++rotation)
            Rotate(path);
    }

    LocalTextFiles m_real;
    int m_opens = 0;
};

// Where each entry ended up, by its number: the file's name for every copy of it.
// An entry cut short is put under the number 0.
QHash<qint64, QStringList> EntriesIn(const QString &folder)
{
    static const QRegularExpression kWhole(QStringLiteral(R"(^entry (\d{6}) whole$)"));
    QHash<qint64, QStringList> found;
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        QByteArray bytes = Contents(QDir(folder).filePath(name));
        if (name.endsWith(QStringLiteral(".gz"))) {
            QProcess gunzip;
            gunzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), folder + u'/' + name});
            gunzip.waitForFinished();
            bytes = gunzip.readAllStandardOutput();
        }
        for (const QByteArray &line : bytes.split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (!text.startsWith(QStringLiteral("entry")))
                continue;
            const QRegularExpressionMatch whole = kWhole.match(text);
            found[whole.hasMatch() ? whole.captured(1).toLongLong() : 0] << name;
        }
    }
    return found;
}

} // namespace

// The log rotated under a running Corvane, as the package's logrotate file does it:
// no entry is lost, none is written twice, none is torn between two files.
class TestLogRotation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_folder.emplace().isValid());
        m_boxes.shown.clear();
        QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("router1/Corvane")));
        m_fields.setText(Field::FailLog, logFolder() + QStringLiteral("/log.txt"));
    }

    // Each entry opens the log by name, so a rotation between two entries sends the
    // second to a new log, and one under an entry leaves that entry whole in the file
    // it opened.
    void entryLandsWholeInTheFileItOpened_data()
    {
        QTest::addColumn<int>("rotateAt");
        QTest::addColumn<bool>("duringEntry");
        QTest::addColumn<int>("rotations");
        QTest::addColumn<QStringList>("expected");

        const QString log = QStringLiteral("log.txt");
        const QString first = QStringLiteral("log.txt.1");
        const QString second = QStringLiteral("log.txt.2");
        QTest::addRow("between entries") << 2 << false << 1 << QStringList{first, log, log};
        QTest::addRow("under an entry") << 2 << true << 1 << QStringList{first, first, log};
        QTest::addRow("twice under an entry") << 2 << true << 2 << QStringList{second, second, log};
        QTest::addRow("under the entry that made the log")
            << 1 << true << 1 << QStringList{first, log, log};
        QTest::addRow("before there is a log") << 1 << false << 1 << QStringList{log, log, log};
    }
    void entryLandsWholeInTheFileItOpened()
    {
        QFETCH(int, rotateAt);
        QFETCH(bool, duringEntry);
        QFETCH(int, rotations);
        QFETCH(QStringList, expected);

        RotatingFiles files;
        files.rotateAt = rotateAt;
        files.duringEntry = duringEntry;
        files.rotations = rotations;
        EventLog log(m_fields, m_clock, files, m_editor, m_boxes);
        for (int number = 1; number <= expected.size(); ++number)
            log.WriteLog(Entry(number), true, false, kSystemMessage);

        const QHash<qint64, QStringList> found = EntriesIn(logFolder());
        QCOMPARE(found.size(), expected.size());
        for (int number = 1; number <= expected.size(); ++number)
            QCOMPARE(found.value(number), QStringList{expected[number - 1]});
        QVERIFY(m_boxes.shown.isEmpty());
    }

    // The shipped file names the log where the system unit keeps it: the unit's data
    // folder, with Corvane's own folder and file name below it.
    void shippedFileCoversTheSystemServicesLog()
    {
        const QByteArray unit = Contents(QStringLiteral(CORVANE_SYSTEM_UNIT));
        QVERIFY(unit.contains("XDG_DATA_HOME=/var/lib/corvane/%i"));
        QString logOfUnit = QStringLiteral("/var/lib/corvane/%i/Corvane/log.txt");
        QCOMPARE(logOfUnit.replace(QStringLiteral("%i"), QStringLiteral("*")), kShippedPath);
        const QByteArray shipped = Contents(QStringLiteral(CORVANE_LOGROTATE_FILE));
        QVERIFY(shipped.contains(kShippedPath.toUtf8() + " {"));
    }

    // The real logrotate, with the shipped file, forcing rotations while a writer
    // appends entries as fast as it can.
    void rotationsUnderARunningWriterLoseNothing()
    {
        const QString logrotate = QStandardPaths::findExecutable(
            QStringLiteral("logrotate"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (logrotate.isEmpty())
            QSKIP("logrotate is not installed (Debian package logrotate)");
        const QString config = m_folder->filePath(QStringLiteral("corvane.conf"));
        QVERIFY(writeConfigForThisFolder(config));

        LocalTextFiles files;
        EventLog log(m_fields, m_clock, files, m_editor, m_boxes);
        std::atomic<bool> stop = false;
        qint64 written = 0;
        std::thread writer([&] {
            while (!stop)
                log.WriteLog(Entry(++written), true, false, kSystemMessage);
        });
        constexpr int kRotations = 6;
        for (int rotation = 0; rotation < kRotations; ++rotation) {
            QTest::qWait(30);
            QProcess run;
            run.setProcessChannelMode(QProcess::MergedChannels);
            run.start(logrotate, {QStringLiteral("--force"), QStringLiteral("--state"),
                                  m_folder->filePath(QStringLiteral("state")), config});
            QVERIFY(run.waitForFinished(30000));
            QVERIFY2(run.exitCode() == 0, run.readAll().constData());
        }
        stop = true;
        writer.join();

        const QHash<qint64, QStringList> found = EntriesIn(logFolder());
        QVERIFY2(!found.contains(0), qPrintable(found.value(0).join(u' ')));
        for (qint64 number = 1; number <= written; ++number)
            QVERIFY2(found.value(number).size() == 1, qPrintable(Entry(number)));
        // Each forced rotation left a file, the oldest ones compressed.
        QVERIFY2(QFile::exists(logFolder() + QStringLiteral("/log.txt.%1.gz").arg(kRotations)),
                 qPrintable(QDir(logFolder()).entryList().join(u' ')));
        QVERIFY(m_boxes.shown.isEmpty());
    }

private:
    QString logFolder() const { return m_folder->filePath(QStringLiteral("router1/Corvane")); }

    // The shipped file, for the logs of this test's folder and rotated as this user.
    bool writeConfigForThisFolder(const QString &config) const
    {
        QString text = QString::fromUtf8(Contents(QStringLiteral(CORVANE_LOGROTATE_FILE)));
        if (!text.contains(kShippedPath) || !text.contains(kShippedUser))
            return false;
        const passwd *user = ::getpwuid(::geteuid());
        const group *group = ::getgrgid(::getegid());
        if (!user || !group)
            return false;
        text.replace(kShippedPath, m_folder->filePath(QStringLiteral("*/Corvane/log.txt")));
        text.replace(kShippedUser, QStringLiteral("su %1 %2")
                                       .arg(QString::fromLocal8Bit(user->pw_name),
                                            QString::fromLocal8Bit(group->gr_name)));
        QFile file(config);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    }

    std::optional<QTemporaryDir> m_folder;
    FakeWindowFields m_fields;
    FakeClock m_clock;
    NoEditor m_editor;
    FakeMessageBoxes m_boxes;
};

QTEST_GUILESS_MAIN(TestLogRotation)
#include "tst_log_rotation.moc"
