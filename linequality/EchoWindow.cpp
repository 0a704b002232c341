#include "EchoWindow.h"

#include <algorithm>

void EchoWindow::AddCycle(qint32 echoes, std::optional<qint32> roundTripMs)
{
    if (echoes <= 0)
        return;
    m_cycles[std::size_t(m_next)] = {echoes, roundTripMs ? std::max(*roundTripMs, 0) : -1};
    m_next = (m_next + 1) % kMostCycles;
    m_kept = std::min(m_kept + 1, kMostCycles);
}

void EchoWindow::Clear()
{
    m_next = 0;
    m_kept = 0;
}

EchoWindow::Figures EchoWindow::Over(qint32 cycles) const
{
    Figures figures;
    figures.cycles = std::clamp(cycles, 0, m_kept);
    std::array<qint32, kMostCycles> trips{};
    qint32 answered = 0;
    for (qint32 back = 1; back <= figures.cycles; ++back) {
        const Cycle &cycle = m_cycles[std::size_t((m_next - back + kMostCycles) % kMostCycles)];
        figures.echoes += cycle.echoes;
        // Echoes stop at the first answer, so a cycle lost all it sent or all but one.
        figures.lost += cycle.roundTripMs < 0 ? cycle.echoes : cycle.echoes - 1;
        if (cycle.roundTripMs >= 0)
            trips[std::size_t(answered++)] = cycle.roundTripMs;
    }
    if (answered == 0)
        return figures;
    // The middle one, or the mean of the two middle ones, rounded down.
    const auto begin = trips.begin();
    const auto middle = begin + answered / 2;
    std::nth_element(begin, middle, begin + answered);
    qint64 median = *middle;
    if (answered % 2 == 0)
        median = (median + *std::max_element(begin, middle)) / 2;
    figures.medianMs = qint32(median);
    return figures;
}
