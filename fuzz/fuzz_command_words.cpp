// The event programs' command lines are split by this reader. Whatever it takes, the
// words it returns must come back the same when each is written in single quotes and
// the line is read again, so that no quoting is lost or invented; and it either splits
// or refuses, never both.
#include "CommandWords.h"
#include "FuzzProperty.h"

namespace {

// How a shell would write the word back: in single quotes, each quote of its own
// closed, escaped and opened again.
QString Quoted(const QString &word)
{
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const CommandWords split = SplitCommandWords(FuzzText(data, size));
    RequireProperty(split.refusal.isEmpty() || split.words.isEmpty(),
                    "a refused line has no words");
    if (!split.refusal.isEmpty())
        return 0;
    QStringList quoted;
    for (const QString &word : split.words)
        quoted << Quoted(word);
    const CommandWords again = SplitCommandWords(quoted.join(u' '));
    RequireProperty(again.refusal.isEmpty(), "quoted words are taken");
    RequireProperty(again.words == split.words, "quoted words read back the same");
    return 0;
}
