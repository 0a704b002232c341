// The power cycle's real bytes on a pseudo-terminal, its hold on the fake clock, the
// order on a stop, the modem lines through a fake port and the program with its exit
// status and time limit.

#include "FakeClock.h"
#include "Options.h"
#include "PowerCycle.h"
#include "PseudoTerminal.h"
#include "QtSerialPort.h"
#include "RecordingLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kOff("\xa0\x01\x01\xa2", 4);
const QByteArray kOn("\xa0\x01\x00\xa1", 4);

// A port with modem lines, which a pseudo-terminal lacks.
class LinePort final : public SerialPort
{
public:
    Outcome setCommPort(int) override { return {}; }
    Outcome setSettings(const QString &) override { return {}; }
    Outcome setHandshaking(int) override { return {}; }
    Outcome setInputLen(int) override { return {}; }
    Outcome setOutBufferSize(int) override { return {}; }
    Outcome setInBufferSize(int) override { return {}; }
    Outcome setPortOpen(bool open) override
    {
        m_open = open;
        return {};
    }
    bool isOpen() const override { return m_open; }
    Outcome output(char byte) override
    {
        written.append(byte);
        return {};
    }
    Outcome setModemLine(ModemLine line, bool asserted) override
    {
        lines.append(QStringLiteral("%1 %2").arg(line == ModemLine::Dtr ? "DTR" : "RTS",
                                                 asserted ? "on" : "off"));
        return {};
    }
    Outcome inBufferCount(int &count) override
    {
        count = 0;
        return {};
    }
    Outcome input(QByteArray &) override { return {}; }
    QStringList lines;
    QByteArray written;

private:
    bool m_open = false;
};

} // namespace

class TestPowerCycle : public QObject
{
    Q_OBJECT

    Options m_options;
    RecordingLog m_log;
    FakeClock m_clock;
    std::unique_ptr<PseudoTerminal> m_relay;
    LinePort *m_linePort = nullptr;
    std::unique_ptr<PowerCycle> m_cycle;
    QList<PowerVerdict> m_verdicts;

    // The relay's port is the pseudo-terminal, or with useLinePort a fake with lines.
    void MakeCycle(bool useLinePort = false, SerialPort *console = nullptr)
    {
        m_relay = std::make_unique<PseudoTerminal>();
        QVERIFY(m_relay->isValid());
        PowerPorts ports;
        ports.console = [console] { return std::pair<SerialPort *, int>(console, 1); };
        ports.makePort = [this, useLinePort]() -> std::unique_ptr<SerialPort> {
            if (useLinePort) {
                auto port = std::make_unique<LinePort>();
                m_linePort = port.get();
                return port;
            }
            return std::make_unique<QtSerialPort>(
                [path = m_relay->slavePath()](int) { return path; });
        };
        m_cycle = std::make_unique<PowerCycle>(m_options, m_log, m_clock, ports);
        m_cycle->onFinished = [this](const PowerVerdict &verdict) { m_verdicts.append(verdict); };
    }
    QStringList Entries() const
    {
        QStringList texts;
        for (const RecordingLog::Entry &entry : m_log.entries)
            texts.append(entry.message);
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        m_options = Options();
        m_options.powerPort = 2;
        m_options.powerOff = QStringLiteral("\\xA0\\x01\\x01\\xA2");
        m_options.powerOn = QStringLiteral("\\xA0\\x01\\x00\\xA1");
        m_log.entries.clear();
        m_verdicts.clear();
        m_cycle.reset();
    }

    // Exact frames, the off frame alone until the hold is over to the millisecond.
    void framesAroundTheHold_data()
    {
        QTest::addColumn<int>("holdSeconds");
        QTest::addRow("shortest hold") << 1;
        QTest::addRow("default hold") << 10;
        QTest::addRow("longest hold") << 600;
    }
    void framesAroundTheHold()
    {
        QFETCH(int, holdSeconds);
        m_options.powerHoldSeconds = holdSeconds;
        MakeCycle();
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        QCOMPARE(m_relay->drain(), kOff);
        m_clock.advanceMs(qint64(holdSeconds) * 1000 - 1);
        m_cycle->Tick();
        QCOMPARE(m_relay->drain(), QByteArray());
        QVERIFY(m_cycle->running());
        m_clock.advanceMs(1);
        m_cycle->Tick();
        QCOMPARE(m_relay->drain(), kOn);
        QCOMPARE(m_verdicts.size(), 1);
        QVERIFY(m_verdicts[0].succeeded);
        QCOMPARE(Entries(),
                 QStringList({"Power test: off through port 2.", "Power test: on through port 2.",
                              QStringLiteral("Power test done: the power was off for "
                                             "%1 seconds.")
                                  .arg(holdSeconds)}));
    }

    // A stop in the hold switches the power on before the stop line.
    void stopDuringTheHold()
    {
        MakeCycle();
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        m_clock.advanceMs(3000);
        m_cycle->Tick();
        m_cycle->watchStopping();
        m_log.WriteLog(QStringLiteral("stop line"), true, true, QString());
        QCOMPARE(m_relay->drain(), kOff + kOn);
        QCOMPARE(Entries().mid(1), QStringList({"Power test: on through port 2.",
                                                "Power test cut short as Corvane stops; the "
                                                "power is back on.",
                                                "stop line"}));
        QVERIFY(!m_cycle->Start(QStringLiteral("Power test")));
    }

    // Asserted for the hold, released after it; the open's own raising is undone first.
    void modemLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addRow("DTR") << "DTR";
        QTest::addRow("RTS") << "RTS";
    }
    void modemLines()
    {
        QFETCH(QString, line);
        m_options.powerOff.clear();
        m_options.powerOn.clear();
        m_options.powerLine = line;
        MakeCycle(true);
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        QCOMPARE(m_linePort->lines, QStringList({line + " off", line + " on"}));
        m_clock.advanceMs(10000);
        m_cycle->Tick();
        QCOMPARE(m_verdicts.size(), 1);
        QCOMPARE(Entries()[1], "Power test: on through port 2 (" + line + " released).");
        QVERIFY(m_linePort == nullptr || m_cycle->running() == false);
    }

    // The console's own port carries the frames and stays open for the console.
    void consolePortIsShared()
    {
        LinePort console;
        console.setPortOpen(true);
        m_options.powerPort = 1;
        MakeCycle(false, &console);
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        m_clock.advanceMs(10000);
        m_cycle->Tick();
        QCOMPARE(console.written, kOff + kOn);
        QVERIFY(console.isOpen());
        console.setPortOpen(false);
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        QCOMPARE(m_verdicts.last().description,
                 "Power test failed: port 1 is the console's, and it is closed.");
    }

    void refusedStarts_data()
    {
        QTest::addColumn<QString>("off");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("entry");
        QTest::addRow("no way") << ""
                                << "" << 2
                                << "Power test not started: no way to switch the relay is set: "
                                   "PowerOff and PowerOn, PowerLine or PowerProgram.";
        QTest::addRow("two ways") << "A"
                                  << "DTR" << 2
                                  << "Power test not started: more than one way to switch the "
                                     "relay is set; set only one of PowerOff and PowerOn, "
                                     "PowerLine or PowerProgram.";
        QTest::addRow("off without on") << "A"
                                        << "" << 2
                                        << "Power test not started: PowerOff and PowerOn must "
                                           "both be set.";
        QTest::addRow("no port") << ""
                                 << "RTS" << 0
                                 << "Power test not started: PowerPort names no port for the "
                                    "relay.";
    }
    void refusedStarts()
    {
        QFETCH(QString, off);
        QFETCH(QString, line);
        QFETCH(int, port);
        QFETCH(QString, entry);
        m_options.powerOff = off;
        m_options.powerOn.clear();
        m_options.powerLine = line;
        m_options.powerPort = port;
        MakeCycle(true);
        QVERIFY(!m_cycle->Start(QStringLiteral("Power test")));
        QCOMPARE(Entries(), QStringList{entry});
        QVERIFY(m_verdicts.isEmpty());
    }

    void secondStartWhileOneRuns()
    {
        MakeCycle();
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        QVERIFY(!m_cycle->Start(QStringLiteral("Power cycle")));
        QCOMPARE(Entries().last(), "Power cycle not started: a power cycle is under way.");
        QVERIFY(m_cycle->running());
    }

    // The program runs with "off", then "on"; a failing "off" or one past the time
    // limit switches on at once; the verdict is the exit status.
    void program_data()
    {
        QTest::addColumn<QString>("offAction");
        QTest::addColumn<QString>("onAction");
        QTest::addColumn<bool>("advancePastLimit");
        QTest::addColumn<QString>("verdict");
        QTest::addRow("both succeed")
            << "exit 0"
            << "exit 0" << false << "Power test done: the power was off for 10 seconds.";
        QTest::addRow("off fails") << "exit 3"
                                   << "exit 0" << false
                                   << "Power test failed: off by %1 failed: \"off\" ended with "
                                      "exit status 3.";
        QTest::addRow("on fails") << "exit 0"
                                  << "exit 1" << false
                                  << "Power test failed: on by %1 failed: \"on\" ended with exit "
                                     "status 1.";
        QTest::addRow("off past the limit") << "sleep 30"
                                            << "exit 0" << true
                                            << "Power test failed: off by %1 failed: it did not "
                                               "finish within 30 seconds; killed.";
    }
    void program()
    {
        QFETCH(QString, offAction);
        QFETCH(QString, onAction);
        QFETCH(bool, advancePastLimit);
        QFETCH(QString, verdict);
        if (::geteuid() != 0)
            QSKIP("The script's folder must belong to root for the program checks.");
        QTemporaryDir folder;
        const QString script = folder.filePath(QStringLiteral("relay"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1/said'\ncase \"$1\" in off) %2;; "
                                  "on) %3;; esac\n")
                       .arg(folder.path(), offAction, onAction)
                       .toUtf8());
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QFile settings(folder.filePath(QStringLiteral("corvane.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.close();
        m_options.powerOff.clear();
        m_options.powerOn.clear();
        m_options.powerPort = 0;
        m_options.powerProgram = script;
        MakeCycle(true);
        m_cycle->setSettingsFile(settings.fileName());
        QVERIFY(m_cycle->Start(QStringLiteral("Power test")));
        if (advancePastLimit) {
            QTRY_VERIFY(QFile::exists(folder.filePath(QStringLiteral("said"))));
            m_clock.advanceMs(30000);
            m_cycle->Tick();
        }
        // The hold begins once "off" has ended well; it waits for the tick.
        QTRY_VERIFY(m_cycle->holding() || !m_verdicts.isEmpty());
        if (m_cycle->holding()) {
            m_clock.advanceMs(10000);
            m_cycle->Tick();
        }
        QTRY_VERIFY(!m_verdicts.isEmpty());
        QCOMPARE(m_verdicts[0].description, verdict.arg(script));
        QFile said(folder.filePath(QStringLiteral("said")));
        QVERIFY(said.open(QIODevice::ReadOnly));
        QCOMPARE(said.readAll(), QByteArray("off\non\n"));
    }
};

QTEST_GUILESS_MAIN(TestPowerCycle)
#include "tst_power_cycle.moc"
