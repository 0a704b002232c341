#pragma once

#include "EchoFacility.h"
#include "Module1.h"

#include <QHash>
#include <QList>
#include <QString>

// Answers echoes from a script keyed by destination, and records what was asked.
// Nothing goes on the wire.
class ScriptedEcho final : public EchoFacility
{
public:
    struct Request
    {
        quint32 destination;
        quint32 timeoutMs;
    };

    void script(const QString &address, quint32 status, quint32 roundTripMs = 0,
                EchoHindrance hindrance = EchoHindrance::None)
    {
        m_results[ParseDottedAddress(address)] = EchoResult{status, roundTripMs, hindrance};
    }
    // As when this user may open no echo socket.
    void refuse(const QString &address)
    {
        script(address, kEchoGeneralFailure, 0, EchoHindrance::NoPermission);
    }

    EchoResult echo(quint32 destination, const QByteArray &, quint32 timeoutMs) override
    {
        requests.append({destination, timeoutMs});
        return m_results.value(destination, EchoResult{kEchoTimedOut, 0});
    }
    bool maySendEchoes() override { return socketsAllowed; }

    QList<Request> requests;
    bool socketsAllowed = true;

private:
    QHash<quint32, EchoResult> m_results;
};
