#pragma once

#include "EchoFacility.h"
#include "EchoProbe.h"
#include "ProbeTarget.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Answers echoes from a script keyed by destination, and name lookups from one keyed
// by name, and records what was asked. Nothing goes on the wire.
class ScriptedEcho final : public EchoFacility
{
public:
    struct Request
    {
        IpAddress destination;
        quint32 timeoutMs;
    };
    struct Lookup
    {
        QByteArray name;
        quint32 timeoutMs;
    };

    void script(const QString &address, quint32 status, quint32 roundTripMs = 0,
                EchoHindrance hindrance = EchoHindrance::None)
    {
        m_results[ParseProbeTarget(address).address] = EchoResult{status, roundTripMs, hindrance};
    }
    // The next echoes to address get these statuses, one each, before the script above
    // holds again.
    void queue(const QString &address, const QList<quint32> &statuses)
    {
        m_queued[ParseProbeTarget(address).address] = statuses;
    }
    // name resolves to address (an address literal); unscripted names do not resolve.
    void scriptName(const QByteArray &name, const QString &address)
    {
        m_names[name] = NameLookup{NameLookup::Outcome::Found, ParseProbeTarget(address).address};
    }
    void scriptName(const QByteArray &name, NameLookup::Outcome outcome)
    {
        m_names[name] = NameLookup{outcome, std::nullopt};
    }
    // As when this user may open no echo socket.
    void refuse(const QString &address)
    {
        script(address, kEchoGeneralFailure, 0, EchoHindrance::NoPermission);
    }
    // As when the path the echoes are pinned to is not there yet.
    void unpin(const QString &address)
    {
        script(address, kEchoGeneralFailure, 0, EchoHindrance::NoPath);
    }

    EchoResult echo(const IpAddress &destination, const QByteArray &, quint32 timeoutMs) override
    {
        requests.append({destination, timeoutMs});
        QList<quint32> &queued = m_queued[destination];
        if (!queued.isEmpty()) {
            const quint32 status = queued.takeFirst();
            return EchoResult{status, status == kEchoSuccess ? 1u : 0u};
        }
        return m_results.value(destination, EchoResult{kEchoTimedOut, 0});
    }
    NameLookup lookUp(const QByteArray &name, quint32 timeoutMs) override
    {
        lookups.append({name, timeoutMs});
        return m_names.value(name, NameLookup{});
    }
    bool maySendEchoes() override { return socketsAllowed; }
    void pinTo(const ProbePath &path) override { pinnedTo = path; }

    QList<Request> requests;
    // The way the last pinTo named.
    std::optional<ProbePath> pinnedTo;
    QList<Lookup> lookups;
    bool socketsAllowed = true;

private:
    QHash<IpAddress, EchoResult> m_results;
    QHash<IpAddress, QList<quint32>> m_queued;
    QHash<QByteArray, NameLookup> m_names;
};
