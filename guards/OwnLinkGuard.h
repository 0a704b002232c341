#pragma once

#include "IpAddress.h"
#include "WatchEvents.h"

#include <QByteArray>
#include <QString>

#include <optional>

class OwnLinkReader;

// What our own side of the line says of a fail command that falls due.
struct OwnLinkVerdict
{
    // Why the send must wait for our own link; empty: it may go.
    QString holdReason;
    // For a send that goes although the link could not be judged: why, to append to
    // the send's entry.
    QString note;
};

// Keeps the primary address the watch last probed and asks the reader whether our own
// link towards it could carry anything: a router must not be reset because this
// machine's cable, card or address is gone.
class OwnLinkGuard final : public WatchEvents
{
public:
    // None: every send may go.
    void ReadWith(OwnLinkReader &reader) { m_reader = &reader; }

    // The address the cycle's primary echo went to.
    void cycleDone(const CycleReport &report) override;

    // pinnedInterface: the interface every echo must leave by; empty: the route's.
    OwnLinkVerdict Judge(const QString &pinnedInterface);

private:
    OwnLinkReader *m_reader = nullptr;
    // A host name keeps the address it last led to: a name that no longer resolves
    // may well fail because our own link is down, which is when the guard matters.
    std::optional<IpAddress> m_primary;
    QByteArray m_hostName;
};
