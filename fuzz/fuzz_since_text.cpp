// The value of --since comes from the command line, typed by a person or a script.
// Whatever is accepted must be a length the report can subtract from now: at least an
// hour, a whole number of hours, and not beyond the longest. Whatever is refused must
// say why, quoting the value so that the user sees which argument was meant.
#include "FuzzProperty.h"
#include "SinceText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    QString error;
    const std::optional<qint64> length = ParseSinceText(text, error);
    if (!length) {
        RequireProperty(error.contains(text), "a refusal quotes the value refused");
        return 0;
    }
    constexpr qint64 kHourMs = 3600LL * 1000;
    RequireProperty(*length >= kHourMs, "an accepted length is at least an hour");
    RequireProperty(*length % kHourMs == 0, "an accepted length is a whole number of hours");
    RequireProperty(*length <= kLongestSinceMs, "an accepted length is not beyond the longest");
    RequireProperty(ParseSinceText(text.trimmed().toUpper(), error) == length,
                    "capitals and surrounding spaces do not change the length");
    return 0;
}
