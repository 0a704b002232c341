#include "HistoryFileClaim.h"
#include "HistoryRig.h"
#include "PrintedReport.h"

#include <QtTest>

#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A monitor in a process of its own records an answered cycle and an outage of two
// failing cycles from 12:00:00 (UTC), a second apart, and is killed with SIGKILL
// during the outage, as kill -9 does.
bool RecordThenKill(const QString &folder)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::close(ready[0]);
        // Never destroyed: the kill ends it, not a destructor.
        auto *rig = new HistoryRig(folder);
        rig->clock.set(QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC));
        rig->start();
        rig->answer(5);
        rig->fail();
        rig->fail();
        const char done = 1;
        if (::write(ready[1], &done, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char done = 0;
    const bool recorded = ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return recorded && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

// An outage that no monitor watched to its end.
class HistoryUnwatchedTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    // The reports two hours after the kill: before any start, while another monitor
    // holds the store (as one that lives on would), and after the next start.
    void killedDuringAnOutage_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<ReportFormat>("format");
        QTest::addColumn<QStringList>("shown");

        const QStringList text = {QStringLiteral("2026-01-01 12:00:01  2026-01-01 12:00:02+ "),
                                  QStringLiteral("\n1 outage, 1 s in all.\n"),
                                  QStringLiteral("\n+ Corvane ended without a stop during")};
        const QStringList csv = {
            QStringLiteral("\r\n2026-01-01T12:00:01Z,2026-01-01T12:00:02Z,1,2,0,,0,1,\r\n")};
        const QStringList json = {
            QStringLiteral("\"outage_count\":1,\"outage_seconds\":1,"),
            QStringLiteral("\"end\":\"2026-01-01T12:00:02Z\",\"duration_seconds\":1,"),
            QStringLiteral("\"ended_by_stop\":false,\"ended_unwatched\":true,")};
        for (const QString &then : {QStringLiteral("no start yet"), QStringLiteral("a start")}) {
            QTest::addRow("text, %s", qPrintable(then)) << then << ReportFormat::Text << text;
            QTest::addRow("CSV, %s", qPrintable(then)) << then << ReportFormat::Csv << csv;
            QTest::addRow("JSON, %s", qPrintable(then)) << then << ReportFormat::Json << json;
        }
        QTest::addRow("text, held by a monitor")
            << "held" << ReportFormat::Text
            << QStringList{QStringLiteral("2026-01-01 12:00:01  (lasting)             1 h 59 min")};
        QTest::addRow("JSON, held by a monitor")
            << "held" << ReportFormat::Json
            << QStringList{QStringLiteral("\"end\":null,\"duration_seconds\":7199,"),
                           QStringLiteral("\"ended_unwatched\":false,")};
    }

    void killedDuringAnOutage()
    {
        QFETCH(QString, then);
        QFETCH(ReportFormat, format);
        QFETCH(QStringList, shown);
        QTemporaryDir folder;
        QVERIFY(RecordThenKill(folder.path()));

        HistoryRig next(folder.path());
        next.clock.set(QDateTime(QDate(2026, 1, 1), QTime(14, 0), Qt::UTC));
        HistoryFileClaim other(next.path);
        bool taken = false;
        if (then == u"held")
            QCOMPARE(other.lock(taken), std::nullopt);
        else if (then == u"a start")
            next.start();
        const QString report = PrintedReport(next.path, QStringLiteral("24h"), format, next.clock);
        for (const QString &part : shown)
            QVERIFY2(report.contains(part), qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(HistoryUnwatchedTest)
#include "tst_history_unwatched.moc"
