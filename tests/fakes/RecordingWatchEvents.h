#pragma once

#include "WatchEvents.h"

#include <QStringList>

// Every event in one list, as short texts, so that their order can be checked.
class RecordingWatchEvents final : public WatchEvents
{
public:
    void watchStarted() override { events.append(QStringLiteral("started")); }
    void cycleDone(const CycleReport &report) override
    {
        cycles.append(report);
        events.append(
            QStringLiteral("cycle %1 %2")
                .arg(report.answered ? QStringLiteral("answered") : QStringLiteral("failed"))
                .arg(report.failCount));
    }
    void outageStarted() override { events.append(QStringLiteral("outage started")); }
    void outageEnded() override { events.append(QStringLiteral("outage ended")); }
    void commandSent(CommandKind kind, const QString &command) override
    {
        static const char *const kinds[] = {"fail", "fail test", "scheduled"};
        events.append(QStringLiteral("sent %1 %2")
                          .arg(QLatin1String(kinds[static_cast<int>(kind)]), command));
    }
    void consoleReceived(const QByteArray &bytes) override { console.append(bytes); }
    void watchStopped() override { events.append(QStringLiteral("stopped")); }

    QStringList events;
    QList<CycleReport> cycles;
    QByteArray console;
};
