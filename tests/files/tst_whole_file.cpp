#include "DroppedCapabilities.h"
#include "PathRig.h"
#include "WholeFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>

// Replacing a file whole: through what a link names, never over anything that is not
// a regular file, and never leaving half a file or a temporary one behind.
class WholeFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replaces_data()
    {
        QTest::addColumn<Standing>("standing");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("after");

        QTest::addRow("nothing there: made")
            << Standing::Nothing << QByteArray("new") << "file 644: new";
        QTest::addRow("regular file")
            << Standing::RegularFile << QByteArray("new") << "file 644: new";
        QTest::addRow("emptied") << Standing::RegularFile << QByteArray() << "file 644: ";
        QTest::addRow("link kept, its file replaced")
            << Standing::LinkToFile << QByteArray("new") << "link to file: file 644: new";
        QTest::addRow("chain of links kept") << Standing::LinkChain << QByteArray("new")
                                             << "link to middle: link to file: file 644: new";
        QTest::addRow("link that leads nowhere: its file made")
            << Standing::DanglingLink << QByteArray("new") << "link to file: file 644: new";
    }
    void replaces()
    {
        QFETCH(Standing, standing);
        QFETCH(QByteArray, content);
        QFETCH(QString, after);
        QTemporaryDir folder;
        ::umask(022);
        const Placed placed = Place(folder.path(), standing);

        QCOMPARE(WriteWholeFile(placed.path, content), std::nullopt);
        QCOMPARE(Describe(placed.path), after);
    }

    // The old file's permissions stay, whatever the process's mask would give a new one.
    void keepsTheOldPermissions()
    {
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), Standing::LinkToFile);
        QVERIFY(QFile::setPermissions(folder.filePath(QStringLiteral("file")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QCOMPARE(WriteWholeFile(placed.path, "new"), std::nullopt);
        QCOMPARE(Describe(placed.path), QStringLiteral("link to file: file 640: new"));
    }

    // Nothing that is not a regular file is ours to replace, behind a link or not, and
    // a path the system cannot follow is refused with its reason.
    void refuses_data() { AddRefusedPathRows("not a regular file"); }
    void refuses()
    {
        QFETCH(Standing, standing);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), standing);
        const QString before = Describe(placed.path);
        const QStringList entries = Entries(folder.path());

        const std::optional<QString> failure = WriteWholeFile(placed.path, "new");
        QVERIFY(failure);
        QVERIFY2(failure->contains(reason), qPrintable(*failure));
        QCOMPARE(Describe(placed.path), before);
        QCOMPARE(Entries(folder.path()), entries);
    }

    // A write that cannot be finished leaves the old file whole and no temporary file.
    void failsLeavingTheOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::addRow("read-only folder") << "folder"
                                          << "Permission denied";
        QTest::addRow("read-only file") << "file"
                                        << "not writable";
        QTest::addRow("disk full before the write") << "full"
                                                    << "No space left on device";
        QTest::addRow("disk fills within the write") << "fills"
                                                     << "No space left on device";
    }
    void failsLeavingTheOldFile()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString disk = folder.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkdir(disk));
        std::optional<QString> failure;
        QString after;
        QStringList entries;
        const auto attempt = [&] {
            const Placed placed = Place(disk, Standing::RegularFile);
            if (fault == u"folder")
                QFile::setPermissions(disk, QFile::ReadOwner | QFile::ExeOwner);
            if (fault == u"file")
                QFile::setPermissions(placed.path, QFile::ReadOwner);
            if (fault == u"full" || fault == u"fills")
                FillDisk(disk, fault == u"full" ? 0 : 8192);
            // Larger than what is left, and than the temporary file's first block.
            failure = WriteWholeFile(placed.path, QByteArray(64 * kKiB, 'n'));
            after = Describe(placed.path);
            entries = Entries(disk);
            QFile::setPermissions(disk, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        if (fault == u"folder" || fault == u"file") {
            if (!RunHeldToFilePermissions(attempt))
                QSKIP("cannot drop the capabilities that let root ignore file permissions");
        } else if (const std::optional<QString> refusal = RunOnSmallDisk(disk, 64, attempt)) {
            QSKIP(qPrintable(*refusal));
        }

        QVERIFY(failure);
        QVERIFY2(failure->contains(reason), qPrintable(*failure));
        QCOMPARE(after, QStringLiteral("file %1: ").arg(fault == u"file" ? 400 : 644) +
                            QString::fromLatin1(kOldContent));
        entries.removeOne(QStringLiteral("filler"));
        QCOMPARE(entries, QStringList{QStringLiteral("target")});
    }

    // Writers racing over one file: a reader sees one writer's content whole at every
    // moment, and no temporary file is left.
    void concurrentWritersLeaveOneWholeFile()
    {
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), Standing::LinkToFile);
        const QByteArray first(96 * kKiB, 'a');
        const QByteArray second(32 * kKiB, 'b');
        std::atomic<int> failures = 0;
        std::atomic<bool> writing = true;
        const auto writer = [&](const QByteArray &content) {
            for (int i = 0; i < 200; ++i)
                failures += WriteWholeFile(placed.path, content) ? 1 : 0;
        };
        int torn = 0;
        std::thread reader([&] {
            while (writing) {
                QFile file(placed.path);
                if (!file.open(QIODevice::ReadOnly)) {
                    ++torn;
                    continue;
                }
                const QByteArray seen = file.readAll();
                torn += seen == first || seen == second || seen == kOldContent ? 0 : 1;
            }
        });
        std::thread one(writer, first);
        std::thread other(writer, second);
        one.join();
        other.join();
        writing = false;
        reader.join();

        QCOMPARE(failures.load(), 0);
        QCOMPARE(torn, 0);
        QCOMPARE(Entries(folder.path()), QStringList({"file", "target"}));
        QVERIFY(QFileInfo(placed.path).isSymLink());
    }
};

QTEST_GUILESS_MAIN(WholeFileTest)
#include "tst_whole_file.moc"
