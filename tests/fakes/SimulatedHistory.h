#pragma once

#include "HistorySource.h"

#include <QtMath>

#include <algorithm>
#include <random>
#include <vector>

// A made-up history held in memory and handed out as a store would: a range folds
// its cycles into at most the number of buckets asked for, each keeping its
// minimum and maximum. The line answers in 10 to 20 ms, slower in the evening, with
// a rare slow echo; now and then the primary address alone stops answering, and
// every few hours neither does for a few minutes to over an hour, with the fail
// command sent after three failing cycles and again every 15 minutes.
class SimulatedHistory final : public HistorySource
{
public:
    SimulatedHistory(qint64 endMs, qint64 spanMs, qint64 periodMs, int outages)
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0, 1);
        const qint64 startMs = endMs - spanMs;
        const qint64 gapMs = spanMs / (outages + 1);
        for (int index = 1; index <= outages; ++index) {
            OutageEntry outage;
            outage.startMs = startMs + index * gapMs + qint64(unit(random) * gapMs / 2);
            outage.startMs -= (outage.startMs - startMs) % periodMs;
            const double minutes = 2 + 88 * unit(random) * unit(random);
            outage.endMs = outage.startMs + qint64(minutes * 60'000) / periodMs * periodMs;
            m_outages.push_back(outage);
        }
        m_failCommands.resize(m_outages.size());

        m_cycles.reserve(size_t(spanMs / periodMs) + 1);
        auto outage = m_outages.begin();
        for (qint64 atMs = startMs; atMs <= endMs; atMs += periodMs) {
            while (outage != m_outages.end() && *outage->endMs <= atMs)
                ++outage;
            const bool down = outage != m_outages.end() && outage->startMs <= atMs;
            const double hourOfDay = double(atMs % 86'400'000) / 3'600'000;
            const double evening = 4 * (1 + std::sin((hourOfDay - 14) * M_PI / 12));
            qint32 roundTripMs = qint32(10 + evening + 6 * unit(random));
            if (unit(random) < 0.002)
                roundTripMs += qint32(40 + 80 * unit(random));
            const bool primaryAlone = !down && std::fmod(double(atMs) / 3'600'000, 37) < 0.3;
            Cycle cycle{atMs, roundTripMs, -1};
            if (down || primaryAlone)
                cycle = {atMs, -1, down ? -1 : roundTripMs + 9};
            m_cycles.push_back(cycle);
            if (down)
                Count(*outage, atMs, periodMs);
        }
    }

    HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) override
    {
        HistoryRange range;
        range.fromMs = fromMs;
        range.toMs = toMs;
        const auto first =
            std::lower_bound(m_cycles.begin(), m_cycles.end(), fromMs,
                             [](const Cycle &cycle, qint64 atMs) { return cycle.atMs < atMs; });
        const qint64 bucketMs = std::max<qint64>(1, (toMs - fromMs) / maximumPoints + 1);
        qint64 failingBucket = -1;
        for (auto cycle = first; cycle != m_cycles.end() && cycle->atMs <= toMs; ++cycle) {
            const qint64 bucket = (cycle->atMs - fromMs) / bucketMs;
            ++range.cycles;
            if (cycle->primaryMs >= 0)
                Fold(range.primary, bucket, bucketMs, fromMs, cycle->primaryMs);
            else if (cycle->secondaryMs >= 0)
                Fold(range.secondary, bucket, bucketMs, fromMs, cycle->secondaryMs);
            else if (bucket != std::exchange(failingBucket, bucket))
                range.failingCycleMs.append(cycle->atMs);
            if (cycle->primaryMs >= 0 || cycle->secondaryMs >= 0)
                ++range.answeredCycles;
        }
        for (const OutageEntry &outage : m_outages) {
            if (outage.startMs <= toMs && *outage.endMs >= fromMs) {
                range.outages.append(outage);
                for (const qint64 sentMs : m_failCommands.at(&outage - m_outages.data()))
                    range.failCommandMs.append(sentMs);
            }
        }
        return range;
    }

private:
    struct Cycle
    {
        qint64 atMs;
        // -1: no answer, or not probed.
        qint32 primaryMs;
        qint32 secondaryMs;
    };

    void Count(OutageEntry &outage, qint64 atMs, qint64 periodMs)
    {
        const size_t index = size_t(&outage - m_outages.data());
        ++outage.failingCycles;
        const qint64 sinceFirstSend = atMs - (outage.startMs + 2 * periodMs);
        if (sinceFirstSend >= 0 && sinceFirstSend % (15 * 60'000LL) < periodMs) {
            ++outage.failCommandsSent;
            m_failCommands[index].push_back(atMs);
            if (outage.console.isEmpty())
                outage.console = "\r\nRouter# reload\r\nProceed with reload? [confirm]\r\n";
        }
    }

    static void Fold(QList<RoundTripPoint> &points, qint64 bucket, qint64 bucketMs, qint64 fromMs,
                     qint32 roundTripMs)
    {
        const qint64 bucketStart = fromMs + bucket * bucketMs;
        if (points.isEmpty() || points.last().atMs < bucketStart) {
            points.append({bucketStart, roundTripMs, roundTripMs});
            return;
        }
        points.last().minimumMs = std::min(points.last().minimumMs, roundTripMs);
        points.last().maximumMs = std::max(points.last().maximumMs, roundTripMs);
    }

    std::vector<OutageEntry> m_outages;
    std::vector<std::vector<qint64>> m_failCommands;
    std::vector<Cycle> m_cycles;
};
