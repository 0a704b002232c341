// corvane --check's report of the options and the metrics file, on settings of the
// test's own: every other item is usable, so the exit status is the row's alone.

#include "IniSettingsStore.h"
#include "ScriptedEcho.h"
#include "Settings.h"
#include "SettingsCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

class TestCheckReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // %1 in options and line stands for the test's folder.
    void reportsEachOption_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("exitCode");

        QTest::addRow("metrics file in a folder that is there")
            << "MetricsFile=%1/corvane.prom"
            << "Metrics file %1/corvane.prom: ok" << 0;
        // The watch makes no folder: a new file is written beside the old one and renamed.
        QTest::addRow("metrics file in a missing folder")
            << "MetricsFile=%1/missing/corvane.prom"
            << "Metrics file %1/missing/corvane.prom: %1/missing/corvane.prom cannot be made: "
               "the folder %1/missing does not exist"
            << 1;
        QTest::addRow("metrics file through a link into a missing folder")
            << "MetricsFile=%1/link.prom"
            << "Metrics file %1/link.prom: %1/link.prom cannot be made: the folder %1/missing "
               "does not exist"
            << 1;
        QTest::addRow("metrics file that the option refuses is not looked at")
            << "MetricsFile=corvane.prom"
            << "[Options] MetricsFile=corvane.prom: An absolute path is required, such as "
               "/var/lib/prometheus/node-exporter/corvane.prom."
            << 1;
        QTest::addRow("echoes per address at none")
            << "EchoesPerAddress=0"
            << "[Options] EchoesPerAddress=0: A whole number of echoes from 1 to 10 is required."
            << 1;
        QTest::addRow("echoes per address at its highest")
            << "EchoesPerAddress=10"
            << "[Options] EchoesPerAddress=10: ok" << 0;
        QTest::addRow("key not stored") << ""
                                        << "[Options] EchoesPerAddress=1: ok (default)" << 0;
    }
    void reportsEachOption()
    {
        QFETCH(QString, options);
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QTemporaryDir folder;
        const QString path = folder.path();
        QVERIFY(QFile::link(path + QStringLiteral("/missing/target.prom"),
                            path + QStringLiteral("/link.prom")));
        IniSettingsStore store(path + QStringLiteral("/config"));
        const QString ini = QStringLiteral("[LastValues]\nInit=Yes\nAddrPri=127.0.0.1\n"
                                           "AddrSec=::1\nFailPort=1\nFailLog=%1/log.txt\n\n"
                                           "[Ports]\n1=/dev/null\n\n[Options]\n%2\n")
                                .arg(path, QString(options).replace(QStringLiteral("%1"), path));
        QVERIFY(QDir().mkpath(QFileInfo(store.filePath(SettingsAppName)).path()));
        QFile file(store.filePath(SettingsAppName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini.toUtf8()) > 0);
        file.close();
        ScriptedEcho echo;

        QString report;
        QTextStream out(&report);
        const int status = CheckSettings({store, store.filePath(SettingsAppName), echo,
                                          path + QStringLiteral("/log.txt"),
                                          path + QStringLiteral("/history.sqlite")},
                                         out);
        out.flush();

        QVERIFY2(report.split(u'\n').contains(line.replace(QStringLiteral("%1"), path)),
                 qPrintable(report));
        QCOMPARE(status, exitCode);
        QVERIFY(!QFile::exists(path + QStringLiteral("/corvane.prom")));
    }
};

QTEST_GUILESS_MAIN(TestCheckReport)
#include "tst_check_report.moc"
