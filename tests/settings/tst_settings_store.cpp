#include "DroppedCapabilities.h"
#include "FakeMessageBoxes.h"
#include "IniSettingsStore.h"
#include "Settings.h"
#include "SettingsEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Reads what is on the disk: a store on another folder has no cached copy of the file.
std::optional<QString> ReadFromDisk(const QString &file, const QString &section, const QString &key)
{
    QTemporaryDir copyFolder;
    if (!QFile::copy(file, copyFolder.filePath(QStringLiteral("Vestrel.ini"))))
        return std::nullopt;
    IniSettingsStore store(copyFolder.path());
    return store.read(SettingsAppName, section, key);
}

enum class WriteFailure
{
    FolderIsRegularFile,
    ReadOnlyFolder,
    ReadOnlyFile,
    UnreadableFile,
    DiskFull,
};

// Makes writes in one folder fail for as long as it lives.
class FailingWrites
{
public:
    FailingWrites(WriteFailure failure, const QString &folder)
        : m_failure(failure), m_folder(folder)
    {
        if (m_failure == WriteFailure::FolderIsRegularFile) {
            QDir().rename(m_folder, m_folder + QStringLiteral(".aside"));
            WriteBytes(m_folder, "not a folder");
        } else if (m_failure == WriteFailure::DiskFull) {
            // A file-size limit binds root too; the write then fails as on a full disk.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_savedLimit);
            const rlimit limit{64, m_savedLimit.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        } else {
            QFile::setPermissions(target(), brokenPermissions());
        }
    }
    ~FailingWrites()
    {
        if (m_failure == WriteFailure::FolderIsRegularFile) {
            QFile::remove(m_folder);
            QDir().rename(m_folder + QStringLiteral(".aside"), m_folder);
        } else if (m_failure == WriteFailure::DiskFull) {
            setrlimit(RLIMIT_FSIZE, &m_savedLimit);
            std::signal(SIGXFSZ, SIG_DFL);
        } else {
            QFile::setPermissions(target(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    FailingWrites(const FailingWrites &) = delete;
    FailingWrites &operator=(const FailingWrites &) = delete;

private:
    QFile::Permissions brokenPermissions() const
    {
        if (m_failure == WriteFailure::ReadOnlyFolder)
            return QFile::ReadOwner | QFile::ExeOwner;
        return m_failure == WriteFailure::ReadOnlyFile ? QFile::ReadOwner : QFile::Permissions();
    }
    QString target() const
    {
        return m_failure == WriteFailure::ReadOnlyFolder
                   ? m_folder
                   : QDir(m_folder).filePath(QStringLiteral("Vestrel.ini"));
    }

    WriteFailure m_failure;
    QString m_folder;
    rlimit m_savedLimit{};
};

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_folder;
    std::unique_ptr<IniSettingsStore> m_store;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<Settings> m_settings;

    QString iniPath() const { return m_store->filePath(SettingsAppName); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_root.isValid());
        // A folder that does not exist yet: the first write creates it.
        m_folder = m_root.filePath(QStringLiteral("config-%1").arg(QTest::currentDataTag()));
        QDir(m_folder).removeRecursively();
        m_store = std::make_unique<IniSettingsStore>(m_folder);
        m_boxes.shown.clear();
        m_settings = std::make_unique<Settings>(*m_store, m_boxes);
    }

    void roundTripKeepsTextExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addRow("empty") << QString();
        QTest::addRow("caret command") << QStringLiteral("^m^m");
        QTest::addRow("invalid marker") << QStringLiteral("@Invalid()");
        QTest::addRow("doubled at") << QStringLiteral("@@x");
        QTest::addRow("list with blank") << QStringLiteral("a, b");
        QTest::addRow("blanks around") << QStringLiteral("  5  ");
        QTest::addRow("backslashes") << QStringLiteral("c:\\log.txt");
        QTest::addRow("comment characters") << QStringLiteral("; #x");
        QTest::addRow("line break") << QStringLiteral("a\r\nb");
        QTest::addRow("section header") << QStringLiteral("[Ports]");
        QTest::addRow("non ascii") << QStringLiteral("/home/jürgen/lög.txt");
        QTest::addRow("trailing backslash") << QStringLiteral("dir\\");
    }
    void roundTripKeepsTextExactly()
    {
        QFETCH(QString, value);
        m_settings->SaveValue(SettingsSection, QStringLiteral("FailCommand"), value);
        QVERIFY(m_boxes.shown.isEmpty());
        QCOMPARE(m_settings->GetValue(SettingsSection, QStringLiteral("FailCommand")), value);
        QVERIFY(m_settings->HasValue(SettingsSection, QStringLiteral("FailCommand")));
        QCOMPARE(ReadFromDisk(iniPath(), SettingsSection, QStringLiteral("FailCommand")), value);
    }

    void missingKeyReadsEmpty_data()
    {
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addRow("no file") << QByteArray();
        QTest::addRow("key without section") << QByteArray("Period=9\n");
    }
    void missingKeyReadsEmpty()
    {
        QFETCH(QByteArray, fileContent);
        if (!fileContent.isEmpty()) {
            QVERIFY(QDir().mkpath(m_folder));
            QVERIFY(WriteBytes(iniPath(), fileContent));
        }
        QCOMPARE(m_settings->GetValue(SettingsSection, QStringLiteral("Period")), QString());
        QVERIFY(!m_settings->HasValue(SettingsSection, QStringLiteral("Period")));
    }

    void failedWriteShowsRegistryBox_data()
    {
        QTest::addColumn<WriteFailure>("failure");
        QTest::addColumn<QString>("readMeanwhile");
        QTest::addRow("folder is a regular file") << WriteFailure::FolderIsRegularFile << "";
        QTest::addRow("read-only folder") << WriteFailure::ReadOnlyFolder << "5";
        QTest::addRow("read-only file") << WriteFailure::ReadOnlyFile << "5";
        QTest::addRow("unreadable file") << WriteFailure::UnreadableFile << "";
        QTest::addRow("disk full") << WriteFailure::DiskFull << "5";
    }
    void failedWriteShowsRegistryBox()
    {
        QFETCH(WriteFailure, failure);
        QFETCH(QString, readMeanwhile);

        m_settings->SaveValue(SettingsSection, QStringLiteral("FailTries"), QStringLiteral("5"));
        QVERIFY(m_boxes.shown.isEmpty());
        const QByteArray before = FileBytes(iniPath());
        const QString bigValue(200, u'9');
        {
            const FailingWrites failing(failure, m_folder);
            QString read;
            if (!RunHeldToFilePermissions([&] {
                    read = m_settings->GetValue(SettingsSection, QStringLiteral("FailTries"));
                    m_settings->SaveValue(SettingsSection, QStringLiteral("FailTries"), bigValue);
                }))
                QSKIP("cannot drop the capabilities that let root ignore file permissions");
            QCOMPARE(read, readMeanwhile);
            QCOMPARE(m_boxes.shown.size(), 1);
            QCOMPARE(m_boxes.shown[0].title, QStringLiteral("Registry"));
            QCOMPARE(m_boxes.shown[0].text,
                     QStringLiteral("Could not write to registry.\r\nVestrel\\\\LastValues\\\\"
                                    "FailTries"));
            QCOMPARE(int(m_boxes.shown[0].style), int(BoxStyle::OkExclamation));
        }
        // The old file stays whole, and no temporary file is left beside it.
        QCOMPARE(FileBytes(iniPath()), before);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Vestrel.ini"});
        // The failed value must not linger in memory and reach the disk with a later write.
        QCOMPARE(m_settings->GetValue(SettingsSection, QStringLiteral("FailTries")),
                 QStringLiteral("5"));
        m_settings->SaveValue(SettingsSection, QStringLiteral("Period"), QStringLiteral("60"));
        QCOMPARE(m_boxes.shown.size(), 1);
        QCOMPARE(ReadFromDisk(iniPath(), SettingsSection, QStringLiteral("FailTries")),
                 QStringLiteral("5"));
        QCOMPARE(ReadFromDisk(iniPath(), SettingsSection, QStringLiteral("Period")),
                 QStringLiteral("60"));
    }

    // One odd line used to make the whole file unreadable and unwritable. Now every good
    // key is read as written, and a key saved then removed leaves the file as it was,
    // so the save touched no other line.
    void handWrittenFilesAreReadAndKept_data()
    {
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");

        const QByteArray caretBackslash("[LastValues]\nFailCommand=AT^\\\nFailTries=8\n");
        QTest::addRow("comment lines")
            << QByteArray("# lab router\n[LastValues]\n  ; spare\nFailTries=8\n")
            << QStringLiteral("FailTries") << QStringLiteral("8");
        QTest::addRow("line without equals")
            << QByteArray("[LastValues]\nInit=Yes\nstray words\nFailTries=8\n[Ports]\n1=x\n")
            << QStringLiteral("FailTries") << QStringLiteral("8");
        QTest::addRow("unterminated section")
            << QByteArray("[Ports\n1=/dev/ttyS0\n[LastValues]\nFailTries=8\n")
            << QStringLiteral("FailTries") << QStringLiteral("8");
        QTest::addRow("Latin-1 comment, CR LF, no final line break")
            << QByteArray("; r\xe9seau\r\n[LastValues]\r\nFailLog=/tmp/l\xc3\xb6g")
            << QStringLiteral("FailLog") << QStringLiteral("/tmp/lög");
        QTest::addRow("Latin-1 value") << QByteArray("[LastValues]\nFailLog=/tmp/l\xf6g\n")
                                       << QStringLiteral("FailLog") << QStringLiteral("/tmp/lög");
        QTest::addRow("comma and semicolon")
            << QByteArray("[LastValues]\nFailCommand=AT,Z;x\n") << QStringLiteral("FailCommand")
            << QStringLiteral("AT,Z;x");
        QTest::addRow("caret backslash at the end")
            << caretBackslash << QStringLiteral("FailCommand") << QStringLiteral("AT^\\");
        QTest::addRow("key after a caret backslash")
            << caretBackslash << QStringLiteral("FailTries") << QStringLiteral("8");
        QTest::addRow("blanks around key and value")
            << QByteArray("[LastValues]\n\t FailTries =  8 \t\n") << QStringLiteral("FailTries")
            << QStringLiteral("8");
        QTest::addRow("names are case-sensitive")
            << QByteArray("[lastvalues]\nFailTries=1\n[LastValues]\nfailtries=2\n")
            << QStringLiteral("FailTries") << QString();
    }
    void handWrittenFilesAreReadAndKept()
    {
        QFETCH(QByteArray, fileContent);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(WriteBytes(iniPath(), fileContent));

        QCOMPARE(m_settings->GetValue(SettingsSection, key), value);
        m_settings->SaveValue(SettingsSection, QStringLiteral("Period"), QStringLiteral("60"));
        QCOMPARE(m_settings->GetValue(SettingsSection, QStringLiteral("Period")),
                 QStringLiteral("60"));
        QVERIFY(m_boxes.shown.isEmpty());

        SettingsEntry entry(*m_store, m_boxes);
        entry.SetAppName(SettingsAppName);
        entry.SetSection(SettingsSection);
        entry.SetKey(QStringLiteral("Period"));
        QVERIFY(!entry.RegDel().failed());
        // A last line without a line break has had one added, in the file's own style.
        const QByteArray lineBreak = fileContent.contains("\r\n") ? "\r\n" : "\n";
        QCOMPARE(FileBytes(iniPath()),
                 fileContent.endsWith('\n') ? fileContent : fileContent + lineBreak);
    }

    void skippedLinesAreReported()
    {
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(WriteBytes(iniPath(), "[LastValues]\nInit=Yes\nstray\n"));
        QCOMPARE(m_store->skippedLinesReport(SettingsAppName),
                 QStringLiteral("The settings file %1 has lines that are not settings, which "
                                "were skipped: 3.")
                     .arg(iniPath()));
        QVERIFY(WriteBytes(iniPath(), "# lab\n\n[LastValues]\n= 5\nInit=Yes\n[Ports\n3"));
        QCOMPARE(m_store->skippedLinesReport(SettingsAppName),
                 QStringLiteral("The settings file %1 has lines that are not settings, which "
                                "were skipped: 4, 6, 7.")
                     .arg(iniPath()));
        // A key above the first section belongs to none, and nothing reads it.
        QVERIFY(WriteBytes(iniPath(), "# lab\nFailTries=3\n[LastValues]\nInit=Yes\n"));
        QCOMPARE(m_store->skippedLinesReport(SettingsAppName),
                 QStringLiteral("The settings file %1 has lines that are not settings, which "
                                "were skipped: 2.")
                     .arg(iniPath()));
        QVERIFY(WriteBytes(iniPath(), "# lab\n[LastValues]\nInit=Yes\n"));
        QCOMPARE(m_store->skippedLinesReport(SettingsAppName), QString());
    }

    // Files written by the earlier version, which stored through QSettings, read the
    // same, and keep doing so after a save of another key.
    void earlierFilesReadTheSame_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addRow("list with blank") << QStringLiteral("a, b");
        QTest::addRow("backslash") << QStringLiteral("c:\\log.txt");
        QTest::addRow("caret backslash") << QStringLiteral("AT^\\");
        QTest::addRow("blanks around") << QStringLiteral("  5  ");
        QTest::addRow("quotes") << QStringLiteral("say \"hi\"");
        QTest::addRow("line break and tab") << QStringLiteral("a\r\n\tb");
        QTest::addRow("control character") << QStringLiteral("\x01"
                                                             "b");
        QTest::addRow("doubled at") << QStringLiteral("@@x");
        QTest::addRow("quoted at") << QStringLiteral("@a,b");
        QTest::addRow("non ascii") << QStringLiteral("/home/jürgen/€");
    }
    void earlierFilesReadTheSame()
    {
        QFETCH(QString, value);
        QVERIFY(QDir().mkpath(m_folder));
        {
            QSettings earlier(iniPath(), QSettings::IniFormat);
            earlier.setValue(QStringLiteral("LastValues/Init"), QStringLiteral("Yes"));
            earlier.setValue(QStringLiteral("LastValues/FailCommand"), value);
            earlier.setValue(QStringLiteral("Ports/1"), value);
        }
        QCOMPARE(m_store->read(SettingsAppName, SettingsSection, QStringLiteral("FailCommand")),
                 value);
        m_settings->SaveValue(SettingsSection, QStringLiteral("Period"), QStringLiteral("60"));
        QVERIFY(m_boxes.shown.isEmpty());
        QCOMPARE(m_store->read(SettingsAppName, SettingsSection, QStringLiteral("FailCommand")),
                 value);
        QCOMPARE(m_store->read(SettingsAppName, QStringLiteral("Ports"), QStringLiteral("1")),
                 value);
        QCOMPARE(m_store->skippedLinesReport(SettingsAppName), QString());
    }

    void writesGoThroughLinksAndKeepPermissions_data()
    {
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<int>("permissions");
        QTest::addRow("regular file") << QString() << 0640;
        QTest::addRow("relative link") << QStringLiteral("../real/Vestrel.ini") << 0600;
        QTest::addRow("chain of links") << QStringLiteral("../real/chain.ini") << 0604;
    }
    void writesGoThroughLinksAndKeepPermissions()
    {
        QFETCH(QString, linkTo);
        QFETCH(int, permissions);
        QVERIFY(QDir().mkpath(m_folder));
        const QString realFolder = m_root.filePath(QStringLiteral("real"));
        QVERIFY(QDir().mkpath(realFolder));
        const QString realFile =
            linkTo.isEmpty() ? iniPath() : QDir(realFolder).filePath(QStringLiteral("Vestrel.ini"));
        QVERIFY(WriteBytes(realFile, "[LastValues]\nInit=Yes\n"));
        QCOMPARE(::chmod(QFile::encodeName(realFile).constData(), mode_t(permissions)), 0);
        if (!linkTo.isEmpty()) {
            QFile::remove(QDir(realFolder).filePath(QStringLiteral("chain.ini")));
            QVERIFY(QFile::link(QStringLiteral("Vestrel.ini"),
                                QDir(realFolder).filePath(QStringLiteral("chain.ini"))));
            QVERIFY(QFile::link(linkTo, iniPath()));
        }

        m_settings->SaveValue(SettingsSection, QStringLiteral("Period"), QStringLiteral("60"));
        QVERIFY(m_boxes.shown.isEmpty());
        QCOMPARE(FileBytes(realFile), QByteArray("[LastValues]\nInit=Yes\nPeriod=60\n"));
        QCOMPARE(QFileInfo(iniPath()).isSymLink(), !linkTo.isEmpty());
        struct stat status = {};
        QCOMPARE(::stat(QFile::encodeName(realFile).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), permissions);
    }

    // A FIFO in place of the file would hold a blocking open() forever.
    void onlyRegularFilesAreUsed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addRow("fifo") << QStringLiteral("fifo");
        QTest::addRow("link to a fifo") << QStringLiteral("link");
        QTest::addRow("folder") << QStringLiteral("folder");
    }
    void onlyRegularFilesAreUsed()
    {
        QFETCH(QString, kind);
        QVERIFY(QDir().mkpath(m_folder));
        const QString fifo =
            kind == QStringLiteral("link") ? m_folder + QStringLiteral(".fifo") : iniPath();
        if (kind == QStringLiteral("folder"))
            QVERIFY(QDir().mkpath(iniPath()));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        if (kind == QStringLiteral("link"))
            QVERIFY(QFile::link(fifo, iniPath()));

        QCOMPARE(m_store->read(SettingsAppName, SettingsSection, QStringLiteral("Init")),
                 std::nullopt);
        QVERIFY(!m_store->hasKeys(SettingsAppName, SettingsSection));
        const QString refusal = QStringLiteral("The settings file %1 is not a regular file.");
        const Outcome written = m_store->write(SettingsAppName, SettingsSection,
                                               QStringLiteral("Init"), QStringLiteral("Yes"));
        QCOMPARE(written.description(),
                 refusal.arg(kind == QStringLiteral("link") ? fifo : iniPath()));
        const Outcome removed =
            m_store->remove(SettingsAppName, SettingsSection, QStringLiteral("Init"));
        QVERIFY(removed.failed());
        QCOMPARE(QFileInfo(fifo).isFile(), false);
    }

    void handWrittenSectionsSurviveWrites()
    {
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(WriteBytes(iniPath(), "; the router's console\n[Ports]\n1=/dev/ttyUSB0\n"
                                      "2 = /dev/ttyS1 \\\n  \n[LastValues]\nInit=Yes\n"));
        m_settings->SaveValue(SettingsSection, QStringLiteral("AddrPri"), QStringLiteral("a"));
        m_settings->SaveValue(SettingsSection, QStringLiteral("AddrPri"), QStringLiteral("b"));
        QVERIFY(m_boxes.shown.isEmpty());
        QCOMPARE(FileBytes(iniPath()),
                 QByteArray("; the router's console\n[Ports]\n1=/dev/ttyUSB0\n"
                            "2 = /dev/ttyS1 \\\n  \n[LastValues]\nInit=Yes\nAddrPri=b\n"));
        QCOMPARE(ReadFromDisk(iniPath(), QStringLiteral("Ports"), QStringLiteral("1")),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ReadFromDisk(iniPath(), SettingsSection, QStringLiteral("Init")),
                 QStringLiteral("Yes"));
        QCOMPARE(ReadFromDisk(iniPath(), SettingsSection, QStringLiteral("AddrPri")),
                 QStringLiteral("b"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
