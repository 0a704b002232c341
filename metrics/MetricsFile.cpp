#include "MetricsFile.h"

#include "Clock.h"
#include "LogWriter.h"
#include "WholeFile.h"
#include "WholeNumber.h"
#include "WindowFields.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

MetricsFile::MetricsFile(const WindowFields &fields, const Clock &clock, LogWriter &log)
    : m_fields(fields), m_clock(clock), m_log(log)
{
}

void MetricsFile::setPath(const QString &path)
{
    m_path = path;
    // A link's own name, not its target's: it is the name the collector reads.
    m_watch = QFileInfo(path).fileName();
    const QString extension = QStringLiteral(".prom");
    // Left whole when nothing would remain, since an empty label is no label at all.
    if (m_watch.endsWith(extension) && m_watch.size() > extension.size())
        m_watch.chop(extension.size());
}

void MetricsFile::cycleDone(const CycleReport &report)
{
    m_cycleSeen = true;
    m_snapshot.up = report.answered;
    // The secondary address is probed only when the primary did not answer, so an
    // answer came from the one probed last.
    const bool primaryAnswered = report.answered && !report.secondary;
    const bool secondaryAnswered = report.answered && report.secondary;
    m_snapshot.primaryRoundTripMs =
        primaryAnswered ? std::optional(report.primary.roundTripMs) : std::nullopt;
    m_snapshot.secondaryRoundTripMs =
        secondaryAnswered ? std::optional(report.secondary->roundTripMs) : std::nullopt;
    m_snapshot.primaryLossPercent = report.primary.lossPercent;
    m_snapshot.primaryMedianMs = report.primary.medianMs;
    m_snapshot.secondaryLossPercent =
        report.secondary ? report.secondary->lossPercent : std::nullopt;
    m_snapshot.secondaryMedianMs = report.secondary ? report.secondary->medianMs : std::nullopt;
    m_snapshot.failCount = report.failCount;
    m_snapshot.retries = WholeNumber16(m_fields.text(Field::FailTries));
    m_snapshot.lastCycleMs = m_clock.epochMs();
    Write();
}

void MetricsFile::outageStarted()
{
    ++m_snapshot.outages;
}

void MetricsFile::commandSent(CommandKind kind, const QString &)
{
    if (kind == CommandKind::Fail)
        ++m_snapshot.failCommands;
    else if (kind == CommandKind::Scheduled)
        ++m_snapshot.scheduledCommands;
    else
        return;
    // A send follows its cycle's write, and a scheduled one comes between cycles:
    // the counters would otherwise lag a whole ping period. Before the first cycle
    // there is no state of the line to write yet.
    if (m_cycleSeen)
        Write();
}

void MetricsFile::Write()
{
    if (m_path.isEmpty())
        return;
    // The temporary file beside the target is not read by the collector, which reads
    // only names ending in .prom.
    const std::optional<QString> failure = WriteWholeFile(m_path, MetricsText(m_watch, m_snapshot));
    if (!failure) {
        m_failing = false;
        return;
    }
    if (std::exchange(m_failing, true))
        return;
    m_log.WriteLog(QStringLiteral("The metrics file ") + QDir::toNativeSeparators(m_path) +
                       QStringLiteral(" could not be written: ") + *failure,
                   true, true, kSystemMessage);
}
