#include "LinkTestRig.h"

#include <QElapsedTimer>

#include <termios.h>

class TestDeviceLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sendsExactBytes_data();
    void sendsExactBytes();
    void pacesBytesOnTheWire();
    void closedPortSendTakesFullTime_data();
    void closedPortSendTakesFullTime();
    void openFailsWithOneReport_data();
    void openFailsWithOneReport();
    void opensPortNamedByField_data();
    void opensPortNamedByField();
    void stripsLeadingControlCharacters_data();
    void stripsLeadingControlCharacters();
    void joinsChunksUnderOneHeader();
    void ticksUnderABoxWait();
    void validatesPortField_data();
    void validatesPortField();
    void reopensBeforeSend_data();
    void reopensBeforeSend();
};

void TestDeviceLink::sendsExactBytes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pausedMs");
    QTest::addColumn<bool>("reports");

    QTest::addRow("default fail command") << "^m^m" << QByteArray("\r\r") << 540 << false;
    QTest::addRow("plain letters") << "reset" << QByteArray("reset\r") << 100 << false;
    QTest::addRow("final caret") << "abc^" << QByteArray("abc^\r") << 80 << false;
    QTest::addRow("two carets then m") << "^^m" << QByteArray("^m\r") << 40 << false;
    QTest::addRow("line feed") << "x^j" << QByteArray("x\n\r") << 290 << false;
    QTest::addRow("escape") << "^[" << QByteArray("\x1b\r") << 20 << false;
    QTest::addRow("NUL") << "^@" << QByteArray("\0\r", 2) << 270 << false;
    QTest::addRow("empty command") << "" << QByteArray("\r") << 0 << false;
    QTest::addRow("Latin-1 byte") << "\u00e9" << QByteArray("\xe9\r") << 20 << false;
    QTest::addRow("digit after caret") << "^1" << QByteArray("1\r") << 20 << true;
    QTest::addRow("outside Latin-1") << "\u20ac" << QByteArray("?\r") << 20 << true;
}

void TestDeviceLink::sendsExactBytes()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(int, pausedMs);
    QFETCH(bool, reports);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    bool busyDuringBox = false;
    rig.boxes.onShow = [&] { busyDuringBox = rig.busy.current; };

    rig.link.SendCommand(command);

    QCOMPARE(rig.terminal.receive(), bytes);
    QCOMPARE(std::accumulate(rig.fakePause.pauses.begin(), rig.fakePause.pauses.end(), 0),
             pausedMs);
    QCOMPARE(rig.busy.changes, (QList<bool>{true, false}));
    QCOMPARE(rig.boxes.shown.size(), reports ? 1 : 0);
    if (reports) {
        QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
        QCOMPARE(rig.boxes.shown[0].style, BoxStyle::OkExclamation);
        QVERIFY(!busyDuringBox);
    }
    QCOMPARE(rig.port.isOpen(), !reports);
}

void TestDeviceLink::pacesBytesOnTheWire()
{
    Rig rig(true);
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    RouterRecorder router(rig.terminal);

    QElapsedTimer sending;
    sending.start();
    rig.link.SendCommand(QStringLiteral("a^[^mb"));
    const qint64 sendMs = sending.elapsed();
    const auto &arrivals = router.stop();

    QCOMPARE(arrivals.size(), size_t(5));
    // What follows a, escape, carriage return and b; the closing carriage return
    // ends the send at once.
    const int nominal[] = {20, 20, 270, 20};
    for (int i = 0; i < 4; ++i) {
        const qint64 gap = ElapsedMs(arrivals[i].at, arrivals[i + 1].at);
        // A millisecond of slack for the recording thread's own wake-up.
        QVERIFY2(gap >= nominal[i] - 1 && gap <= nominal[i] + 100,
                 qPrintable(QStringLiteral("gap %1: %2 ms").arg(i).arg(gap)));
    }
    QVERIFY(sendMs >= 330 && sendMs < 600);
}

void TestDeviceLink::closedPortSendTakesFullTime_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("pacedMs");

    QTest::addRow("three letters") << "abc" << 60;
    QTest::addRow("default fail command") << "^m^m" << 540;
    QTest::addRow("empty command") << "" << 0;
}

void TestDeviceLink::closedPortSendTakesFullTime()
{
    QFETCH(QString, command);
    QFETCH(int, pacedMs);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    const QDateTime start = rig.clock.now();

    rig.link.SendCommand(command);

    QCOMPARE(start.msecsTo(rig.clock.now()), pacedMs);
    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
    QVERIFY(!rig.boxes.shown[0].text.isEmpty());
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.terminal.receive(50), QByteArray());
}

void TestDeviceLink::openFailsWithOneReport_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("reachesDevice");

    QTest::addRow("no such device") << "1" << kMissingDevice << true;
    QTest::addRow("not a number") << "x" << QString() << false;
    QTest::addRow("empty") << "" << QString() << false;
    QTest::addRow("port zero") << "0" << QString() << false;
    QTest::addRow("negative") << "-2" << QString() << false;
    QTest::addRow("beyond 16 bits") << "40000" << QString() << false;
}

void TestDeviceLink::openFailsWithOneReport()
{
    QFETCH(QString, portText);
    QFETCH(QString, device);
    QFETCH(bool, reachesDevice);

    Rig rig;
    rig.fields.setText(Field::FailPort, portText);
    if (!device.isEmpty())
        rig.device = device;

    QVERIFY(rig.link.OpenCommPort());

    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
    if (reachesDevice)
        QVERIFY2(rig.boxes.shown[0].text.contains(device), qPrintable(rig.boxes.shown[0].text));
    QCOMPARE(rig.resolved.isEmpty(), !reachesDevice);
    QVERIFY(!rig.port.isOpen());
    // A closed port has nothing waiting: the poll neither logs nor reports.
    rig.link.PollReceive();
    QCOMPARE(rig.boxes.shown.size(), 1);
    QVERIFY(rig.log.entries.isEmpty());
}

void TestDeviceLink::opensPortNamedByField_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("portNumber");

    QTest::addRow("one") << "1" << 1;
    QTest::addRow("blanks around") << " 3 " << 3;
    QTest::addRow("half rounds to even") << "2.5" << 2;
}

void TestDeviceLink::opensPortNamedByField()
{
    QFETCH(QString, portText);
    QFETCH(int, portNumber);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    rig.fields.setText(Field::FailPort, portText);

    QVERIFY(!rig.link.OpenCommPort());

    QVERIFY(rig.boxes.shown.isEmpty());
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.resolved, QList<int>{portNumber});
    termios attributes{};
    QCOMPARE(tcgetattr(rig.terminal.slave(), &attributes), 0);
    QCOMPARE(cfgetospeed(&attributes), speed_t(B9600));
    QCOMPARE(attributes.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(attributes.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void TestDeviceLink::stripsLeadingControlCharacters_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("logged");

    QTest::addRow("reply after line end") << QByteArray("\r\nOK") << "OK";
    QTest::addRow("lone line feed kept") << QByteArray("\n") << "\n";
    QTest::addRow("line end pair") << QByteArray("\r\n") << "\n";
    QTest::addRow("only control characters") << QByteArray("\x01\x02\x1a") << "\x1a";
    QTest::addRow("inside and end kept") << QByteArray("\x01"
                                                       "A\x02"
                                                       "B\r\n")
                                         << "A\x02"
                                            "B\r\n";
    QTest::addRow("escape is not stripped") << QByteArray("\x1b[0m") << "\x1b[0m";
    QTest::addRow("blank is not stripped") << QByteArray(" OK") << " OK";
    QTest::addRow("every byte value survives")
        << QByteArray("A\0\x80\xe9\xff", 5) << QString::fromLatin1("A\0\x80\xe9\xff", 5);
}

void TestDeviceLink::stripsLeadingControlCharacters()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QString, logged);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    rig.link.PollReceive();
    QVERIFY(rig.terminal.send(chunk));
    QVERIFY(rig.waitUntilWaiting(chunk.size()));

    rig.link.PollReceive();

    QCOMPARE(rig.log.entries.size(), 1);
    QCOMPARE(rig.log.entries[0].message, logged);
    QVERIFY(rig.log.entries[0].stamp);
    QVERIFY(!rig.log.entries[0].spaced);
    QCOMPARE(rig.log.entries[0].category, kCommunications);
}

void TestDeviceLink::joinsChunksUnderOneHeader()
{
    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    const auto poll = [&](const QByteArray &chunk) {
        if (!chunk.isEmpty()) {
            QVERIFY(rig.terminal.send(chunk));
            QVERIFY(rig.waitUntilWaiting(chunk.size()));
        }
        rig.link.PollReceive();
    };

    poll("early");   // before any silent poll: no header
    poll({});        // silence
    poll("\r\nOK "); // a new burst: header
    poll("there\r\n");
    poll({});
    poll("again");

    const QList<RecordingLog::Entry> expected = {
        {QStringLiteral("early"), false, false, QString()},
        {QStringLiteral("OK "), true, false, kCommunications},
        {QStringLiteral("there\r\n"), false, false, QString()},
        {QStringLiteral("again"), true, false, kCommunications},
    };
    QCOMPARE(rig.log.entries.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(rig.log.entries[i].message, expected[i].message);
        QCOMPARE(rig.log.entries[i].stamp, expected[i].stamp);
        QCOMPARE(rig.log.entries[i].spaced, expected[i].spaced);
        QCOMPARE(rig.log.entries[i].category, expected[i].category);
    }
}

void TestDeviceLink::ticksUnderABoxWait()
{
    Rig rig;
    QVERIFY(rig.terminal.isValid());
    QVERIFY(!rig.link.OpenCommPort());
    QVERIFY(rig.terminal.send("abc"));
    QVERIFY(rig.waitUntilWaiting(3));
    // A tick served while the report's box is open.
    rig.boxes.onShow = [&] { rig.link.PollReceive(); };

    rig.link.SendCommand(QStringLiteral("^1"));

    QCOMPARE(rig.boxes.shown.size(), 1);
    QVERIFY(rig.log.entries.isEmpty());
    // The report closed the port; what had come before is still logged.
    QVERIFY(!rig.port.isOpen());
    rig.link.PollReceive();
    QCOMPARE(rig.log.entries.size(), 1);
    QCOMPARE(rig.log.entries[0].message, QStringLiteral("abc"));
}

void TestDeviceLink::validatesPortField_data()
{
    QTest::addColumn<QString>("previousText");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QList<int>>("resolved");
    QTest::addColumn<bool>("reports");

    QTest::addRow("another port") << "1"
                                  << "3" << QList<int>{1, 3} << false;
    QTest::addRow("unchanged still reopens") << "1"
                                             << "1" << QList<int>{1, 1} << false;
    QTest::addRow("not a number is stored") << "1"
                                            << "x" << QList<int>{1} << true;
    QTest::addRow("after a failed open") << "x"
                                         << "2" << QList<int>{2} << false;
}

void TestDeviceLink::validatesPortField()
{
    QFETCH(QString, previousText);
    QFETCH(QString, portText);
    QFETCH(QList<int>, resolved);
    QFETCH(bool, reports);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    rig.fields.setText(Field::FailPort, previousText);
    rig.link.OpenCommPort();
    rig.boxes.shown.clear();
    rig.fields.setText(Field::FailPort, portText);
    // Whether the port opens or not, the text must already be stored by then.
    QStringList storedWhenTried;
    rig.onResolve = [&] { storedWhenTried.append(rig.storedFailPort()); };
    rig.boxes.onShow = rig.onResolve;

    rig.link.ValidateFailPort();

    QCOMPARE(rig.storedFailPort(), portText);
    QCOMPARE(storedWhenTried, QStringList{portText});
    QCOMPARE(rig.fakePause.pauses, QList<int>{500});
    QCOMPARE(rig.resolved, resolved);
    QCOMPARE(rig.boxes.shown.size(), reports ? 1 : 0);
    QCOMPARE(rig.port.isOpen(), !reports);
}

void TestDeviceLink::reopensBeforeSend_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reportMentions");

    QTest::addRow("off: stays closed") << false << QString() << QByteArray() << "not open";
    QTest::addRow("on: opens again") << true << QString() << QByteArray("\r") << QString();
    QTest::addRow("on: device missing") << true << kMissingDevice << QByteArray() << kMissingDevice;
}

void TestDeviceLink::reopensBeforeSend()
{
    QFETCH(bool, reopen);
    QFETCH(QString, device);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reportMentions);

    Rig rig;
    QVERIFY(rig.terminal.isValid());
    if (!device.isEmpty())
        rig.device = device;
    rig.link.setReopenBeforeSend(reopen);

    rig.link.SendCommand(QStringLiteral("^m"));

    QCOMPARE(rig.terminal.receive(), bytes);
    QCOMPARE(rig.fakePause.pauses, QList<int>{270});
    QCOMPARE(rig.boxes.shown.size(), reportMentions.isEmpty() ? 0 : 1);
    if (!reportMentions.isEmpty())
        QVERIFY2(rig.boxes.shown[0].text.contains(reportMentions),
                 qPrintable(rig.boxes.shown[0].text));
    QCOMPARE(rig.port.isOpen(), reportMentions.isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_device_link.moc"
