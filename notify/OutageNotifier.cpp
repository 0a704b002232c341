#include "OutageNotifier.h"

#include "Clock.h"
#include "DesktopNotifications.h"
#include "DurationText.h"
#include "Tray.h"

#include <utility>

namespace {

// The line's state has one bubble: "Line back" takes the place of its "Line down",
// which would otherwise still say the line is down.
const NotificationPlace kLineState{.urgent = false, .thread = QStringLiteral("line")};
// The router was told to act: that stays up until the user has seen it.
const NotificationPlace kAction{.urgent = true, .thread = {}};

} // namespace

OutageNotifier::OutageNotifier(Tray &tray, const Clock &clock) : m_tray(tray), m_clock(clock) {}

void OutageNotifier::outageStarted()
{
    m_outage.started(m_clock.monotonicMs());
    m_pending = Pending::Down;
}

void OutageNotifier::outageEnded()
{
    m_outage.ended(m_clock.monotonicMs());
    m_pending = Pending::Back;
}

void OutageNotifier::cycleDone(const CycleReport &report)
{
    const qint64 nowMs = m_clock.monotonicMs();
    m_outage.cycleDone(report.answered, nowMs);
    const Pending pending = std::exchange(m_pending, Pending::Nothing);
    if (pending == Pending::Down) {
        const QString addresses =
            report.secondary
                ? QStringLiteral("%1 or %2").arg(report.primary.address, report.secondary->address)
                : report.primary.address;
        // A loss or round-trip limit may fail a cycle in which an address answered: the
        // reason says which figure did it.
        const QString text =
            report.reason.isEmpty()
                ? QStringLiteral("No answer from %1.").arg(addresses)
                : QStringLiteral("No usable answer from %1. %2").arg(addresses, report.reason);
        notify(QStringLiteral("Line down"), text, kLineState);
    } else if (pending == Pending::Back) {
        // The secondary address is probed, and so can answer, only when the primary
        // did not.
        const QString &address =
            report.secondary ? report.secondary->address : report.primary.address;
        notify(QStringLiteral("Line back"),
               QStringLiteral("%1 answers again after an outage of %2.")
                   .arg(address, DurationText(m_outage.lengthMs(nowMs))),
               kLineState);
        m_outage.forget();
    }
}

void OutageNotifier::commandSent(CommandKind kind, const QString &)
{
    // FAIL TEST is the user's own click, and a scheduled command no news.
    if (kind != CommandKind::Fail)
        return;
    notify(QStringLiteral("Fail command sent"),
           QStringLiteral("The line has been down for %1; the fail command went to the router.")
               .arg(DurationText(m_outage.lengthMs(m_clock.monotonicMs()))),
           kAction);
}

void OutageNotifier::notify(const QString &title, const QString &text,
                            const NotificationPlace &place)
{
    if (!m_enabled)
        return;
    if (m_desktop && m_desktop->isAvailable()) {
        // A notification the service turns down still reaches the user.
        m_desktop->show(title, text, place, [this, title, text] { showAtTray(title, text); });
        return;
    }
    showAtTray(title, text);
}

void OutageNotifier::showAtTray(const QString &title, const QString &text)
{
    if (m_tray.isAvailable())
        m_tray.showMessage(title, text);
}
