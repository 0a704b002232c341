// A relay frame is typed by the user and goes to the board byte for byte, so that what
// is read must be exactly what the text says, and a text that is refused must say why
// and give no bytes: half a frame could switch the wrong relay.
#include "FuzzProperty.h"
#include "RelayFrame.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    const RelayFrame frame = ParseRelayFrame(text);
    if (!frame.refusal.isEmpty()) {
        RequireProperty(frame.bytes.isEmpty(), "a refused text gives no bytes");
        RequireProperty(frame.refusal.contains(QStringLiteral("(character ")),
                        "a refusal names the character at fault");
        return 0;
    }
    RequireProperty(frame.bytes.size() <= text.size(), "no more bytes than characters");
    const QString written = RelayFrameText(frame.bytes);
    const RelayFrame again = ParseRelayFrame(written);
    RequireProperty(again.refusal.isEmpty(), "the text written for the bytes is taken");
    RequireProperty(again.bytes == frame.bytes, "the text written for the bytes reads back");
    RequireProperty(RelayFrameText(again.bytes) == written, "writing the bytes again is stable");

    // The raw bytes, read as a frame's text of their own, must come back whole too.
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    RequireProperty(ParseRelayFrame(RelayFrameText(raw)).bytes == raw,
                    "every byte sequence has a text that reads back as it");
    return 0;
}
