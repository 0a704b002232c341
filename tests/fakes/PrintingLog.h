#pragma once

#include "LogWriter.h"

#include <cstdio>

// A log for benchmarks: what the measured code would log goes to standard output at
// once, so a failing store or window is seen beside the figures; console bytes are
// dropped.
class PrintingLog final : public LogWriter
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        std::printf("log: %s\n", qPrintable(message));
    }
    void WriteReceived(const QByteArray &, bool) override {}
};
