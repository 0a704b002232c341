#include "DescriptorDevice.h"
#include "FileDescriptor.h"

#include <QTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <thread>

namespace {

bool IsOpen(int descriptor)
{
    return ::fcntl(descriptor, F_GETFD) != -1;
}

// Both ends of a new pipe, owned.
struct Pipe
{
    Pipe()
    {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read.reset(ends[0]);
            write.reset(ends[1]);
        }
    }
    FileDescriptor read;
    FileDescriptor write;
};

// Reads everything until the write end is closed, starting after a pause so that the
// pipe fills up first.
QByteArray DrainLater(int descriptor)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QByteArray all;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return all;
        all.append(buffer, got);
    }
}

} // namespace

// Standard output that says why it failed, and the descriptor that closes itself once.
class DescriptorsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // As the process runs: a reader that has gone is an error, not a signal.
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); }

    // The first failure is kept, and nothing more is written after it: a full disk and
    // a reader that has gone are told apart.
    void writeFailures_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("failure");
        QTest::addColumn<bool>("readerGone");
        QTest::addRow("pipe with a reader") << "pipe" << 0 << false;
        QTest::addRow("reader gone") << "closed pipe" << EPIPE << true;
        QTest::addRow("full device") << "/dev/full" << ENOSPC << false;
        QTest::addRow("descriptor closed") << "closed" << EBADF << false;
        QTest::addRow("descriptor open to read only") << "/dev/null" << EBADF << false;
    }
    void writeFailures()
    {
        QFETCH(QString, target);
        QFETCH(int, failure);
        QFETCH(bool, readerGone);
        Pipe pipe;
        FileDescriptor device;
        int number = pipe.write.get();
        if (target == u"closed pipe")
            pipe.read.reset();
        if (target == u"closed")
            pipe.write.reset();
        if (target.startsWith(u'/')) {
            device.reset(::open(target.toLatin1().constData(),
                                (target == u"/dev/full" ? O_WRONLY : O_RDONLY) | O_CLOEXEC));
            if (!device.isValid())
                QSKIP("this system lacks the device");
            number = device.get();
        }
        DescriptorDevice output(number);

        const qint64 first = output.write("first line\n");
        const qint64 second = output.write("second\n");

        QCOMPARE(output.failure(), failure);
        QCOMPARE(output.readerGone(), readerGone);
        QCOMPARE(first, failure == 0 ? qint64(11) : qint64(-1));
        QCOMPARE(second, failure == 0 ? qint64(7) : qint64(-1));
        if (failure != 0)
            QCOMPARE(output.errorString(), QString::fromLocal8Bit(std::strerror(failure)));
        if (target == u"pipe") {
            pipe.write.reset();
            QCOMPARE(DrainLater(pipe.read.get()), QByteArray("first line\nsecond\n"));
        }
    }

    // A pipe whose reader is slower than the report fills up: the write waits for room
    // and goes whole, on a descriptor set not to block too (its flags are shared with
    // whoever else holds it).
    void fullPipeWaitsForTheReader_data()
    {
        QTest::addColumn<bool>("nonBlocking");
        QTest::addRow("blocking") << false;
        QTest::addRow("non-blocking") << true;
    }
    void fullPipeWaitsForTheReader()
    {
        QFETCH(bool, nonBlocking);
        Pipe pipe;
        if (nonBlocking)
            QCOMPARE(::fcntl(pipe.write.get(), F_SETFL, O_NONBLOCK), 0);
        // Many times a pipe's default room.
        const QByteArray report(qsizetype(1) << 20, 'r');
        QByteArray read;
        std::thread reader([&] { read = DrainLater(pipe.read.get()); });
        qint64 written = 0;
        int failure = 0;
        {
            DescriptorDevice device(pipe.write.get());
            written = device.write(report);
            failure = device.failure();
        }
        pipe.write.reset();
        reader.join();

        QCOMPARE(failure, 0);
        QCOMPARE(written, report.size());
        QCOMPARE(read.size(), report.size());
    }

    // Each descriptor is closed once, by its one owner: a number closed twice may by
    // then belong to another file.
    void closesOnce_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("firstOpen");
        QTest::addColumn<bool>("secondOpen");
        QTest::addRow("out of scope: closed") << "scope" << false << true;
        QTest::addRow("released: left open") << "release" << true << true;
        QTest::addRow("moved from: closed by the new owner only") << "move" << true << true;
        QTest::addRow("move-assigned over another: that one closed") << "assign" << false << false;
        QTest::addRow("moved onto itself: kept") << "self" << false << true;
        QTest::addRow("reset to another: the first closed") << "reset" << true << false;
        QTest::addRow("reset twice: closed once") << "reset twice" << true << true;
    }
    void closesOnce()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, firstOpen);
        QFETCH(bool, secondOpen);
        Pipe pipe;
        const int first = pipe.read.release();
        const int second = pipe.write.release();
        // Another file that takes the number first had once it is free, as the next
        // open would: closing that number again would close this file.
        FileDescriptor reused;
        const auto reuseFirst = [&] {
            QVERIFY(!IsOpen(first));
            reused.reset(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, first));
            QCOMPARE(reused.get(), first);
        };

        if (scenario == u"scope") {
            FileDescriptor owner(first);
        } else if (scenario == u"release") {
            FileDescriptor owner(first);
            QCOMPARE(owner.release(), first);
        } else if (scenario == u"move") {
            FileDescriptor owner(first);
            {
                const FileDescriptor next(std::move(owner));
            }
            reuseFirst();
        } else if (scenario == u"assign") {
            FileDescriptor other(second);
            {
                FileDescriptor owner(first);
                other = std::move(owner);
                QVERIFY(!IsOpen(second));
            }
            QVERIFY(IsOpen(first));
        } else if (scenario == u"self") {
            FileDescriptor owner(first);
            FileDescriptor &same = owner;
            owner = std::move(same);
            QCOMPARE(owner.get(), first);
            QVERIFY(IsOpen(first));
        } else if (scenario == u"reset") {
            FileDescriptor owner(first);
            owner.reset(second);
            reuseFirst();
        } else if (scenario == u"reset twice") {
            FileDescriptor owner(first);
            owner.reset();
            reuseFirst();
            owner.reset();
        }

        QCOMPARE(IsOpen(first), firstOpen);
        QCOMPARE(IsOpen(second), secondOpen);
        if (firstOpen && !reused.isValid())
            ::close(first);
        if (secondOpen)
            ::close(second);
    }
};

QTEST_GUILESS_MAIN(DescriptorsTest)
#include "tst_descriptors.moc"
