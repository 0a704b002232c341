#include "DeviceLink.h"

#include "FieldConfirmation.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "Pause.h"
#include "SerialPort.h"
#include "Settings.h"
#include "WatchEvents.h"
#include "WholeNumber.h"
#include "WindowFields.h"

#include <optional>
#include <utility>

namespace {

// The router's console line: 9600 baud, no parity, 8 data bits, 1 stop bit, no
// flow control, and a read that takes everything waiting.
const QString kLineSettings = QStringLiteral("9600,N,8,1");
constexpr int kNoHandshaking = 0;
constexpr int kReadEverything = 0;
constexpr int kOutBufferBytes = 256;
constexpr int kInBufferBytes = 16384;

// Gives a port that was just closed time to settle before it is opened again.
constexpr int kReopenPauseMs = 500;

// Characters up to this code are dropped from the start of a chunk that opens a
// log entry (the line ends of the router's previous line), unless nothing else is
// left.
constexpr int kLastLeadingControlCode = 26;

} // namespace

DeviceLink::DeviceLink(SerialPort &port, const WindowFields &fields, Settings &settings,
                       LogWriter &log, MessageBoxes &boxes, Pause &pause, BusyPointer &busyPointer,
                       WatchEvents &events)
    : m_port(port), m_fields(fields), m_settings(settings), m_log(log), m_boxes(boxes),
      m_pause(pause), m_busyPointer(busyPointer), m_events(events)
{
}

bool DeviceLink::OpenCommPort()
{
    m_pending.clear();
    ConfigurePort(PortChoice::FromField);
    return ReportError(kCommPortError);
}

void DeviceLink::ConfigurePort(PortChoice choice)
{
    // A reopen goes to the port the user confirmed, through the device found for
    // it then: the settings file may have changed or broken since, and a fresh
    // look-up could send the command to another port.
    if (choice == PortChoice::FromField || !m_chosenPortText) {
        m_chosenPortText = m_fields.text(Field::FailPort);
        m_portNumberSet = false;
    }
    const std::optional<qint16> portNumber = WholeNumber16(*m_chosenPortText);
    // Nothing can be opened without a port, and a later step's failure would only
    // hide the reason.
    if (!portNumber) {
        // A number past the ports' range is a number all the same, and saying
        // otherwise would send the user looking for a typing mistake.
        bool isNumber = WholeNumber32(*m_chosenPortText).has_value();
        if (!isNumber)
            m_chosenPortText->trimmed().toDouble(&isNumber);
        m_pending.remember(Outcome::failure(
            isNumber ? QStringLiteral("Port \"%1\" is not a serial port number: ports are "
                                      "numbered from 1 to 32767.")
                           .arg(*m_chosenPortText)
                     : QStringLiteral("Port \"%1\" is not a number.").arg(*m_chosenPortText)));
        return;
    }
    if (!m_portNumberSet) {
        const Outcome chosen = m_port.setCommPort(*portNumber);
        m_pending.remember(chosen);
        if (chosen.failed())
            return;
        m_portNumberSet = true;
    }
    m_pending.remember(m_port.setSettings(kLineSettings));
    m_pending.remember(m_port.setHandshaking(kNoHandshaking));
    m_pending.remember(m_port.setInputLen(kReadEverything));
    m_pending.remember(m_port.setOutBufferSize(kOutBufferBytes));
    m_pending.remember(m_port.setInBufferSize(kInBufferBytes));
    m_pending.remember(m_port.setPortOpen(true));
}

void DeviceLink::ReopenKeptPort()
{
    // The first open of all, before any port was chosen, is no reopen.
    const bool reopening = m_chosenPortText.has_value();
    ConfigurePort(PortChoice::Kept);
    if (m_pending.isPending())
        return;
    m_deviceGone = false;
    if (reopening)
        m_log.WriteLog(
            QStringLiteral("Comm port %1 reopened.").arg(*WholeNumber16(*m_chosenPortText)), true,
            true, kSystemMessage);
}

void DeviceLink::ReopenWhenDeviceReturns()
{
    // Only a device seen gone and back: a port that fails to open on a device that
    // is there would otherwise be tried, and reported, every second.
    if (!m_chosenPortText)
        return;
    if (!m_port.devicePresent()) {
        m_deviceGone = true;
        return;
    }
    if (!std::exchange(m_deviceGone, false))
        return;
    m_pending.clear();
    ReopenKeptPort();
    ReportError(kCommPortError);
}

bool DeviceLink::ReportError(const QString &title)
{
    if (!m_pending.isPending())
        return false;
    const QString description = m_pending.description();
    m_pending.clear();
    m_boxes.show(description, title, BoxStyle::OkExclamation);
    m_port.setPortOpen(false);
    return true;
}

void DeviceLink::ReportIfFailed(const Outcome &outcome)
{
    m_pending.clear();
    m_pending.remember(outcome);
    ReportError(kCommPortError);
}

void DeviceLink::ValidateFailPort()
{
    m_settings.SaveValue(SettingsSection, FieldKey(Field::FailPort),
                         m_fields.text(Field::FailPort));
    m_port.setPortOpen(false);
    m_pending.clear();
    // A stop during the pause leaves the port closed: the program is ending.
    if (!m_pause.pauseMs(kReopenPauseMs))
        return;
    OpenCommPort();
}

void DeviceLink::PollReceive()
{
    if (m_reopenPort && !m_port.isOpen())
        ReopenWhenDeviceReturns();
    int waiting = 0;
    Outcome outcome = m_port.inBufferCount(waiting);
    QByteArray received;
    if (!outcome.failed() && waiting > 0)
        outcome = m_port.input(received);
    ReportIfFailed(outcome);
    if (received.isEmpty()) {
        m_commQuiet = true;
        return;
    }

    // Only a chunk that gets a header starts a line in the log: there the line
    // ends of the router's previous line are dropped. A chunk that continues a line
    // keeps every byte.
    qsizetype leading = 0;
    while (m_commQuiet && received.size() - leading > 1 &&
           static_cast<unsigned char>(received.at(leading)) <= kLastLeadingControlCode)
        ++leading;
    m_log.WriteReceived(received.sliced(leading), m_commQuiet);
    m_commQuiet = false;
    m_events.consoleReceived(received);
}
