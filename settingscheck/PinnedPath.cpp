#include "PinnedPath.h"

ProbePath PinnedPathOf(const Options &options)
{
    return ProbePathOf(options.interfaceName, options.sourceAddress);
}

std::optional<QString> UnpinnedRefusal(const Options &options, OptionKey key)
{
    if (key != OptionKey::Interface && key != OptionKey::SourceAddress)
        return std::nullopt;
    const ProbePathRefusals refusals = CheckProbePath(PinnedPathOf(options));
    return key == OptionKey::Interface ? refusals.interfaceName : refusals.source;
}

QStringList UnpinnedPathLines(const Options &options)
{
    QStringList lines;
    for (const OptionKey key : {OptionKey::Interface, OptionKey::SourceAddress}) {
        if (const std::optional<QString> refusal = UnpinnedRefusal(options, key))
            lines << OptionKeyName(key) + u'=' + OptionText(options, key) + QStringLiteral(": ") +
                         *refusal;
    }
    return lines;
}
