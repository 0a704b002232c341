#include "FileDescriptor.h"
#include "NotifySocket.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// A datagram socket of the test's own, bound where NOTIFY_SOCKET would name it: a
// path in the test's folder, or an abstract name made unique by the process id.
class Listener
{
public:
    explicit Listener(const QByteArray &address) : m_address(address)
    {
        m_socket.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_un bound = {};
        bound.sun_family = AF_UNIX;
        std::memcpy(bound.sun_path, address.constData(), std::size_t(address.size()));
        if (address.startsWith('@'))
            bound.sun_path[0] = '\0';
        else
            ::unlink(address.constData());
        const auto length =
            socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(address.size()) +
                      (address.startsWith('@') ? 0 : 1));
        m_bound = ::bind(m_socket.get(), reinterpret_cast<sockaddr *>(&bound), length) == 0;
    }
    bool isBound() const { return m_bound; }
    // What is queued, oldest first; waits for nothing.
    QByteArrayList drain() const
    {
        QByteArrayList states;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(m_socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got < 0)
                return states;
            states << QByteArray(buffer, got);
        }
    }
    void close() { m_socket.reset(); }

private:
    QByteArray m_address;
    FileDescriptor m_socket;
    bool m_bound = false;
};

QByteArray AbstractName()
{
    return "@corvane-test-notify-" + QByteArray::number(::getpid());
}

} // namespace

class TestNotifySocket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_folder.isValid()); }

    // What NOTIFY_SOCKET may hold; a value the socket cannot take sends nothing.
    void addresses_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("open");
        QTest::addRow("a path") << QByteArray("/run/user/1000/systemd/notify") << true;
        QTest::addRow("an abstract name")
            << QByteArray("@/org/freedesktop/systemd1/notify") << true;
        QTest::addRow("empty") << QByteArray() << false;
        QTest::addRow("a relative path") << QByteArray("run/notify") << false;
        QTest::addRow("'@' alone") << QByteArray("@") << false;
        QTest::addRow("'/' alone, the shortest path") << QByteArray("/") << false;
        QTest::addRow("a path of 107, with room for its NUL")
            << QByteArray('/' + QByteArray(106, 'a')) << true;
        QTest::addRow("a path of 108, without") << QByteArray('/' + QByteArray(107, 'a')) << false;
    }
    void addresses()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, open);
        const NotifySocket socket(address);
        QCOMPARE(socket.isOpen(), open);
        if (!open)
            QVERIFY(!socket.send("READY=1"));
    }

    void delivers_data()
    {
        QTest::addColumn<bool>("abstract");
        QTest::addColumn<bool>("listening");
        QTest::addRow("a path") << false << true;
        QTest::addRow("an abstract name") << true << true;
        QTest::addRow("a path nobody listens at any more") << false << false;
        QTest::addRow("an abstract name nobody listens at any more") << true << false;
    }
    void delivers()
    {
        QFETCH(bool, abstract);
        QFETCH(bool, listening);
        const QByteArray address =
            abstract ? AbstractName() : QFile::encodeName(m_folder.filePath(QStringLiteral("n")));
        Listener listener(address);
        QVERIFY(listener.isBound());
        if (!listening)
            listener.close();
        const NotifySocket socket(address);
        QVERIFY(socket.isOpen());
        QCOMPARE(socket.send("STATUS=primary 12 ms"), listening);
        if (listening)
            QCOMPARE(listener.drain(), QByteArrayList{"STATUS=primary 12 ms"});
    }

    // A manager that stops reading: its queue fills, and each send after that,
    // the stop's among them, is dropped at once instead of waiting for a reader.
    void neverWaitsForAReader_data()
    {
        QTest::addColumn<bool>("abstract");
        QTest::addRow("a path") << false;
        QTest::addRow("an abstract name") << true;
    }
    void neverWaitsForAReader()
    {
        QFETCH(bool, abstract);
        const QByteArray address =
            abstract ? AbstractName() : QFile::encodeName(m_folder.filePath(QStringLiteral("n")));
        Listener listener(address);
        QVERIFY(listener.isBound());
        const NotifySocket socket(address);

        // On a thread of its own, so that a send that blocks shows as a failure here
        // rather than as a test that never ends.
        std::atomic<bool> done = false;
        int dropped = 0;
        bool stopSent = true;
        std::thread watch([&] {
            // Far more than any queue holds.
            for (int ping = 0; ping < 20'000; ++ping)
                dropped += socket.send("WATCHDOG=1") ? 0 : 1;
            stopSent = socket.send("STOPPING=1\nSTATUS=Stopping.");
            done = true;
        });
        // Filling a queue takes milliseconds; a minute is not reached without a send
        // that waits for the reader.
        QElapsedTimer waited;
        waited.start();
        while (!done && waited.elapsed() < 60'000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const bool finished = done;
        // A blocked send returns once the queue has room.
        while (!done)
            listener.drain();
        watch.join();
        QVERIFY2(finished, "a send waited for the reader");
        QVERIFY(dropped > 0);
        QVERIFY(!stopSent);
        // What went first is there, whole, in order.
        const QByteArrayList queued = listener.drain();
        QCOMPARE(queued.size(), 20'000 - dropped);
        QCOMPARE(queued.value(0), QByteArray("WATCHDOG=1"));
    }

private:
    QTemporaryDir m_folder;
};

QTEST_APPLESS_MAIN(TestNotifySocket)
#include "tst_notify_socket.moc"
