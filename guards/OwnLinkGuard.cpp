#include "OwnLinkGuard.h"

#include "CaretLine.h"
#include "OwnLink.h"
#include "ProbeTarget.h"

void OwnLinkGuard::cycleDone(const CycleReport &report)
{
    // Read as the watch read it, so that the guard looks where the echo went.
    const ProbeTarget target = ParseProbeTarget(report.primary.address);
    if (target.kind != ProbeTarget::Kind::HostName) {
        m_hostName.clear();
        if (target.kind == ProbeTarget::Kind::Address)
            m_primary = target.address;
        else
            m_primary.reset();
        return;
    }
    // Another name's address says nothing of this one's.
    if (target.hostName != m_hostName) {
        m_hostName = target.hostName;
        m_primary.reset();
    }
    const ProbeTarget resolved = ParseProbeTarget(report.primary.resolved);
    if (resolved.kind == ProbeTarget::Kind::Address)
        m_primary = resolved.address;
}

OwnLinkVerdict OwnLinkGuard::Judge(const QString &pinnedInterface)
{
    if (m_reader == nullptr)
        return {};
    // Without an address there is no route to follow, and a guess at the interface
    // could hold a needed reset for good.
    if (!m_primary)
        return {{},
                QStringLiteral("  Our own link was not checked: no address of the primary is "
                               "known yet.")};
    const OwnLinkState state = m_reader->Read(*m_primary, pinnedInterface);
    // Names are bytes the kernel took from whoever made the interface, a zone's too.
    const QString link = CaretLine(state.interfaceName);
    const QString primary = CaretLine(m_primary->toString());
    const QString reason = QStringLiteral("Fail command not sent: our own link %1 %2.");
    switch (state.status) {
    case OwnLinkState::Status::Up:
        return {};
    case OwnLinkState::Status::NoRoute:
        // The echoes could not leave this machine, so the line went untested.
        return {link.isEmpty() ? QStringLiteral("Fail command not sent: our own side has no "
                                                "route to %1.")
                                     .arg(primary)
                               : reason.arg(link, QStringLiteral("has no route to ") + primary),
                {}};
    case OwnLinkState::Status::Missing:
        return {reason.arg(link, QStringLiteral("is missing")), {}};
    case OwnLinkState::Status::NoCarrier:
        return {reason.arg(link, QStringLiteral("has no carrier")), {}};
    case OwnLinkState::Status::NoAddress:
        return {reason.arg(link, QStringLiteral("has no address")), {}};
    case OwnLinkState::Status::Unreadable:
        break;
    }
    return {{}, QStringLiteral("  Our own link was not checked: %1.").arg(CaretLine(state.error))};
}
