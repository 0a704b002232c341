#include "ChatteringSerialPort.h"

#include <array>

namespace {

const QByteArray kPromptAfterCommand = QByteArrayLiteral("\r\nRouter>");
constexpr int kChatterOneIn = 240;
constexpr int kListingOneIn = 50;

} // namespace

Outcome ChatteringSerialPort::output(char byte)
{
    if (!m_open)
        return Outcome::failure(QStringLiteral("The port is not open."));
    written.append(byte);
    if (byte == '\r')
        m_waiting.append(kPromptAfterCommand);
    return Outcome::success();
}

Outcome ChatteringSerialPort::inBufferCount(int &count)
{
    count = m_open ? int(m_waiting.size()) : 0;
    return Outcome::success();
}

Outcome ChatteringSerialPort::input(QByteArray &data)
{
    data = m_waiting;
    delivered.append(m_waiting);
    m_waiting.clear();
    return Outcome::success();
}

void ChatteringSerialPort::chatter()
{
    if (m_random.bounded(kChatterOneIn) != 0)
        return;
    ++bursts;
    const bool listing = m_random.bounded(kListingOneIn) == 0;
    const int lines = listing ? 200 + m_random.bounded(300) : 1 + m_random.bounded(6);
    QByteArray burst;
    if (m_random.bounded(2) == 0)
        burst.append("\r\n");
    for (int line = 0; line < lines; ++line) {
        const int length = m_random.bounded(72);
        for (int position = 0; position < length; ++position)
            burst.append(RandomCharacter());
        burst.append("\r\n");
    }
    // A burst ends in a prompt, never in a digit, so that the log's next header
    // cannot be read as starting inside the router's text.
    burst.append(m_random.bounded(2) == 0 ? "Router>" : "Router#");
    m_waiting.append(burst);
}

char ChatteringSerialPort::RandomCharacter()
{
    // Mostly plain text, with the odd control character and Latin-1 letter that line
    // noise or a terminal escape brings. Brackets are left out: the log's headers are
    // told apart by their bracketed category, and the router must not fake one.
    static constexpr std::array<char, 5> kControls = {'\0', '\a', '\b', '\t', '\x1b'};
    const int pick = m_random.bounded(100);
    if (pick == 0)
        return kControls[m_random.bounded(int(kControls.size()))];
    if (pick == 1)
        return char(0xA0 + m_random.bounded(0x60));
    char character;
    do {
        character = char(' ' + m_random.bounded(95));
    } while (character == '[' || character == ']');
    return character;
}
