#include "AckWatcher.h"

#include "Clock.h"
#include "ConsoleMatch.h"
#include "LogWriter.h"
#include "Options.h"

namespace {

constexpr qsizetype kTailBytes = 2048;
// A console that talks at full speed for the whole wait must not fill the memory;
// an acknowledgement is the console's latest words.
constexpr qsizetype kMostReceived = qsizetype{64} * 1024;
constexpr qsizetype kExcerptCharacters = 200;

} // namespace

AckWatcher::AckWatcher(const Options &options, LogWriter &log, const Clock &clock)
    : m_options(options), m_log(log), m_clock(clock)
{
}

void AckWatcher::commandSent(CommandKind kind, const QString &)
{
    if (kind != CommandKind::Fail || m_options.ackPattern.isEmpty())
        return;
    // The pattern and the time are taken as the send went out; a change in the
    // window counts from the next send.
    if (!m_deadlineMs)
        m_received.clear();
    m_pattern.setPattern(m_options.ackPattern);
    m_waitSeconds = m_options.ackSeconds;
    m_deadlineMs = m_clock.monotonicMs() + qint64(m_waitSeconds) * 1000;
}

void AckWatcher::consoleReceived(const QByteArray &bytes)
{
    m_tail.append(bytes);
    if (m_tail.size() > kTailBytes)
        m_tail.remove(0, m_tail.size() - kTailBytes);
    if (!m_deadlineMs)
        return;
    m_received += ConsoleText(bytes);
    if (m_received.size() > kMostReceived)
        m_received.remove(0, m_received.size() - kMostReceived);
    if (const std::optional<QString> line = MatchedLine(m_pattern, m_received)) {
        m_deadlineMs.reset();
        m_log.WriteLog(QStringLiteral("Router acknowledged the fail command.\r\n") + *line, true,
                       true, kSystemMessage);
        if (m_verdicts)
            m_verdicts->acknowledgement(true, *line);
    }
}

void AckWatcher::Tick()
{
    if (!m_deadlineMs || m_clock.monotonicMs() < *m_deadlineMs)
        return;
    m_deadlineMs.reset();
    const QString excerpt = LogExcerpt(m_received, kExcerptCharacters);
    m_log.WriteLog(QStringLiteral("No acknowledgement from the router within %1 seconds.\r\n")
                           .arg(m_waitSeconds) +
                       (excerpt.isEmpty() ? QStringLiteral("(nothing received)") : excerpt),
                   true, true, kSystemMessage);
    if (m_verdicts)
        m_verdicts->acknowledgement(false, excerpt.section(QStringLiteral("\r\n"), -1));
}
