// The acknowledgement pattern is typed by the user and matched against whatever the
// router's console sends, a chunk per receive poll. The input's first line is the
// pattern, its first byte also the chunk size; the rest is the console's bytes.
// Whatever the bytes, the verdict must be the one the whole text so far gives at the
// first poll whose text matches, and what the log shows must stay on its lines.
#include "AckWatcher.h"
#include "Clock.h"
#include "ConsoleMatch.h"
#include "FuzzProperty.h"
#include "LogWriter.h"
#include "Options.h"

#include <QStringList>

namespace {

// Stands still while the bytes come, then jumps past any wait.
class JumpingClock final : public Clock
{
public:
    QDateTime now() const override { return {}; }
    qint64 monotonicMs() const override { return ms; }
    qint64 awakeMs() const override { return ms; }
    qint64 ms = 0;
};

class LastEntry final : public LogWriter
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        entries.append(message);
    }
    void WriteReceived(const QByteArray &, bool) override {}
    QStringList entries;
};

bool HasLineEnd(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    if (size == 0 || lineEnd < 0)
        return 0;
    const QString patternText = QString::fromUtf8(input.left(lineEnd));
    const QByteArray console = input.mid(lineEnd + 1);
    const qsizetype chunk = 1 + data[0] % 16;
    if (OptionRefusal(OptionKey::AckPattern, patternText) || patternText.isEmpty())
        return 0;
    const QRegularExpression pattern(patternText);

    Options options;
    options.ackPattern = patternText;
    JumpingClock clock;
    LastEntry log;
    AckWatcher watcher(options, log, clock);
    watcher.commandSent(CommandKind::Fail, QStringLiteral("^m"));
    std::optional<QString> expected;
    for (qsizetype at = 0; at < console.size() && !expected; at += chunk) {
        watcher.consoleReceived(console.mid(at, chunk));
        expected = MatchedLine(pattern, ConsoleText(console.left(at + chunk)));
    }
    clock.ms = qint64(options.ackSeconds) * 1000;
    watcher.Tick();

    RequireProperty(log.entries.size() == 1, "every wait ends in exactly one verdict");
    const QString &entry = log.entries.first();
    if (expected) {
        RequireProperty(!HasLineEnd(*expected), "a matched line holds no line end");
        RequireProperty(entry ==
                            QStringLiteral("Router acknowledged the fail command.\r\n") + *expected,
                        "the first poll whose text matches acknowledges, with that line");
    } else {
        RequireProperty(entry.startsWith(QStringLiteral("No acknowledgement")),
                        "without a match the wait ends without an acknowledgement");
        const QString excerpt = LogExcerpt(ConsoleText(console), 200);
        RequireProperty(!excerpt.contains(u'\n') || excerpt.count(u'\n') == excerpt.count(u'\r'),
                        "an excerpt's lines end in the log's own line ends");
        RequireProperty(excerpt.size() <= 400, "an excerpt stays within its 200 characters");
    }

    for (const QString &line : MatchedLines(pattern, ConsoleText(console)))
        RequireProperty(!HasLineEnd(line), "a line shown by Test pattern holds no line end");
    return 0;
}
