#include "LinkTestRig.h"

#include <QFile>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

// The bytes the line holds that no reader has taken yet.
int QueuedAtLine(int terminal)
{
    int queued = -1;
    return ::ioctl(terminal, FIONREAD, &queued) == 0 ? queued : -1;
}

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // How each character decodes is the caret notation's own test; here the bytes
    // must reach the wire, paced, with one report for the send.
    void sendsExactBytes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pausedMs");
        // The "Comm Port Error" box; every byte went out, so nothing is logged.
        QTest::addColumn<bool>("reports");

        QTest::addRow("default fail command") << "^m^m" << QByteArray("\r\r") << 540 << false;
        QTest::addRow("plain letters") << "reset" << QByteArray("reset\r") << 100 << false;
        QTest::addRow("NUL and a Latin-1 byte")
            << "^@\u00e9" << QByteArray("\0\xe9\r", 3) << 290 << false;
        QTest::addRow("empty command") << "" << QByteArray("\r") << 0 << false;
        QTest::addRow("digit after caret") << "^1" << QByteArray("1\r") << 20 << true;
    }
    void sendsExactBytes()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QFETCH(int, pausedMs);
        QFETCH(bool, reports);
        Rig rig;
        QVERIFY(rig.opened());
        bool busyDuringBox = false;
        qsizetype loggedBeforeBox = -1;
        rig.boxes.onShow = [&] {
            busyDuringBox = rig.busy.isBusy();
            loggedBeforeBox = rig.log.entries.size();
        };

        rig.link.SendCommand(command);

        QCOMPARE(rig.terminal.drain(), bytes);
        QCOMPARE(std::accumulate(rig.fakePause.pauses.begin(), rig.fakePause.pauses.end(), 0),
                 pausedMs);
        QCOMPARE(rig.busy.changes, (QList<bool>{true, false}));
        QCOMPARE(rig.boxes.shown.size(), reports ? 1 : 0);
        QCOMPARE(rig.log.entries.size(), 0);
        if (reports) {
            QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
            QCOMPARE(rig.boxes.shown[0].style, BoxStyle::OkExclamation);
            QVERIFY(!busyDuringBox);
            QCOMPARE(loggedBeforeBox, 0);
        }
        QCOMPARE(rig.port.isOpen(), !reports);
    }

    // The pacing as the link asks for it, pause by pause, each with the bytes that had
    // reached the router when it began: what a reader's clock would show judges the
    // scheduler as much as the link. bench_pacing measures the real gaps.
    void pacesBytesOnTheWire_data()
    {
        QTest::addColumn<QString>("command");
        // The stop comes during this pause (counted from 0); -1 for none.
        QTest::addColumn<int>("stopDuring");
        // "bytes:ms" per pause, bytes in hex, then what came after the last pause.
        QTest::addColumn<QStringList>("paced");

        QTest::addRow("short, long, and none after the closing return")
            << "a^[^mb" << -1 << QStringList{"61:20", "1b:20", "0d:270", "62:20", "0d"};
        QTest::addRow("lone closing return") << "" << -1 << QStringList{"0d"};
        QTest::addRow("a typed closing return keeps its long pause")
            << "^m" << -1 << QStringList{"0d:270", ""};
        QTest::addRow("stop during the first pause") << "a^[^mb" << 0 << QStringList{"61:20", ""};
        QTest::addRow("stop during a long pause")
            << "a^[^mb" << 2 << QStringList{"61:20", "1b:20", "0d:270", ""};
    }
    void pacesBytesOnTheWire()
    {
        QFETCH(QString, command);
        QFETCH(int, stopDuring);
        QFETCH(QStringList, paced);
        Rig rig;
        QVERIFY(rig.opened());
        if (stopDuring >= 0)
            rig.fakePause.stopAfterPauses(stopDuring);
        QStringList seen;
        rig.fakePause.onPause = [&](int milliseconds) {
            seen.append(QString::fromLatin1(rig.terminal.drain().toHex()) + u':' +
                        QString::number(milliseconds));
        };

        rig.link.SendCommand(command);

        seen.append(QString::fromLatin1(rig.terminal.drain().toHex()));
        QCOMPARE(seen, paced);
        // A stop leaves the port as it was, without a report.
        QVERIFY(rig.boxes.shown.isEmpty());
        QVERIFY(rig.port.isOpen());
        if (stopDuring < 0)
            return;
        // Once stopping, a send puts not one more byte on the wire.
        const QList<int> pausesBefore = rig.fakePause.pauses;
        rig.link.SendCommand(command);
        QCOMPARE(rig.terminal.drain(), QByteArray());
        QCOMPARE(rig.fakePause.pauses, pausesBefore);
    }

    void logsWhatComesIn_data()
    {
        // Each chunk is what the router sends before a poll; an empty one is a poll
        // that finds silence. A logged entry that opens with a header reads "> text".
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QStringList>("logged");

        QTest::addRow("reply after line end")
            << QByteArrayList{"", "\r\nOK"} << QStringList{"> OK"};
        QTest::addRow("line end pair") << QByteArrayList{"", "\r\n"} << QStringList{"> \n"};
        QTest::addRow("only control characters")
            << QByteArrayList{"", "\x01\x02\x1a"} << QStringList{"> \x1a"};
        QTest::addRow("inside and end kept")
            << QByteArrayList{"", "\001A\002B\r\n"} << QStringList{"> A\002B\r\n"};
        QTest::addRow("escape is not stripped")
            << QByteArrayList{"", "\x1b[0m"} << QStringList{"> \x1b[0m"};
        QTest::addRow("blank is not stripped") << QByteArrayList{"", " OK"} << QStringList{">  OK"};
        QTest::addRow("every byte value survives")
            << QByteArrayList{"", QByteArray("A\0\x80\xe9\xff", 5)}
            << QStringList{"> " + QString::fromLatin1("A\0\x80\xe9\xff", 5)};
        QTest::addRow("a burst after silence gets one header")
            << QByteArrayList{"early", "", "\r\nOK ", "there\r\n", "", "again"}
            << QStringList{"early", "> OK ", "there\r\n", "> again"};
        // Line ends that come with the next poll belong to the line being logged.
        QTest::addRow("lines split across polls")
            << QByteArrayList{"a1", "\r\nb2", "\r\nc3"} << QStringList{"a1", "\r\nb2", "\r\nc3"};
        QTest::addRow("after the header, line ends kept")
            << QByteArrayList{"", "\r\nA", "\r\nB", "\x01"} << QStringList{"> A", "\r\nB", "\x01"};
    }
    void logsWhatComesIn()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QStringList, logged);
        Rig rig;
        QVERIFY(rig.opened());
        for (const QByteArray &chunk : chunks) {
            QVERIFY(chunk.isEmpty() || rig.sendAndWait(chunk));
            rig.link.PollReceive();
        }

        QStringList entries;
        for (const RecordingLog::Entry &entry : rig.log.entries) {
            QVERIFY(!entry.spaced);
            QCOMPARE(entry.category, entry.stamp ? kCommunications : QString());
            entries.append((entry.stamp ? QStringLiteral("> ") : QString()) + entry.message);
        }
        QCOMPARE(entries, logged);
        // The listeners get every byte read, the line ends the log drops included.
        QCOMPARE(rig.events.console, chunks.join());
    }

    void receivedBytesOutlastTheReport()
    {
        Rig rig;
        QVERIFY(rig.opened());
        // Left to the event loop, not fetched: closing the port must not drop them. Once
        // they wait at the line, the event loop moves them into the port's own buffer.
        QVERIFY(rig.terminal.send("abc"));
        pollfd arrived{rig.terminal.slave(), POLLIN, 0};
        QCOMPARE(::poll(&arrived, 1, 2000), 1);
        QTRY_COMPARE(QueuedAtLine(rig.terminal.slave()), 0);
        rig.link.SendCommand(QStringLiteral("^1"));

        QCOMPARE(rig.boxes.shown.size(), 1);
        // Every byte went out: no entry of the send's own.
        QCOMPARE(rig.log.entries.size(), 0);
        // The report closed the port; what had come before is still logged, once.
        QVERIFY(!rig.port.isOpen());
        rig.link.PollReceive();
        rig.link.PollReceive();
        QCOMPARE(rig.log.entries.size(), 1);
        QCOMPARE(rig.log.entries[0].message, QStringLiteral("abc"));
    }

    // The port field is confirmed: its text is stored, even one that cannot be
    // opened, and the port opened afresh after a pause to settle.
    void validatesPortField_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QList<int>>("resolved");
        // Part of the report's text; none when nothing is reported.
        QTest::addColumn<QString>("report");

        // Number parsing is the whole-number conversion's own test; these rows show
        // the field goes through it, 16-bit range included.
        QTest::addRow("another port") << QStringList{"1", "3"} << "" << QList<int>{1, 3} << "";
        QTest::addRow("unchanged still reopens")
            << QStringList{"1", "1"} << "" << QList<int>{1, 1} << "";
        QTest::addRow("after a failed open") << QStringList{"x", "2"} << "" << QList<int>{2} << "";
        QTest::addRow("half rounds to even")
            << QStringList{"1", "2.5"} << "" << QList<int>{1, 2} << "";
        QTest::addRow("no such device")
            << QStringList{"1", "1"} << kMissingDevice << QList<int>{1, 1} << kMissingDevice;
        // The first failure is the reason; nothing after it may replace it.
        QTest::addRow("not a number is stored")
            << QStringList{"1", "3x"} << "" << QList<int>{1} << "Port \"3x\" is not a number.";
        QTest::addRow("port zero") << QStringList{"1", "0"} << "" << QList<int>{1}
                                   << "0 is not a serial port number: ports are numbered from 1.";
        QTest::addRow("negative") << QStringList{"1", "-2"} << "" << QList<int>{1} << "-2 is not";
        QTest::addRow("just past 16 bits")
            << QStringList{"1", "32768"} << "" << QList<int>{1}
            << "Port \"32768\" is not a serial port number: ports are numbered from 1 to 32767.";
        QTest::addRow("past 32 bits") << QStringList{"1", "99999999999"} << "" << QList<int>{1}
                                      << "Port \"99999999999\" is not a serial port number";
    }
    void validatesPortField()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, device);
        QFETCH(QList<int>, resolved);
        QFETCH(QString, report);
        const bool reports = !report.isEmpty();
        Rig rig;
        QVERIFY(rig.terminal.isValid());
        if (!device.isEmpty())
            rig.device = device;
        rig.fields.setText(Field::FailPort, texts[0]);
        const bool reported = rig.link.OpenCommPort();
        QCOMPARE(reported, rig.boxes.shown.size() == 1);
        rig.boxes.shown.clear();
        rig.fields.setText(Field::FailPort, texts[1]);
        const auto stored = [&] {
            return rig.store.read(SettingsAppName, SettingsSection, QStringLiteral("FailPort"))
                .value_or(QStringLiteral("<missing>"));
        };
        // Whether the port opens or not, the text must already be stored by then.
        QStringList storedWhenTried;
        rig.onResolve = [&] { storedWhenTried.append(stored()); };
        rig.boxes.onShow = rig.onResolve;

        rig.link.ValidateFailPort();

        QCOMPARE(stored(), texts[1]);
        QCOMPARE(storedWhenTried.value(0), texts[1]);
        QCOMPARE(rig.fakePause.pauses, QList<int>{500});
        QCOMPARE(rig.resolved, resolved);
        QCOMPARE(rig.port.isOpen(), !reports);
        QCOMPARE(rig.boxes.shown.size(), reports ? 1 : 0);
        if (reports) {
            QCOMPARE(rig.boxes.shown[0].title, kCommPortError);
            QVERIFY2(rig.boxes.shown[0].text.contains(report), qPrintable(rig.boxes.shown[0].text));
        } else {
            termios attributes{};
            QCOMPARE(tcgetattr(rig.terminal.slave(), &attributes), 0);
            QCOMPARE(cfgetospeed(&attributes), speed_t(B9600));
            QCOMPARE(attributes.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
            QCOMPARE(attributes.c_iflag & (IXON | IXOFF), tcflag_t(0));
        }
        // Nothing is waiting: the poll neither logs nor reports again.
        rig.link.PollReceive();
        QCOMPARE(rig.boxes.shown.size(), reports ? 1 : 0);
        QVERIFY(rig.log.entries.isEmpty());
    }

    // A send on a closed port keeps its full pacing and reports once, not per byte.
    void sendsOnAClosedPort_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reportMentions");

        QTest::addRow("reopen off") << false << QString() << QByteArray() << "not open";
        QTest::addRow("reopen on") << true << QString() << QByteArray("a\r") << QString();
        QTest::addRow("reopen on, device missing")
            << true << kMissingDevice << QByteArray() << kMissingDevice;
    }
    void sendsOnAClosedPort()
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

        rig.link.SendCommand(QStringLiteral("a^m"));

        QCOMPARE(rig.terminal.drain(), bytes);
        QCOMPARE(rig.fakePause.pauses, (QList<int>{20, 270}));
        QCOMPARE(rig.boxes.shown.size(), reportMentions.isEmpty() ? 0 : 1);
        QCOMPARE(rig.log.entries.size(), reportMentions.isEmpty() ? 0 : 1);
        if (!reportMentions.isEmpty()) {
            QVERIFY2(rig.boxes.shown[0].text.contains(reportMentions),
                     qPrintable(rig.boxes.shown[0].text));
            CheckNotSentEntry(rig);
        }
        QCOMPARE(rig.port.isOpen(), reportMentions.isEmpty());
    }

    // A reopen before a send goes to the device the port was opened on, whatever
    // has become of the port map in the settings file since.
    void reopensTheConfirmedDevice()
    {
        Rig rig;
        QVERIFY(rig.terminal.isValid());
        // Without the map, port 200 would be /dev/ttyS199.
        rig.devicesFromSettings = true;
        const QString settingsPath = rig.store.filePath(SettingsAppName);
        const auto writeSettings = [&](const QByteArray &content) {
            QFile file(settingsPath);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        QVERIFY(writeSettings("[Ports]\n200=" + rig.terminal.slavePath().toLocal8Bit() + "\n"));
        rig.fields.setText(Field::FailPort, QStringLiteral("200"));
        rig.link.setReopenBeforeSend(true);
        QVERIFY(!rig.link.OpenCommPort());
        QVERIFY(writeSettings("[Ports]\n"));

        // A caret before a digit is reported, which closes the port.
        rig.link.SendCommand(QStringLiteral("^1"));
        QVERIFY(!rig.port.isOpen());
        rig.link.SendCommand(QStringLiteral("a^m"));

        QCOMPARE(rig.terminal.drain(), QByteArray("1\ra\r"));
        QCOMPARE(rig.boxes.shown.size(), 1);
        QVERIFY(rig.port.isOpen());
        QCOMPARE(rig.resolved, QList<int>{200});
    }

private:
    // The failed send's entry, as the box shows its reason.
    static void CheckNotSentEntry(const Rig &rig)
    {
        const RecordingLog::Entry &entry = rig.log.entries.last();
        QCOMPARE(entry.message,
                 QStringLiteral("Command not sent completely: ") + rig.boxes.shown.last().text);
        QVERIFY(entry.stamp && entry.spaced);
        QCOMPARE(entry.category, kSystemMessage);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_device_link.moc"
