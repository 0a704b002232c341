#include "WatchEvents.h"

void WatchEventHub::watchStarted()
{
    for (WatchEvents *listener : m_listeners)
        listener->watchStarted();
}

void WatchEventHub::watchTicked()
{
    for (WatchEvents *listener : m_listeners)
        listener->watchTicked();
}

void WatchEventHub::cycleDone(const CycleReport &report)
{
    for (WatchEvents *listener : m_listeners)
        listener->cycleDone(report);
}

void WatchEventHub::watchBlind(bool blind)
{
    for (WatchEvents *listener : m_listeners)
        listener->watchBlind(blind);
}

void WatchEventHub::outageStarted()
{
    for (WatchEvents *listener : m_listeners)
        listener->outageStarted();
}

void WatchEventHub::outageEnded()
{
    for (WatchEvents *listener : m_listeners)
        listener->outageEnded();
}

void WatchEventHub::commandSent(CommandKind kind, const QString &command)
{
    for (WatchEvents *listener : m_listeners)
        listener->commandSent(kind, command);
}

void WatchEventHub::consoleReceived(const QByteArray &bytes)
{
    for (WatchEvents *listener : m_listeners)
        listener->consoleReceived(bytes);
}

void WatchEventHub::acknowledgement(bool acknowledged, const QString &line)
{
    for (WatchEvents *listener : m_listeners)
        listener->acknowledgement(acknowledged, line);
}

void WatchEventHub::watchStopping()
{
    for (WatchEvents *listener : m_listeners)
        listener->watchStopping();
}

void WatchEventHub::watchStopped()
{
    for (WatchEvents *listener : m_listeners)
        listener->watchStopped();
}
