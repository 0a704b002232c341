// corvane --check, the real program on settings of the test's own: it says ok or why
// of each item, exits by what it found, and leaves no lock and no log behind.

#include "HeadlessRun.h"

#include <QTest>

#include <sys/stat.h>

class TestSettingsCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");
        const QStringList check{QStringLiteral("--check")};
        QTest::addRow("usable") << QByteArray("[Options]\nOnOutage=true --quiet\n") << check << 0
                                << QStringLiteral("[Options] OnOutage=true --quiet: ok (");
        QTest::addRow("refused value")
            << QByteArray("[Options]\nAckSeconds=0\n") << check << 1
            << QStringLiteral(
                   "[Options] AckSeconds=0: A whole number of seconds from 1 to 3600 is required.");
        QTest::addRow("missing program")
            << QByteArray("[Options]\nOnLineBack=/nonexistent/alert\n") << check << 1
            << QStringLiteral(
                   "[Options] OnLineBack=/nonexistent/alert: no program \"/nonexistent/alert\" "
                   "was found");
        QTest::addRow("unusable address")
            << QByteArray() << check << 1
            << QStringLiteral("Secondary address \"no such!\": not an IPv4 or IPv6 address or a "
                              "host name");
        QTest::addRow("not with --history")
            << QByteArray() << QStringList{QStringLiteral("--check"), QStringLiteral("--history")}
            << 2 << QString();
        // As the watch's start-up reads them: a port is never swapped for port 1.
        QTest::addRow("stored port mapped") << QByteArray("[Ports]\n5=/dev/null\n") << check << 0
                                            << QStringLiteral("Port 5: ok (/dev/null)");
        QTest::addRow("stored port without device")
            << QByteArray() << check << 1
            << QStringLiteral("FailPort=999: No device is known for port 999: [Ports] names "
                              "none, and /dev/ttyS998 is not there. Corvane opens no other port "
                              "in its place.");
    }
    void check()
    {
        QFETCH(QByteArray, extra);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        HeadlessHome home;
        // The port is a device that opens and takes nothing, as a console would.
        const bool badAddress = QByteArray(QTest::currentDataTag()) == "unusable address";
        // The first of a key's lines is the one read.
        const QHash<QByteArray, QString> firstLines = {
            {"stored port mapped", QStringLiteral("FailPort=5\n")},
            {"stored port without device", QStringLiteral("FailPort=999\n")},
        };
        QVERIFY(home.writeSettings(
            firstLines.value(QTest::currentDataTag()) +
                QStringLiteral("AddrPri=127.0.0.1\nAddrSec=") +
                (badAddress ? QStringLiteral("no such!") : QStringLiteral("::1")),
            QStringLiteral("/dev/null")));
        QFile settings(home.filePath(QStringLiteral("config/Vestrel.ini")));
        QVERIFY(settings.open(QIODevice::Append));
        settings.write(extra);
        settings.close();

        QProcess program;
        program.setProcessEnvironment(home.environment());
        program.start(QStringLiteral(CORVANE_BINARY), arguments);
        QVERIFY(program.waitForFinished(20000));
        const QString output = QString::fromLocal8Bit(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), exitCode);
        QVERIFY2(output.contains(line), qPrintable(output));
        // Usable: every line says ok.
        if (exitCode == 0)
            QCOMPARE(output.count(QStringLiteral(": ok")), output.count(u'\n'));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("config/Corvane.lock"))));
        QVERIFY(!QFile::exists(home.logPath()));
    }

    // Without a record the watch pings 127.0.0.1 twice; a FIFO in the file's place is
    // read by nobody, and must not hold the check up.
    void noRecord_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::addRow("no settings file") << false;
        QTest::addRow("FIFO") << true;
    }
    void noRecord()
    {
        QFETCH(bool, fifo);
        HeadlessHome home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("config"))));
        const QString path = home.filePath(QStringLiteral("config/Vestrel.ini"));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        QProcess program;
        program.setProcessEnvironment(home.environment());
        program.start(QStringLiteral(CORVANE_BINARY), {QStringLiteral("--check")});
        QVERIFY(program.waitForFinished(20000));
        const QString output = QString::fromLocal8Bit(program.readAllStandardOutput());
        for (const char *which : {"Primary", "Secondary"})
            QVERIFY2(output.contains(QStringLiteral("%1 address \"127.0.0.1\": ok (IPv4)\n")
                                         .arg(QLatin1StringView(which))),
                     qPrintable(output));
        QCOMPARE(output.contains(QStringLiteral("is not a regular file.")), fifo);
        if (fifo)
            QCOMPARE(program.exitCode(), 1);
        else
            QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestSettingsCheck)
#include "tst_settings_check.moc"
