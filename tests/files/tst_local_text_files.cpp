#include "DroppedCapabilities.h"
#include "LocalTextFiles.h"
#include "PathRig.h"

#include <QTemporaryDir>
#include <QTest>

#include <latch>

// Appending to a local file: only to a regular file or what a link names, each entry
// whole or not at all, and every failure with its reason.
class LocalTextFilesTest : public QObject
{
    Q_OBJECT

    // Opens path, writes one line to it and closes it: the first failure, if any.
    static std::optional<QString> AppendLine(const QString &path, const QString &line)
    {
        LocalTextFiles files;
        Outcome outcome;
        std::unique_ptr<AppendFile> file = files.openForAppend(path, outcome);
        if (!file)
            return outcome.description();
        if (outcome = file->writeLine(line); !outcome.failed())
            outcome = file->close();
        return outcome.failed() ? std::optional(outcome.description()) : std::nullopt;
    }

private Q_SLOTS:
    void appends_data()
    {
        QTest::addColumn<Standing>("standing");
        QTest::addColumn<QString>("after");
        QTest::addRow("nothing there: made") << Standing::Nothing << "file 644: new\r\n";
        QTest::addRow("regular file") << Standing::RegularFile << "file 644: old\r\nnew\r\n";
        QTest::addRow("through a link")
            << Standing::LinkToFile << "link to file: file 644: old\r\nnew\r\n";
        QTest::addRow("through a chain of links")
            << Standing::LinkChain << "link to middle: link to file: file 644: old\r\nnew\r\n";
        QTest::addRow("link that leads nowhere: its file made")
            << Standing::DanglingLink << "link to file: file 644: new\r\n";
    }
    void appends()
    {
        QFETCH(Standing, standing);
        QFETCH(QString, after);
        QTemporaryDir folder;
        ::umask(022);
        const Placed placed = Place(folder.path(), standing);

        QCOMPARE(AppendLine(placed.path, QStringLiteral("new")), std::nullopt);
        QCOMPARE(Describe(placed.path), after);
    }

    void endsMidLine_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("midLine");
        QTest::addRow("empty") << QByteArray() << false;
        QTest::addRow("one byte, not a line end") << QByteArray("x") << true;
        QTest::addRow("line feed") << QByteArray("x\n") << false;
        QTest::addRow("carriage return alone") << QByteArray("x\r") << true;
    }
    void endsMidLine()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, midLine);
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("log")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        LocalTextFiles files;
        Outcome outcome;
        const std::unique_ptr<AppendFile> appended = files.openForAppend(file.fileName(), outcome);
        QVERIFY2(appended, qPrintable(outcome.description()));
        QCOMPARE(appended->endsMidLine(), midLine);
    }

    // Anything but a regular file would take the entry where nobody reads it, or hold
    // the program in open(2); each is refused at once, and nothing is made.
    void refuses_data() { AddRefusedPathRows("Is a directory"); }
    void refuses()
    {
        QFETCH(Standing, standing);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), standing);
        const QString before = Describe(placed.path);
        const QStringList entries = Entries(folder.path());

        const std::optional<QString> failure = AppendLine(placed.path, QStringLiteral("new"));
        QVERIFY(failure);
        QVERIFY2(failure->contains(reason) && failure->contains(placed.path), qPrintable(*failure));
        QCOMPARE(Describe(placed.path), before);
        QCOMPARE(Entries(folder.path()), entries);
    }

    // An entry that cannot go in whole leaves the file as it was.
    void failsLeavingTheFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Standing>("standing");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("after");
        QTest::addRow("read-only folder") << "folder" << Standing::Nothing << "Permission denied"
                                          << "nothing";
        QTest::addRow("read-only file") << "file" << Standing::RegularFile << "Permission denied"
                                        << "file 400: old\r\n";
        QTest::addRow("disk full before the entry")
            << "full" << Standing::Nothing << "No space left on device"
            << "file 644: ";
        QTest::addRow("disk fills within the entry")
            << "fills" << Standing::RegularFile << "bytes could be written to"
            << "file 644: old\r\n";
    }
    void failsLeavingTheFile()
    {
        QFETCH(QString, fault);
        QFETCH(Standing, standing);
        QFETCH(QString, reason);
        QFETCH(QString, after);
        QTemporaryDir folder;
        const QString disk = folder.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkdir(disk));
        std::optional<QString> failure;
        QString found;
        const auto attempt = [&] {
            ::umask(022);
            const Placed placed = Place(disk, standing);
            if (fault == u"folder")
                QFile::setPermissions(disk, QFile::ReadOwner | QFile::ExeOwner);
            if (fault == u"file")
                QFile::setPermissions(placed.path, QFile::ReadOwner);
            if (fault == u"full" || fault == u"fills")
                FillDisk(disk, fault == u"full" ? 0 : 8192);
            failure = AppendLine(placed.path, QString(64 * kKiB, u'n'));
            found = Describe(placed.path);
            QFile::setPermissions(disk, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        if (fault == u"folder" || fault == u"file") {
            if (!RunHeldToFilePermissions(attempt))
                QSKIP("cannot drop the capabilities that let root ignore file permissions");
        } else if (const std::optional<QString> refusal = RunOnSmallDisk(disk, 64, attempt)) {
            QSKIP(qPrintable(*refusal));
        }

        QVERIFY(failure);
        QVERIFY2(failure->contains(reason) && !failure->contains(u"stay there"),
                 qPrintable(*failure));
        QCOMPARE(found, after);
    }

    // A file that has been closed takes nothing more; one dropped unclosed writes nothing.
    void afterClose_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("fails");
        QTest::addRow("written after close") << "write" << true;
        QTest::addRow("closed twice") << "close" << true;
        QTest::addRow("dropped unclosed") << "drop" << false;
    }
    void afterClose()
    {
        QFETCH(QString, step);
        QFETCH(bool, fails);
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), Standing::RegularFile);
        LocalTextFiles files;
        Outcome outcome;
        std::unique_ptr<AppendFile> file = files.openForAppend(placed.path, outcome);
        QVERIFY(file);
        QVERIFY(!file->writeLine(QStringLiteral("one")).failed());
        if (step == u"drop")
            file.reset();
        else
            QVERIFY(!file->close().failed());

        if (step == u"write")
            outcome = file->writeLine(QStringLiteral("two"));
        if (step == u"close")
            outcome = file->close();
        QCOMPARE(outcome.failed(), fails);
        if (fails)
            QVERIFY2(outcome.description().contains(u"already closed"),
                     qPrintable(outcome.description()));
        QCOMPARE(Describe(placed.path),
                 QStringLiteral("file 644: old\r\n") +
                     (step == u"drop" ? QString() : QStringLiteral("one\r\n")));
    }

    // Two files open on one path at once: each entry goes in whole, in the order they
    // are closed.
    void entriesGoInWholeInTheOrderClosed()
    {
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), Standing::RegularFile);
        LocalTextFiles files;
        Outcome outcome;
        std::unique_ptr<AppendFile> first = files.openForAppend(placed.path, outcome);
        std::unique_ptr<AppendFile> second = files.openForAppend(placed.path, outcome);
        QVERIFY(first && second);
        first->write(QStringLiteral("first "));
        second->write(QStringLiteral("second "));
        first->writeLine(QStringLiteral("ends"));
        second->writeLine(QStringLiteral("ends"));
        QVERIFY(!second->close().failed());
        QVERIFY(!first->close().failed());
        QCOMPARE(Describe(placed.path),
                 QStringLiteral("file 644: old\r\nsecond ends\r\nfirst ends\r\n"));
    }

    // Writers racing to append: every entry lands whole, none is lost.
    void concurrentWritersKeepEveryEntryWhole()
    {
        QTemporaryDir folder;
        const Placed placed = Place(folder.path(), Standing::Nothing);
        constexpr int kEntries = 400;
        std::latch start(2);
        const auto writer = [&](QChar letter, int &failures) {
            start.arrive_and_wait();
            for (int i = 0; i < kEntries; ++i)
                failures += AppendLine(placed.path, QString(32 * kKiB, letter)) ? 1 : 0;
        };
        int failuresA = 0;
        int failuresB = 0;
        std::thread one(writer, QChar(u'a'), std::ref(failuresA));
        std::thread other(writer, QChar(u'b'), std::ref(failuresB));
        one.join();
        other.join();

        QCOMPARE(failuresA + failuresB, 0);
        QFile file(placed.path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> entries = file.readAll().split('\n');
        QCOMPARE(entries.takeLast(), QByteArray());
        QCOMPARE(entries.size(), 2 * kEntries);
        for (const QByteArray &entry : std::as_const(entries))
            QVERIFY(entry == QByteArray(32 * kKiB, 'a') + '\r' ||
                    entry == QByteArray(32 * kKiB, 'b') + '\r');
    }
};

QTEST_GUILESS_MAIN(LocalTextFilesTest)
#include "tst_local_text_files.moc"
