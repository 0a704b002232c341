#include "PingEngine.h"

#include "Clock.h"
#include "CommandSender.h"
#include "LocaleText.h"
#include "LogWriter.h"
#include "Module1.h"
#include "TrayTip.h"
#include "WholeNumber.h"

#include <limits>
#include <utility>

namespace {

// Fields may hold text that validation refused while the user corrects it; a cycle
// then runs with these instead.
constexpr qint32 kFallbackTimeoutMs = 2000;
constexpr qint32 kFallbackResendMinutes = 30;

} // namespace

PingEngine::PingEngine(WindowFields &fields, Meter &meter, EchoFacility &echo,
                       CommandSender &sender, LogWriter &log, TrayTip &tray, const Clock &clock,
                       std::function<void()> checkSchedule)
    : m_fields(fields), m_meter(meter), m_echo(echo), m_sender(sender), m_log(log), m_tray(tray),
      m_clock(clock), m_checkSchedule(std::move(checkSchedule))
{
}

void PingEngine::Timer1Tick()
{
    if (m_checkSchedule)
        m_checkSchedule();
    // Without timed cycles the count would run on for decades; stop it at the top.
    if (m_tickCount < std::numeric_limits<qint32>::max())
        ++m_tickCount;
    if (m_pingPeriod > 0 && m_tickCount >= m_pingPeriod) {
        m_tickCount = 0;
        PingCycle();
    }
}

void PingEngine::FailTest()
{
    m_sender.SendCommand(m_fields.text(Field::FailCommand));
}

void PingEngine::SetPingPeriod(qint32 seconds)
{
    m_pingPeriod = seconds;
}

void PingEngine::PingCycle()
{
    if (ProbeAddresses()) {
        m_failCount = 0;
    } else if (m_failCount < std::numeric_limits<qint16>::max()) {
        ++m_failCount;
    }
    ShowFailCount();

    const std::optional<qint16> retries = WholeNumber16(m_fields.text(Field::FailTries));
    // A count of 0 or below would otherwise act in a cycle in which an address
    // answered: the action belongs to failing cycles only.
    if (!retries || *retries < 1 || m_failCount < *retries)
        return;
    ActOnOutage();
}

bool PingEngine::ProbeAddresses()
{
    EchoReply primary{};
    PingAddress(m_echo, m_fields.text(Field::AddrPri), primary, TimeoutMs(Field::TimeoutPri));
    m_fields.setText(Field::StatusPri, EchoStatusText(static_cast<qint32>(primary.Status)));
    if (primary.Status == kEchoSuccess) {
        m_fields.setText(Field::TripPri, QString::number(primary.RoundTripTime));
        m_fields.setText(Field::TripSec, QString());
        m_fields.setText(Field::StatusSec, QString());
        m_fields.setEnabled(Field::StatusSec, false);
        m_fields.setEnabled(Field::TripSec, false);
        return true;
    }

    m_fields.setEnabled(Field::StatusSec, true);
    m_fields.setEnabled(Field::TripSec, true);
    m_fields.setText(Field::TripPri, QString());
    EchoReply secondary{};
    PingAddress(m_echo, m_fields.text(Field::AddrSec), secondary, TimeoutMs(Field::TimeoutSec));
    m_fields.setText(Field::StatusSec, EchoStatusText(static_cast<qint32>(secondary.Status)));
    if (secondary.Status == kEchoSuccess) {
        m_fields.setText(Field::TripSec, QString::number(secondary.RoundTripTime));
        return true;
    }
    m_fields.setText(Field::TripSec, QString());
    return false;
}

void PingEngine::ShowFailCount()
{
    if (m_failCount == 0)
        m_failSent = false;
    else if (m_failCount > m_meter.maximum())
        m_failCount = static_cast<qint16>(qMax(0, m_meter.maximum()));
    m_meter.setValue(m_failCount);

    if (m_failCount == m_shownFailCount)
        return;
    m_shownFailCount = m_failCount;
    const double percentage = static_cast<double>(m_meter.value()) / m_meter.maximum() * 100;
    m_tray.UpdateTrayTip(QStringLiteral("Corvane (") + GeneralNumberText(percentage) +
                         QStringLiteral("%)"));
}

void PingEngine::ActOnOutage()
{
    if (!m_failSent) {
        const qint32 resendMinutes =
            WholeNumber32(m_fields.text(Field::FailResend)).value_or(kFallbackResendMinutes);
        m_failSent = true;
        m_resendTime = m_clock.now().addSecs(qint64(resendMinutes) * 60);
        m_log.WriteLog(QStringLiteral("No response after ") + m_fields.text(Field::FailTries) +
                           QStringLiteral(" ping attempts.  Sending fail command."),
                       true, true, kSystemMessage);
        m_sender.SendCommand(m_fields.text(Field::FailCommand));
        m_tray.UpdateTrayTip(QStringLiteral("Corvane (Fail command sent)"));
        return;
    }

    m_log.WriteLog(QStringLiteral("No response to pings."), true, true, kSystemMessage);
    // Re-armed only: the next failing cycle sends again.
    if (m_clock.now() >= m_resendTime)
        m_failSent = false;
}

qint32 PingEngine::TimeoutMs(Field timeoutField) const
{
    const std::optional<qint32> timeout = WholeNumber32(m_fields.text(timeoutField));
    return timeout && *timeout >= 1 ? *timeout : kFallbackTimeoutMs;
}
