#pragma once

#include <QObject>

#include <functional>

// logind's PrepareForSleep on the system bus: true as the machine goes to sleep, false
// as it wakes up. Without a system bus (a container, a minimal server) it stays silent,
// and the clocks alone tell of a resume.
class LogindSleepSignal final : public QObject
{
    Q_OBJECT

public:
    explicit LogindSleepSignal(std::function<void(bool)> prepareForSleep);

    bool isListening() const { return m_listening; }

private Q_SLOTS:
    void PrepareForSleep(bool sleeping);

private:
    std::function<void(bool)> m_prepareForSleep;
    bool m_listening = false;
};
