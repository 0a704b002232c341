#include "LinkTestRig.h"
#include "PortDevice.h"
#include "PortOpenFailure.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Counts the event loop's wake-ups for a descriptor: a socket notifier's activation.
class DescriptorWakeUps final : public QObject
{
public:
    DescriptorWakeUps() { QCoreApplication::instance()->installEventFilter(this); }
    ~DescriptorWakeUps() override { QCoreApplication::instance()->removeEventFilter(this); }

    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::SockAct;
        return false;
    }
};

// How often rounds turns of the event loop woke for a descriptor. A port left
// watching a dead device wakes it at every turn and keeps a processor busy; counted
// in turns, not in processor time, the verdict does not depend on the machine's
// load (bench_port_load measures the time).
int WakeUpsInTurns(int rounds)
{
    DescriptorWakeUps wakeUps;
    for (int round = 0; round < rounds; ++round)
        QCoreApplication::processEvents();
    return wakeUps.count;
}

constexpr int kTurns = 200;
// A port that notices a hang-up reads once, finds the end, and closes: a few turns.
constexpr int kMostWakeUps = 3;

// While it lives, the process's groups are nobody's alone; root may take its own back.
class GroupsOfNobody
{
public:
    GroupsOfNobody()
    {
        const int count = ::getgroups(int(std::size(m_groups)), m_groups);
        m_count = count > 0 ? count : 0;
        m_group = ::getegid();
        QVERIFY(::setgroups(0, nullptr) == 0 && ::setegid(65534) == 0);
    }
    ~GroupsOfNobody()
    {
        if (::setegid(m_group) != 0 || ::setgroups(std::size_t(m_count), m_groups) != 0)
            qFatal("the test's own groups could not be taken back");
    }
    GroupsOfNobody(const GroupsOfNobody &) = delete;
    GroupsOfNobody &operator=(const GroupsOfNobody &) = delete;

private:
    gid_t m_groups[256] = {};
    int m_count = 0;
    gid_t m_group = 0;
};

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The router console's own settings are checked through the link's open.
    void appliesLineSettings_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("controlFlags");
        QTest::addColumn<QString>("failure");

        QTest::addRow("two stop bits") << "19200,N,8,2" << int(B19200) << int(CS8 | CSTOPB) << "";
        // A pseudo-terminal keeps 8 bits without parity whatever it is told; the open
        // must notice instead of carrying on with other settings than asked for.
        QTest::addRow("parity the device ignores") << "4800,E,7,1" << 0 << 0 << "did not take";
        QTest::addRow("nine data bits") << "9600,N,9,1" << 0 << 0 << "\"9600,N,9,1\"";
        QTest::addRow("speed not a number") << "fast,N,8,1" << 0 << 0 << "\"fast,N,8,1\"";
        QTest::addRow("unknown parity") << "9600,X,8,1" << 0 << 0 << "\"9600,X,8,1\"";
        QTest::addRow("stop bits missing") << "9600,N,8" << 0 << 0 << "\"9600,N,8\"";
        QTest::addRow("empty") << "" << 0 << 0 << "\"\"";
    }
    void appliesLineSettings()
    {
        QFETCH(QString, settings);
        QFETCH(int, speed);
        QFETCH(int, controlFlags);
        QFETCH(QString, failure);
        PseudoTerminal terminal;
        QVERIFY(terminal.isValid());
        QtSerialPort port([&](int) { return terminal.slavePath(); });

        const Outcome set = port.setSettings(settings);
        const Outcome outcome = set.failed() ? set : port.setPortOpen(true);

        QVERIFY2(outcome.description().contains(failure), qPrintable(outcome.description()));
        QCOMPARE(outcome.failed(), !failure.isEmpty());
        QCOMPARE(port.isOpen(), failure.isEmpty());
        if (!port.isOpen())
            return;
        termios attributes{};
        QCOMPARE(tcgetattr(terminal.slave(), &attributes), 0);
        QCOMPARE(int(cfgetospeed(&attributes)), speed);
        QCOMPARE(int(attributes.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)), controlFlags);
    }

    // A relay hangs on a modem line. A pseudo-terminal has none, so the driver's refusal
    // must come back as a failure, not as a relay believed to have moved; a closed port
    // says so.
    void modemLineRefusalIsReported_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("failure");
        QTest::addRow("DTR on a pseudo-terminal")
            << int(ModemLine::Dtr) << true << "Setting DTR on";
        QTest::addRow("RTS on a pseudo-terminal")
            << int(ModemLine::Rts) << true << "Setting RTS on";
        QTest::addRow("closed port") << int(ModemLine::Dtr) << false << "is not open";
    }
    void modemLineRefusalIsReported()
    {
        QFETCH(int, line);
        QFETCH(bool, open);
        QFETCH(QString, failure);
        PseudoTerminal terminal;
        QVERIFY(terminal.isValid());
        QtSerialPort port([&](int) { return terminal.slavePath(); });
        QVERIFY(port.setSettings(QStringLiteral("9600,N,8,1")).failed() == false);
        if (open)
            QVERIFY(!port.setPortOpen(true).failed());
        const Outcome set = port.setModemLine(ModemLine(line), true);
        QVERIFY(set.failed());
        QVERIFY2(set.description().contains(failure), qPrintable(set.description()));
    }

    // The ioctl path itself, where this machine has a serial device that opens: the line
    // reads back as set, then as released.
    void modemLineReachesARealDevice()
    {
        static const QString device = QStringLiteral("/dev/ttyS0");
        QtSerialPort port([](int) { return device; });
        if (!QFile::exists(device) || port.setPortOpen(true).failed())
            QSKIP("No serial device with modem lines opens on this machine.");
        const int descriptor = ::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(descriptor >= 0);
        for (const bool asserted : {true, false}) {
            const Outcome set = port.setModemLine(ModemLine::Dtr, asserted);
            if (set.failed()) {
                ::close(descriptor);
                QSKIP(qPrintable(
                    QStringLiteral("%1 has no DTR to drive: %2").arg(device, set.description())));
            }
            int lines = 0;
            QCOMPARE(::ioctl(descriptor, TIOCMGET, &lines), 0);
            QCOMPARE(bool(lines & TIOCM_DTR), asserted);
        }
        ::close(descriptor);
    }

    // The router goes away after the second byte. The rest of the command keeps its
    // pacing, the loss is reported once, and nothing watches the dead line after.
    void routerHangsUpDuringSend()
    {
        Rig rig;
        QVERIFY(rig.opened());
        QByteArray received;
        rig.fakePause.onPause = [&](int) {
            if (rig.fakePause.pauses.size() > 2)
                return;
            received += rig.terminal.drain();
            if (rig.fakePause.pauses.size() == 2)
                rig.terminal.hangUp();
        };

        rig.link.SendCommand(QStringLiteral("abcdefgh"));

        QCOMPARE(received, QByteArray("ab"));
        QCOMPARE(rig.fakePause.pauses, QList<int>(8, 20));
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
        QVERIFY2(rig.boxes.shown[0].text.contains(QStringLiteral("lost")),
                 qPrintable(rig.boxes.shown[0].text));
        QVERIFY(!rig.port.isOpen());
        const int wakeUps = WakeUpsInTurns(kTurns);
        QVERIFY2(wakeUps <= kMostWakeUps, qPrintable(QString::number(wakeUps)));
        rig.link.PollReceive();
        QCOMPARE(rig.boxes.shown.size(), 1);
    }

    void routerHangsUpBetweenPolls()
    {
        Rig rig;
        QVERIFY(rig.opened());
        QVERIFY(rig.sendAndWait("bye"));
        rig.terminal.hangUp();

        const int wakeUps = WakeUpsInTurns(kTurns);
        QVERIFY2(wakeUps <= kMostWakeUps, qPrintable(QString::number(wakeUps)));

        // What came before the hang-up is logged first, then the loss is reported once.
        rig.link.PollReceive();
        QCOMPARE(rig.log.entries.size(), 1);
        QCOMPARE(rig.log.entries[0].message, QStringLiteral("bye"));
        QVERIFY(rig.boxes.shown.isEmpty());
        rig.link.PollReceive();
        rig.link.PollReceive();
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.log.entries.size(), 1);
    }

    // A device that sends as fast as it can: each poll takes a bounded part, the
    // rest waits in the driver, which holds the writer back; nothing is lost.
    void floodIsLoggedWholeInOrderAndInBoundedParts()
    {
        constexpr qsizetype kPollBytes = qsizetype{64} * 1024;
        Rig rig;
        QVERIFY(rig.opened());
        // Numbered and free of control characters, so that a lost, doubled or swapped
        // piece shows and no chunk boundary strips anything.
        QByteArray flood;
        for (int line = 0; flood.size() < (1 << 20); ++line)
            flood += QByteArray::number(line).rightJustified(7, '0') + ' ';
        flood.truncate(1 << 20);

        // Blocking writes: the pseudo-terminal takes more only as the link reads.
        std::atomic<bool> sent{false};
        std::thread router([&] {
            rig.terminal.send(flood);
            sent.store(true);
        });
        QByteArray logged;
        qsizetype mostWaiting = 0;
        qsizetype largestEntry = 0;
        for (int tick = 0; tick < 200 && logged.size() < flood.size(); ++tick) {
            // Long enough for an unbounded reader to take far more than one part.
            QTest::qWait(100);
            int waiting = 0;
            QVERIFY(!rig.port.inBufferCount(waiting).failed());
            mostWaiting = qMax<qsizetype>(mostWaiting, waiting);
            const qsizetype entriesBefore = rig.log.entries.size();
            rig.link.PollReceive();
            for (qsizetype entry = entriesBefore; entry < rig.log.entries.size(); ++entry) {
                const QByteArray bytes = rig.log.entries[entry].message.toLatin1();
                largestEntry = qMax(largestEntry, bytes.size());
                logged += bytes;
            }
        }
        // Should the link stop reading, the test's own end of the line lets the
        // writer finish.
        while (!sent.load()) {
            pollfd readable{rig.terminal.slave(), POLLIN, 0};
            char sink[4096];
            if (::poll(&readable, 1, 10) > 0 && ::read(rig.terminal.slave(), sink, sizeof sink) < 0)
                break;
        }
        router.join();

        QVERIFY2(mostWaiting <= kPollBytes, qPrintable(QString::number(mostWaiting)));
        QVERIFY2(largestEntry <= kPollBytes, qPrintable(QString::number(largestEntry)));
        QCOMPARE(logged.size(), flood.size());
        QVERIFY(logged == flood);
        QVERIFY(rig.boxes.shown.isEmpty());
    }

    // Opening never waits for a device: a FIFO named as the port is refused at once.
    void fifoAsPortIsRefused()
    {
        QTemporaryDir folder;
        QString fifo = folder.filePath(QStringLiteral("ttyFifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QtSerialPort port([&](int) { return fifo; });

        const Outcome opened = port.setPortOpen(true);

        QVERIFY(opened.failed());
        QVERIFY2(
            opened.description().startsWith(QStringLiteral("Cannot open port 1 (%1)").arg(fifo)),
            qPrintable(opened.description()));
        QVERIFY(!port.isOpen());
    }

    void mapsPortNumberToDevice_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QString>("device");

        QTest::addRow("first built-in port") << 1 << "/dev/ttyS0";
        QTest::addRow("named adapter") << 2 << "/dev/serial/by-id/usb-Adapter-if00-port0";
        QTest::addRow("blank name falls back") << 3 << "/dev/ttyS2";
    }
    void mapsPortNumberToDevice()
    {
        QFETCH(int, portNumber);
        QFETCH(QString, device);
        // Written as a user would, by hand, into the same file as the settings.
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        QFile file(store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[LastValues]\nFailPort=2\n\n[Ports]\n"
                   "2=/dev/serial/by-id/usb-Adapter-if00-port0\n3=\n");
        file.close();

        QCOMPARE(PortDevicePath(store, portNumber), device);
    }

    // A map that cannot be read must not send a command to /dev/ttyS0 instead.
    // A port refused for its lock names the lock, its holder and the command that
    // clears it; a port refused for its permissions names the group to join.
    void openFailureSaysHowToFixIt_data()
    {
        QTest::addColumn<QString>("lockHolder");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("said");

        const QString locked = QStringLiteral("Permission error while locking the device");
        QTest::addRow("stale lock") << "ended" << locked
                                    << "it is locked by LOCK (owner OWNER, PID ENDED, which no "
                                       "longer runs). Remove the stale lock:\n  rm LOCK";
        QTest::addRow("lock of a running program")
            << "this" << locked
            << "it is locked by LOCK (owner OWNER, PID THIS tst_serial_port, which still runs and "
               "holds the port). Close that program, or end it:\n  kill THIS";
        QTest::addRow("no lock file left") << "" << locked << locked + '.';
        // A folder of the test's own: no right for its group, whoever runs the test.
        QTest::addRow("device refused")
            << ""
            << "Permission denied"
            << "Permission denied. DEVICE is owned by OWNER, group GROUP, mode drwx------: its "
               "group may not read and write it. An administrator can give it to a group that "
               "may read and write it (a udev rule), which you then join.";
    }
    void openFailureSaysHowToFixIt()
    {
        QFETCH(QString, lockHolder);
        QFETCH(QString, reason);
        QFETCH(QString, said);

        const QString locked = QStringLiteral("Permission error while locking the device");
        QTemporaryDir locks;
        const QString lock = QDir(locks.path()).canonicalPath() + QStringLiteral("/LCK..ttyS0");
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        if (!lockHolder.isEmpty()) {
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const qint64 pid = lockHolder == "this" ? QCoreApplication::applicationPid() : endedPid;
            file.write(QStringLiteral("%1\n").arg(pid, 10).toLatin1());
        }
        said.replace("LOCK", lock)
            .replace("OWNER", QFileInfo(locks.path()).owner())
            .replace("ENDED", QString::number(endedPid))
            .replace("THIS", QString::number(QCoreApplication::applicationPid()))
            .replace("GROUP", QFileInfo(locks.path()).group())
            .replace("DEVICE", locks.path());

        // The refused device stands for itself; a locked one is named as the lock names it.
        const QString device =
            lockHolder.isEmpty() && reason != locked ? locks.path() : QStringLiteral("/dev/ttyS0");
        QCOMPARE(PortOpenFailureText(QStringLiteral("port 1 (/dev/ttyS0)"), device,
                                     QSerialPort::PermissionError, reason, {locks.path()}),
                 QStringLiteral("Cannot open port 1 (/dev/ttyS0): ") + said);
    }

    // Joining the device's group is offered only where it would open the device: never
    // root's group, never a group without read and write, never to its owner, whose
    // own bits count instead. Otherwise the owner and the mode say who may.
    void refusedDeviceNamesAGroupOnlyWhereJoiningHelps_data()
    {
        QTest::addColumn<QString>("owner"); // "nobody" or "this user"
        QTest::addColumn<QString>("group"); // "dialout" or "root"
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("said"); // after "Permission denied."

        const QString joinDialout =
            " Add yourself to the dialout group (`sudo adduser $USER dialout`), then log in again.";
        const QString ownerAndMode =
            " DEVICE is owned by OWNER, group GROUP, mode MODE: %1. An administrator can give it "
            "to a group that may read and write it (a udev rule), which you then join.";
        const QString groupMayNot = ownerAndMode.arg("its group may not read and write it");
        QTest::addRow("group may read and write") << "nobody"
                                                  << "dialout" << 0660 << joinDialout;
        QTest::addRow("group may only read") << "nobody"
                                             << "dialout" << 0640 << groupMayNot;
        QTest::addRow("group may only write") << "nobody"
                                              << "dialout" << 0620 << groupMayNot;
        QTest::addRow("no right for the group") << "nobody"
                                                << "dialout" << 0606 << groupMayNot;
        QTest::addRow("root's group")
            << "nobody"
            << "root" << 0660 << ownerAndMode.arg("only root's group may read and write it");
        QTest::addRow("this user's own, without its bits")
            << "this user"
            << "dialout" << 0060
            << " DEVICE is owned by OWNER, group GROUP, mode MODE: this user already has its "
               "owner's or its group's rights, so something beyond them refuses it, such as an "
               "access list or a security module.";
        QTest::addRow("no such device") << ""
                                        << "" << 0 << "";
    }
    void refusedDeviceNamesAGroupOnlyWhereJoiningHelps()
    {
        QFETCH(QString, owner);
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(QString, said);

        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("ttyUSB0"));
        if (!owner.isEmpty()) {
            QFile file(device);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            const QByteArray path = QFile::encodeName(device);
            const uid_t uid = owner == u"nobody" ? 65534 : ::geteuid();
            const gid_t gid = group == u"root" ? 0 : 20;
            if (::chown(path.constData(), uid, gid) != 0)
                QSKIP("giving a file to another owner and group needs root");
            QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
            // The test's own groups must not hold the device's, or joining it means nothing.
            QVERIFY(::getegid() != 20);
            QString modeText = QStringLiteral("-"); // a regular file
            for (int bit = 0; bit < 9; ++bit)
                modeText += (mode & (0400 >> bit)) ? QChar(u"rwxrwxrwx"[bit]) : QChar(u'-');
            said.replace("DEVICE", device)
                .replace("OWNER", QFileInfo(device).owner())
                .replace("GROUP", QFileInfo(device).group())
                .replace("MODE", modeText);
        }

        // As a user in no group of the rows, root's included, so that each rule is seen
        // to act by itself.
        const std::optional<GroupsOfNobody> asNobody =
            ::geteuid() == 0 ? std::make_optional<GroupsOfNobody>() : std::nullopt;
        const QString text =
            PortOpenFailureText(QStringLiteral("port 1 (ttyUSB0)"), device,
                                QSerialPort::PermissionError, QStringLiteral("Permission denied"));
        QCOMPARE(text, QStringLiteral("Cannot open port 1 (ttyUSB0): Permission denied.") + said);
    }

    void unreadableMapNamesNoDevice()
    {
        QTemporaryDir folder;
        IniSettingsStore store(folder.path());
        QVERIFY(QDir().mkpath(store.filePath(SettingsAppName)));
        QCOMPARE(PortDevicePath(store, 1), QString());
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
