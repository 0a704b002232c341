#include "LinkTestRig.h"
#include "PortDevice.h"

#include <QElapsedTimer>
#include <QFile>

#include <termios.h>

#include <thread>

class TestSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appliesLineSettings_data();
    void appliesLineSettings();
    void refusesLineSettings_data();
    void refusesLineSettings();
    void keepsReceivedBytesOverClose();
    void routerHangsUpDuringSend();
    void routerHangsUpBetweenPolls();
    void floodIsLoggedWholeAndInOrder();
    void mapsPortNumberToDevice_data();
    void mapsPortNumberToDevice();
};

void TestSerialPort::appliesLineSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("controlFlags");

    QTest::addRow("router console") << "9600,N,8,1" << true << int(B9600) << int(CS8);
    QTest::addRow("two stop bits") << "19200,N,8,2" << true << int(B19200) << int(CS8 | CSTOPB);
    // A pseudo-terminal keeps 8 bits without parity whatever it is told; the open
    // must notice instead of carrying on with other settings than asked for.
    QTest::addRow("parity the device ignores") << "4800,E,7,1" << false << 0 << 0;
}

void TestSerialPort::appliesLineSettings()
{
    QFETCH(QString, settings);
    QFETCH(bool, taken);
    QFETCH(int, speed);
    QFETCH(int, controlFlags);

    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    QtSerialPort port([&](int) { return terminal.slavePath(); });
    QVERIFY(!port.setSettings(settings).failed());
    const Outcome opened = port.setPortOpen(true);

    QCOMPARE(port.isOpen(), taken);
    if (!taken) {
        QVERIFY2(opened.description().contains(QStringLiteral("did not take")),
                 qPrintable(opened.description()));
        return;
    }
    QVERIFY2(!opened.failed(), qPrintable(opened.description()));
    termios attributes{};
    QCOMPARE(tcgetattr(terminal.slave(), &attributes), 0);
    QCOMPARE(int(cfgetospeed(&attributes)), speed);
    QCOMPARE(int(attributes.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)), controlFlags);
}

void TestSerialPort::refusesLineSettings_data()
{
    QTest::addColumn<QString>("settings");

    QTest::addRow("nine data bits") << "9600,N,9,1";
    QTest::addRow("speed not a number") << "fast,N,8,1";
    QTest::addRow("unknown parity") << "9600,X,8,1";
    QTest::addRow("stop bits missing") << "9600,N,8";
    QTest::addRow("empty") << "";
}

void TestSerialPort::refusesLineSettings()
{
    QFETCH(QString, settings);

    QtSerialPort port([](int) { return QString(); });
    const Outcome outcome = port.setSettings(settings);
    QVERIFY(outcome.failed());
    QVERIFY(outcome.description().contains(settings));
}

void TestSerialPort::keepsReceivedBytesOverClose()
{
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    QtSerialPort port([&](int) { return terminal.slavePath(); });
    QVERIFY(!port.setPortOpen(true).failed());
    QVERIFY(terminal.send("late"));
    QTest::qWait(100);

    QVERIFY(!port.setPortOpen(false).failed());

    int waiting = 0;
    QVERIFY(!port.inBufferCount(waiting).failed());
    QCOMPARE(waiting, 4);
    QByteArray received;
    QVERIFY(!port.input(received).failed());
    QCOMPARE(received, QByteArray("late"));
    QVERIFY(!port.inBufferCount(waiting).failed());
    QCOMPARE(waiting, 0);
}

void TestSerialPort::routerHangsUpDuringSend()
{
    Rig rig(true);
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    RouterRecorder router(rig.terminal, 2);

    QElapsedTimer sending;
    sending.start();
    rig.link.SendCommand(QStringLiteral("abcdefgh"));
    QVERIFY(sending.elapsed() < 2000);
    router.stop();

    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
    QVERIFY2(rig.boxes.shown[0].text.contains(QStringLiteral("lost")),
             qPrintable(rig.boxes.shown[0].text));
    QVERIFY(!rig.port.isOpen());

    // No second report, and nothing left spinning on the dead device.
    const qint64 cpuBefore = ProcessCpuMs();
    for (int tick = 0; tick < 3; ++tick) {
        QTest::qWait(100);
        rig.link.PollReceive();
    }
    QVERIFY(ProcessCpuMs() - cpuBefore < 150);
    QCOMPARE(rig.boxes.shown.size(), 1);
}

void TestSerialPort::routerHangsUpBetweenPolls()
{
    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    QVERIFY(rig.terminal.send("bye"));
    QTest::qWait(100);
    rig.terminal.closeMaster();

    // The event loop sees the hang-up; it must not spin on it.
    const qint64 cpuBefore = ProcessCpuMs();
    QTest::qWait(300);
    QVERIFY(ProcessCpuMs() - cpuBefore < 150);

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

void TestSerialPort::floodIsLoggedWholeAndInOrder()
{
    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    // Numbered and free of control characters, so that a lost, doubled or swapped
    // piece shows and no chunk boundary strips anything.
    QByteArray flood;
    for (int line = 0; flood.size() < (1 << 20); ++line)
        flood += QByteArray::number(line).rightJustified(7, '0') + ' ';
    flood.truncate(1 << 20);

    const qint64 cpuBefore = ProcessCpuMs();
    QElapsedTimer elapsed;
    elapsed.start();
    std::thread router([&] {
        constexpr int kPieces = 16;
        for (int piece = 0; piece < kPieces; ++piece) {
            const qsizetype size = flood.size() / kPieces;
            rig.terminal.send(flood.mid(piece * size, size));
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kPieces));
        }
    });
    const auto logged = [&] {
        QByteArray bytes;
        for (const RecordingLog::Entry &entry : rig.log.entries)
            bytes += entry.message.toLatin1();
        return bytes;
    };
    // The receive poll's own pace: once a second.
    for (int tick = 0; tick < 10 && logged().size() < flood.size(); ++tick) {
        QTest::qWait(1000);
        rig.link.PollReceive();
    }
    router.join();

    QCOMPARE(logged().size(), flood.size());
    QVERIFY(logged() == flood);
    QVERIFY(rig.boxes.shown.isEmpty());
    QVERIFY(rig.port.isOpen());
    const qint64 cpuMs = ProcessCpuMs() - cpuBefore;
    QVERIFY2(cpuMs < elapsed.elapsed() / 4,
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpuMs).arg(elapsed.elapsed())));
}

void TestSerialPort::mapsPortNumberToDevice_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("device");

    QTest::addRow("first built-in port") << 1 << "/dev/ttyS0";
    QTest::addRow("named adapter") << 2 << "/dev/serial/by-id/usb-Adapter-if00-port0";
    QTest::addRow("blank name falls back") << 3 << "/dev/ttyS2";
    QTest::addRow("fourth built-in port") << 4 << "/dev/ttyS3";
}

void TestSerialPort::mapsPortNumberToDevice()
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

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
