#include "WatchEvents.h"

namespace {

// A listener may start listening while an event is handed out, which can move the
// list: the event goes to those that listened when it came, by place rather than by
// iterator, and a newcomer hears from the next one on.
template <typename Call> void HandOut(const std::vector<WatchEvents *> &listeners, Call call)
{
    const std::size_t count = listeners.size();
    for (std::size_t i = 0; i < count; ++i)
        call(*listeners[i]);
}

} // namespace

void WatchEventHub::watchStarted()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.watchStarted(); });
}

void WatchEventHub::watchTicked()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.watchTicked(); });
}

void WatchEventHub::cycleDone(const CycleReport &report)
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.cycleDone(report); });
}

void WatchEventHub::watchBlind(bool blind)
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.watchBlind(blind); });
}

void WatchEventHub::outageStarted()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.outageStarted(); });
}

void WatchEventHub::outageEnded()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.outageEnded(); });
}

void WatchEventHub::commandSent(CommandKind kind, const QString &command)
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.commandSent(kind, command); });
}

void WatchEventHub::consoleReceived(const QByteArray &bytes)
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.consoleReceived(bytes); });
}

void WatchEventHub::acknowledgement(bool acknowledged, const QString &line)
{
    HandOut(m_listeners,
            [&](WatchEvents &listener) { listener.acknowledgement(acknowledged, line); });
}

void WatchEventHub::watchStopping()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.watchStopping(); });
}

void WatchEventHub::watchStopped()
{
    HandOut(m_listeners, [&](WatchEvents &listener) { listener.watchStopped(); });
}
