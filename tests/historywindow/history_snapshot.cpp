#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "HistoryWindow.h"
#include "SimulatedHistory.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

#include <cstdio>

namespace {

constexpr qint64 kMinuteMs = 60'000;

// The simulated history with a night in which Corvane did not run: no cycle, no
// outage and no command recorded in it.
class NightUnwatched final : public HistorySource
{
public:
    NightUnwatched(HistorySource &history, qint64 fromMs, qint64 toMs)
        : m_history(history), m_fromMs(fromMs), m_toMs(toMs)
    {
    }

    HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) override
    {
        HistoryRange range = m_history.range(fromMs, toMs, maximumPoints);
        const auto inNight = [this](qint64 atMs) { return atMs > m_fromMs && atMs < m_toMs; };
        const auto pointInNight = [&](const RoundTripPoint &point) { return inNight(point.atMs); };
        range.primary.removeIf(pointInNight);
        range.secondary.removeIf(pointInNight);
        range.failingCycleMs.removeIf(inNight);
        range.failCommandMs.removeIf(inNight);
        range.outages.removeIf([&](const OutageEntry &outage) {
            return inNight(outage.startMs) || inNight(outage.endMs.value_or(outage.startMs));
        });
        // The night's cycles all answered in the simulation.
        const qint64 missed =
            std::max<qint64>(0, (std::min(toMs, m_toMs) - std::max(fromMs, m_fromMs)) / kMinuteMs);
        range.cycles -= missed;
        range.answeredCycles -= missed;
        // As the history records it: a stop at the night's start, a start at its end.
        if (m_fromMs < toMs && m_toMs > fromMs)
            range.notMonitored.append({std::max(fromMs, m_fromMs), std::min(toMs, m_toMs)});
        return range;
    }

private:
    HistorySource &m_history;
    qint64 m_fromMs;
    qint64 m_toMs;
};

} // namespace

// history_snapshot PICTURE.png: the History window over a simulated week of cycles
// once a minute, with outages and a night in which Corvane did not run, as a picture
// for the documentation.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: history_snapshot PICTURE.png\n", stderr);
        return 2;
    }
    const FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(16, 30)));
    const qint64 nowMs = clock.now().toMSecsSinceEpoch();
    SimulatedHistory simulated(nowMs, 7 * 86'400'000LL, kMinuteMs, 9);
    const qint64 nightMs = QDateTime(QDate(2026, 12, 3), QTime(22, 40)).toMSecsSinceEpoch();
    NightUnwatched history(simulated, nightMs, nightMs + (7 * 60 + 41) * kMinuteMs);
    FakeMessageBoxes boxes;
    HistoryWindow window(history, clock, boxes);
    window.resize(1000, 720);
    window.setSpan(HistorySpan::Week);
    window.show();
    window.activateWindow();
    int result = 0;
    QTimer::singleShot(500, [&] {
        if (!window.grab().save(QString::fromLocal8Bit(argv[1])))
            result = 1;
        application.quit();
    });
    application.exec();
    return result;
}
