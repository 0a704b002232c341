#include "ProbedAddressTip.h"

#include "WatchEvents.h"

namespace {

QString LineFor(const ProbeReport &probe)
{
    if (probe.resolved.isEmpty() || probe.resolved == probe.address)
        return {};
    return QStringLiteral("\n") + probe.address.trimmed() + QStringLiteral(": ") + probe.resolved;
}

} // namespace

void ProbedAddressTip::UpdateTrayTip(const QString &text)
{
    m_text = text;
    m_tray.UpdateTrayTip(m_text + m_lines);
}

void ProbedAddressTip::ShowProbed(const CycleReport &report)
{
    QString lines = LineFor(report.primary);
    if (report.secondary)
        lines += LineFor(*report.secondary);
    if (lines == m_lines)
        return;
    m_lines = lines;
    m_tray.UpdateTrayTip(m_text + m_lines);
}
