#include "MetricsFile.h"

#include "Clock.h"
#include "LogWriter.h"
#include "WholeNumber.h"
#include "WindowFields.h"

#include <QDir>
#include <QSaveFile>

#include <utility>

MetricsFile::MetricsFile(const WindowFields &fields, const Clock &clock, LogWriter &log)
    : m_fields(fields), m_clock(clock), m_log(log)
{
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
    m_snapshot.failCount = report.failCount;
    m_snapshot.retries = WholeNumber16(m_fields.text(Field::FailTries));
    m_snapshot.lastCycleMs = m_clock.now().toMSecsSinceEpoch();
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
    // QSaveFile writes a temporary file beside the target and renames it over the
    // target on commit. The collector reads only names ending in .prom, which the
    // temporary one does not.
    QSaveFile file(m_path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(MetricsText(m_snapshot)) >= 0 && file.commit();
    if (written) {
        m_failing = false;
        return;
    }
    if (std::exchange(m_failing, true))
        return;
    m_log.WriteLog(QStringLiteral("The metrics file ") + QDir::toNativeSeparators(m_path) +
                       QStringLiteral(" could not be written: ") + file.errorString(),
                   true, true, kSystemMessage);
}
