// corvane --check, the real program on settings of the test's own: it says ok or why
// of each item, exits by what it found, and leaves no lock and no log behind.

#include "HeadlessRun.h"

#include <QTest>

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
        QVERIFY(home.writeSettings(
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
};

QTEST_GUILESS_MAIN(TestSettingsCheck)
#include "tst_settings_check.moc"
