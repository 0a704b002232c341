#include "JournalMirror.h"

#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A pipe in place of the journal's stream, read from a thread when the test lets it,
// or after a few seconds whatever the test does: a send or a destruction that waits
// for the reader then fails on its time instead of hanging.
class Stream
{
public:
    Stream()
    {
        m_ready = ::pipe2(m_ends, O_CLOEXEC) == 0;
        // One page: a stuck stream is quick to fill, and a long line takes many writes.
        ::fcntl(m_ends[1], F_SETPIPE_SZ, 4096);
    }
    ~Stream()
    {
        closeWriteEnd();
        release();
        if (m_reader.joinable())
            m_reader.join();
        ::close(m_ends[0]);
    }

    bool ready() const { return m_ready; }
    int writeEnd() const { return m_ends[1]; }

    // Leaves no room: the next write blocks until the reader reads.
    bool fill()
    {
        ::fcntl(m_ends[1], F_SETFL, O_NONBLOCK);
        while (::write(m_ends[1], "#\n", 2) == 2) {
        }
        const bool full = errno == EAGAIN;
        ::fcntl(m_ends[1], F_SETFL, 0);
        return full;
    }

    // What the stream holds now, without waiting for more.
    QByteArray waiting()
    {
        ::fcntl(m_ends[0], F_SETFL, O_NONBLOCK);
        QByteArray bytes;
        char buffer[4096];
        ssize_t size = 0;
        while ((size = ::read(m_ends[0], buffer, sizeof buffer)) > 0)
            bytes.append(buffer, size);
        ::fcntl(m_ends[0], F_SETFL, 0);
        return bytes;
    }

    void startReader(std::chrono::milliseconds latest)
    {
        m_reader = std::thread([this, latest] {
            {
                std::unique_lock lock(m_mutex);
                m_released.wait_for(lock, latest, [this] { return m_free; });
            }
            char buffer[4096];
            ssize_t size = 0;
            while ((size = ::read(m_ends[0], buffer, sizeof buffer)) > 0)
                m_received.append(buffer, size);
        });
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
    }
    // Everything written, once every writer has closed its end.
    QByteArray received()
    {
        closeWriteEnd();
        release();
        if (m_reader.joinable())
            m_reader.join();
        return m_received;
    }
    void closeWriteEnd()
    {
        if (m_ends[1] >= 0)
            ::close(std::exchange(m_ends[1], -1));
    }

private:
    int m_ends[2] = {-1, -1};
    bool m_ready = false;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_free = false;
    std::thread m_reader;
    QByteArray m_received;
};

QByteArray Line(int number, int bytes)
{
    QByteArray line = "<6>line " + QByteArray::number(number) + ' ';
    return line + QByteArray(std::max(0, bytes - int(line.size()) - 1), 'x') + '\n';
}

// Every line sent arrived whole and in order, or was told as missing where it would
// have been, each gap once.
struct Accounting
{
    int told = 0;
    // Why the stream is wrong; empty when it is right.
    QString fault;
};

Accounting Account(const QByteArray &received, int sent, int bytes)
{
    static const QRegularExpression notice(
        QStringLiteral("^<4>The journal took nothing for a while: (\\d+) log entr(y is|ies are) "
                       "missing here\\.$"));
    int next = 0;
    int gap = 0;
    int told = 0;
    QByteArrayList lines = received.split('\n');
    if (lines.takeLast() != QByteArray())
        return {0, QStringLiteral("the last line has no end")};
    for (const QByteArray &line : std::as_const(lines)) {
        if (line == "#" && next == 0 && told == 0)
            continue;
        const QRegularExpressionMatch match = notice.match(QString::fromUtf8(line));
        if (match.hasMatch()) {
            if (gap > 0)
                return {0, QStringLiteral("a gap told twice")};
            gap = match.captured(1).toInt();
            told += gap;
            continue;
        }
        const int number = line.split(' ').value(1).toInt();
        if (line + '\n' != Line(number, bytes))
            return {0, QStringLiteral("not a line sent: ") + QString::fromUtf8(line.left(60))};
        if (number != next + gap)
            return {0, QStringLiteral("line %1 after line %2 and %3 told")
                           .arg(number)
                           .arg(next - 1)
                           .arg(gap)};
        next = number + 1;
        gap = 0;
    }
    if (next + gap != sent)
        return {0, QStringLiteral("%1 lines neither arrived nor were told").arg(sent - next - gap)};
    return {told, {}};
}

} // namespace

class TestJournalMirror : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A stuck stream holds neither a send nor the end; the lines queued go out when
    // it moves again, and those that found the queue full are told.
    void everyLineArrivesOrIsTold_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("queued");
        QTest::addColumn<bool>("stuck");
        QTest::addColumn<int>("fewestDrops");
        QTest::addColumn<int>("mostDrops");
        QTest::addRow("read as they come") << 1000 << 40 << 1000 << false << 0 << 0;
        QTest::addRow("lines longer than the stream holds") << 20 << 20000 << 20 << false << 0 << 0;
        // While stuck, one line is in the writer's write and the queue fills behind it.
        QTest::addRow("stuck, at the queue's size") << 256 << 40 << 256 << true << 0 << 0;
        QTest::addRow("stuck, two above it") << 258 << 40 << 256 << true << 1 << 2;
        QTest::addRow("stuck, 10,000 lines") << 10000 << 40 << 256 << true << 9743 << 9744;
    }
    void everyLineArrivesOrIsTold()
    {
        QFETCH(int, lines);
        QFETCH(int, bytes);
        QFETCH(int, queued);
        QFETCH(bool, stuck);
        QFETCH(int, fewestDrops);
        QFETCH(int, mostDrops);
        Stream stream;
        QVERIFY(stream.ready());
        if (stuck)
            QVERIFY(stream.fill());
        stream.startReader(stuck ? 3s : 0s);

        QElapsedTimer timer;
        timer.start();
        qint64 sendMs = 0;
        {
            JournalMirror mirror(stream.writeEnd(), std::size_t(queued));
            for (int number = 0; number < lines; ++number)
                mirror.send(Line(number, bytes));
            sendMs = timer.restart();
        }
        const qint64 endMs = timer.elapsed();
        const auto account = Account(stream.received(), lines, bytes);

        if (stuck) {
            QVERIFY2(sendMs < 1000, qPrintable(QStringLiteral("%1 ms to send").arg(sendMs)));
            QVERIFY2(endMs < 1000, qPrintable(QStringLiteral("%1 ms to end").arg(endMs)));
        }
        QVERIFY2(account.fault.isEmpty(), qPrintable(account.fault));
        QVERIFY2(account.told >= fewestDrops && account.told <= mostDrops,
                 qPrintable(QString::number(account.told)));
    }

    // The stop line is among the last: a stream that reads gets them before the
    // mirror is gone, and the program with it.
    void lastLinesGoOutBeforeTheEnd()
    {
        Stream stream;
        QVERIFY(stream.ready());
        QByteArray sent;
        {
            JournalMirror mirror(stream.writeEnd());
            for (int number = 0; number < 50; ++number) {
                mirror.send(Line(number, 40));
                sent += Line(number, 40);
            }
        }
        QCOMPARE(stream.waiting(), sent);
    }
};

QTEST_APPLESS_MAIN(TestJournalMirror)
#include "tst_journal_mirror.moc"
