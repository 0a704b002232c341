#include "DeviceLink.h"

#include "BusyPointer.h"
#include "CaretNotation.h"
#include "LogWriter.h"
#include "Pause.h"
#include "SerialPort.h"

namespace {

// A router's console reads slowly and has no flow control: every byte is followed
// by a gap, and a control character, which makes the console act (a carriage
// return runs a command), by a long one so that the console is done before the
// next byte arrives.
constexpr int kByteGapMs = 20;
constexpr int kControlGapMs = kByteGapMs + 250;

} // namespace

void DeviceLink::SendCommand(const QString &command)
{
    // Once the program is stopping not one more byte goes out: the stop line must be
    // the last thing it does.
    if (m_pause.stopRequested())
        return;
    m_pending.clear();
    // Why bytes stayed behind: only a failed reopen or write. A caret pair that forms
    // no character is still reported, but its character went out unchanged.
    PendingFailure notSent;
    {
        BusyScope busy(m_busyPointer);
        // When a reopen fails, writing would only replace its reason with "not
        // open"; the bytes are skipped, their pacing is kept.
        bool portUsable = true;
        if ((m_reopenBeforeSend || m_reopenPort) && !m_port.isOpen()) {
            ReopenKeptPort();
            portUsable = !m_pending.isPending();
            notSent = m_pending;
        }
        for (const CommandByte &next : DecodeCommand(command)) {
            if (!next.failure.isEmpty())
                m_pending.remember(Outcome::failure(next.failure));
            if (portUsable) {
                const Outcome written = m_port.output(next.byte);
                m_pending.remember(written);
                notSent.remember(written);
            }
            // A stop cuts the gap short and ends the send at the byte it reached.
            if (next.gap != GapAfter::None &&
                !m_pause.pauseMs(next.gap == GapAfter::Long ? kControlGapMs : kByteGapMs))
                return;
        }
    }
    // The log keeps the reason, which the box shows only until it is closed.
    if (notSent.isPending())
        m_log.WriteLog(QStringLiteral("Command not sent completely: ") + notSent.description(),
                       true, true, kSystemMessage);
    ReportError(kCommPortError);
}
