#pragma once

#include <QtGlobal>

#include <array>
#include <optional>

// One address's last cycles: how many echoes each sent, and the round trip of the one
// that was answered, if any. Memory is fixed; a figure looks at most kMostCycles
// cycles back, so what a cycle costs does not grow with the watch's age.
class EchoWindow
{
public:
    static constexpr qint32 kMostCycles = 100;

    // A cycle of the address: echoes sent, and the answered one's round trip. A
    // cycle without echoes (none could go out) tells nothing and is not kept.
    void AddCycle(qint32 echoes, std::optional<qint32> roundTripMs);
    void Clear();

    // Over the last `cycles` cycles kept (fewer while the window fills up).
    struct Figures
    {
        qint32 cycles = 0;
        qint32 echoes = 0;
        qint32 lost = 0;
        // Of the answered echoes; none when none was answered.
        std::optional<qint32> medianMs;
    };
    Figures Over(qint32 cycles) const;

private:
    struct Cycle
    {
        qint32 echoes = 0;
        // Negative: no answer.
        qint32 roundTripMs = -1;
    };
    std::array<Cycle, kMostCycles> m_cycles{};
    // Where the next cycle goes, and how many are kept.
    qint32 m_next = 0;
    qint32 m_kept = 0;
};
