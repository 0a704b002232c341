// An event program's output is bytes from outside that go into a log entry and, with
// it, into the journal, which ends a record at a NUL or a line feed. Whatever the
// bytes, and wherever the 2 KB cut falls, the entry's text must hold no control
// character but CR LF line ends, none of those at either edge, and end with the cut's
// note when it was cut. The input's first byte says whether it was; the rest is the
// output.
#include "FuzzProperty.h"
#include "ProgramOutput.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool cut = (data[0] & 1) != 0;
    const QByteArray output(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString text = ProgramOutputForLog(output, cut);

    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t code = text.at(at).unicode();
        const bool lineEndStart = code == u'\r' && at + 1 < text.size() && text.at(at + 1) == u'\n';
        const bool lineEndEnd = code == u'\n' && at > 0 && text.at(at - 1) == u'\r';
        RequireProperty(code != 0, "no NUL");
        RequireProperty(code >= 0x20 || lineEndStart || lineEndEnd,
                        "no control character but CR LF line ends");
        RequireProperty(code < 0x7f || code > 0x9f, "no DEL or C1 control character");
    }
    RequireProperty(!text.startsWith(u'\r') && !text.endsWith(u'\n'), "no line end at either edge");
    RequireProperty(!cut || text.endsWith(QStringLiteral("(output cut at 2 KB)")),
                    "a cut output says so");
    RequireProperty(!output.isEmpty() || cut || text.isEmpty(), "no output, no lines");
    return 0;
}
