#pragma once

#include "HistorySource.h"

#include <QList>

// Hands out the same history for any range, with the range's own ends, and records
// what was asked.
class FakeHistorySource final : public HistorySource
{
public:
    struct Request
    {
        qint64 fromMs;
        qint64 toMs;
        int maximumPoints;
    };

    HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) override
    {
        requests.append({fromMs, toMs, maximumPoints});
        HistoryRange range = contents;
        range.fromMs = fromMs;
        range.toMs = toMs;
        return range;
    }

    HistoryRange contents;
    QList<Request> requests;
};
