#include "SoakRun.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kDays = 30;
constexpr quint32 kDefaultSeed = 20260301;
// Room for what the allocator and Qt's caches settle on after the first day; a leak
// of one small block per cycle would pass 250,000 blocks.
constexpr qint64 kHeapSlackBytes = 64 * 1024LL;

// CORVANE_SOAK_SEED replays a run with another seed.
quint32 Seed()
{
    bool valid = false;
    const quint32 seed = qEnvironmentVariable("CORVANE_SOAK_SEED").toUInt(&valid);
    return valid ? seed : kDefaultSeed;
}

QString Kibibytes(qint64 bytes)
{
    return QString::number(bytes / 1024.0, 'f', 1) + QStringLiteral(" KiB");
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void simulatedMonth()
    {
        const quint32 seed = Seed();
        qInfo("seed %u", seed);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());

        QElapsedTimer wall;
        wall.start();
        SoakRun soak(folder.path(), seed);
        soak.run(kDays);
        const qint64 wallMs = wall.elapsed();

        const SoakFigures &figures = soak.figures();
        qInfo("days simulated %d, ticks %lld (%lld lost to waits), receive polls %lld",
              figures.days, figures.ticks, figures.lostTicks, figures.polls);
        qInfo("cycles %lld, outages %lld (and %lld of the primary only)", figures.cycles,
              figures.outages, figures.primaryOutages);
        qInfo("fail-command sends %lld, \"No response to pings.\" %lld, scheduled sends %lld",
              figures.failSends, figures.noResponses, figures.scheduledSends);
        qInfo("console: %lld bursts, %lld bytes received, %lld bytes logged; log file %s",
              figures.consoleBursts, figures.consoleBytesReceived, figures.consoleBytesLogged,
              qPrintable(Kibibytes(figures.logBytes)));
        // A run that stops on the first day has nothing to compare.
        if (figures.heapAtStart > 0)
            qInfo("heap in use after day 1 %s, at the end %s; resident %s and %s",
                  qPrintable(Kibibytes(figures.heapAtStart)),
                  qPrintable(Kibibytes(figures.heapAtEnd)),
                  qPrintable(Kibibytes(figures.residentAtStart)),
                  qPrintable(Kibibytes(figures.residentAtEnd)));
        qInfo("wall time %.1f s", wallMs / 1000.0);

        QVERIFY2(soak.failure().isEmpty(), qPrintable(soak.failure()));
        QVERIFY2(figures.heapAtEnd - figures.heapAtStart <= kHeapSlackBytes,
                 qPrintable(QStringLiteral("the heap grew by %1")
                                .arg(Kibibytes(figures.heapAtEnd - figures.heapAtStart))));
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
