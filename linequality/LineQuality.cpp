#include "LineQuality.h"

#include "CaretLine.h"

#include "LogWriter.h"
#include "Options.h"

namespace {

// Whole figures as they are, others to a tenth: 33.3 %.
QString PercentText(double percent)
{
    return QString::number(percent, 'f', percent == double(qint64(percent)) ? 0 : 1);
}

QString CyclesText(qint32 cycles)
{
    return cycles == 1 ? QStringLiteral("the last cycle")
                       : QStringLiteral("the last %1 cycles").arg(cycles);
}

} // namespace

LineQuality::LineQuality(const Options &options, LogWriter &log) : m_options(options), m_log(log) {}

AddressJudgement LineQuality::Judge(ProbedAddress which, const ProbeReport &probe, bool inOutage)
{
    // A cycle judges the secondary only when the primary did not pass.
    if (which == ProbedAddress::Primary)
        m_addresses[1].cause = Cause::None;
    Address &address = m_addresses[std::size_t(which)];
    if (address.text != probe.address) {
        address.text = probe.address;
        address.window.Clear();
    }
    const bool answered = probe.echoes > 0 && probe.status == 0;
    address.window.AddCycle(probe.echoes,
                            answered ? std::optional<qint32>(probe.roundTripMs) : std::nullopt);
    address.cause = Cause::None;
    if (m_options.failLossPercent == 0 && m_options.failLatencyMs == 0)
        return AnsweredInCycle(answered);
    return JudgeFigures(address, probe, inOutage);
}

AddressJudgement LineQuality::JudgeFigures(Address &address, const ProbeReport &probe,
                                           bool inOutage)
{
    const EchoWindow::Figures figures = address.window.Over(m_options.lossWindowCycles);
    AddressJudgement judgement;
    judgement.medianMs = figures.medianMs;
    if (figures.echoes > 0)
        judgement.lossPercent = 100.0 * figures.lost / figures.echoes;
    // No echo could go out: nothing to judge by.
    if (probe.echoes == 0)
        return judgement;
    const bool answeredNow = probe.status == 0;
    // Without a loss limit, a cycle without an answer fails as it always has, however
    // well the address answered before: a dead line must not take a window to show.
    if (m_options.failLossPercent == 0 && !answeredNow)
        return judgement;
    // The address is the user's text, which reaches the log and the history as it is.
    const QString over =
        CyclesText(figures.cycles) + QStringLiteral(" of ") + CaretLine(probe.address);
    const qint64 lostShare = qint64(figures.lost) * 100;
    const qint32 failLoss = m_options.failLossPercent;
    if (failLoss > 0 && lostShare >= qint64(failLoss) * figures.echoes) {
        address.cause = Cause::Loss;
        judgement.reason = QStringLiteral("Loss %1 % over %2 (limit %3 %).")
                               .arg(PercentText(*judgement.lossPercent), over)
                               .arg(failLoss);
        return judgement;
    }
    const qint32 failLatency = m_options.failLatencyMs;
    if (failLatency > 0 && (!figures.medianMs || *figures.medianMs >= failLatency)) {
        address.cause = Cause::Latency;
        judgement.reason = figures.medianMs
                               ? QStringLiteral("Median round trip %1 ms over %2 (limit %3 ms).")
                                     .arg(*figures.medianMs)
                                     .arg(over)
                                     .arg(failLatency)
                               : QStringLiteral("No answer over %1 (round-trip limit %2 ms).")
                                     .arg(over)
                                     .arg(failLatency);
        return judgement;
    }
    judgement.standing = AddressStanding::Passes;
    if (!inOutage)
        return judgement;

    const qint32 recoverLoss = m_options.recoverLossPercent;
    const qint32 recoverLatency = m_options.recoverLatencyMs;
    if (recoverLoss > 0 && lostShare > qint64(recoverLoss) * figures.echoes) {
        address.cause = Cause::RecoveryLoss;
        judgement.standing = AddressStanding::Between;
        judgement.reason =
            QStringLiteral("Loss %1 % over %2, above the recovery limit of %3 %; the outage's "
                           "count holds.")
                .arg(PercentText(*judgement.lossPercent), over)
                .arg(recoverLoss);
    } else if (recoverLatency > 0 && figures.medianMs && *figures.medianMs > recoverLatency) {
        address.cause = Cause::RecoveryLatency;
        judgement.standing = AddressStanding::Between;
        judgement.reason = QStringLiteral("Median round trip %1 ms over %2, above the recovery "
                                          "limit of %3 ms; the outage's count holds.")
                               .arg(*figures.medianMs)
                               .arg(over)
                               .arg(recoverLatency);
    }
    return judgement;
}

void LineQuality::cycleDone(const CycleReport &report)
{
    // A window holds cycles in a row: the secondary's last ones from before the primary
    // passed again may be days old, and must not judge it when it is next needed.
    if (!report.secondary)
        m_addresses[1].window.Clear();
    const std::array<Cause, 2> causes{m_addresses[0].cause, m_addresses[1].cause};
    if (report.answered) {
        m_told = {Cause::None, Cause::None};
        return;
    }
    if (report.reason.isEmpty() || causes == m_told)
        return;
    m_told = causes;
    m_log.WriteLog(report.reason, true, true, kSystemMessage);
}

void LineQuality::outageEnded()
{
    m_told = {Cause::None, Cause::None};
}
