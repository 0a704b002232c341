#pragma once

#include "CommandSender.h"
#include "Outcome.h"

#include <QString>

#include <optional>

class BusyPointer;
class LogWriter;
class MessageBoxes;
class Pause;
class SerialPort;
class Settings;
class WatchEvents;
class WindowFields;

inline const QString kCommPortError = QStringLiteral("Comm Port Error");

// The serial link to the router's console: opening the port named by the port
// field, reporting link failures, copying what the router sends into the log, and
// sending command strings.
//
// Each operation runs its steps in skip-and-remember mode: a failing step is
// skipped, its failure remembered (a later one replaces an earlier one), and the
// next step runs; at the end the remembered failure goes to ReportError, which
// closes the port. After that the port stays closed until the port field is
// confirmed again, or, with reopening switched on, the next send, which reopens the
// port confirmed last; that port also reopens when its device comes back after it
// had gone.
class DeviceLink final : public CommandSender
{
public:
    DeviceLink(SerialPort &port, const WindowFields &fields, Settings &settings, LogWriter &log,
               MessageBoxes &boxes, Pause &pause, BusyPointer &busyPointer, WatchEvents &events);

    // Configures and opens the port named by the port field. Returns true when a
    // failure was reported, the port then being closed; false when it is open.
    bool OpenCommPort();
    // Shows the remembered failure in a warning box titled title, then closes the
    // port. Returns false, showing nothing, when no failure is remembered.
    bool ReportError(const QString &title);
    // The port field lost the focus: stores its text, even one that cannot be
    // opened, and opens the port afresh.
    void ValidateFailPort();
    // One tick of the receive poll: what the router has sent goes to the log, at
    // most what one read of the port hands over, and then to the watch's listeners.
    void PollReceive();
    void SendCommand(const QString &command) override;

    // Without a display nobody can confirm the port field again after a report has
    // closed the port, so a send first reopens a closed port: the one confirmed
    // last, on the device found for it then. Off by default.
    void setReopenBeforeSend(bool reopen) { m_reopenBeforeSend = reopen; }
    // A port closed by an error is opened again before the next send, and on the
    // poll's tick once its device, seen gone, is back. Off by default.
    void setReopenPort(bool reopen) { m_reopenPort = reopen; }

private:
    enum class PortChoice
    {
        // The port field's text is taken, and its device looked up afresh.
        FromField,
        // The port confirmed last, on the device found for it then.
        Kept,
    };
    // The line configuration and the open, remembering what fails.
    void ConfigurePort(PortChoice choice);
    void ReportIfFailed(const Outcome &outcome);
    // Opens the port confirmed last again, remembering what fails; logs a success.
    void ReopenKeptPort();
    void ReopenWhenDeviceReturns();

    SerialPort &m_port;
    const WindowFields &m_fields;
    Settings &m_settings;
    LogWriter &m_log;
    MessageBoxes &m_boxes;
    Pause &m_pause;
    BusyPointer &m_busyPointer;
    WatchEvents &m_events;

    PendingFailure m_pending;
    // The port field's text at the last open from the field; none before the first.
    std::optional<QString> m_chosenPortText;
    // The port has taken that text's number, and found its device.
    bool m_portNumberSet = false;
    // The last poll found nothing waiting; the next chunk starts a new log entry.
    bool m_commQuiet = false;
    bool m_reopenBeforeSend = false;
    bool m_reopenPort = false;
    // A poll found the closed port's device missing.
    bool m_deviceGone = false;
};
