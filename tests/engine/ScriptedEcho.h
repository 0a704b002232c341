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

    void script(const QString &address, quint32 status, quint32 roundTripMs = 0)
    {
        m_results[ParseDottedAddress(address)] = EchoResult{status, roundTripMs};
    }

    EchoResult echo(quint32 destination, const QByteArray &, quint32 timeoutMs) override
    {
        requests.append({destination, timeoutMs});
        return m_results.value(destination, EchoResult{kEchoTimedOut, 0});
    }

    QList<Request> requests;

private:
    QHash<quint32, EchoResult> m_results;
};
