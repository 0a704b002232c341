#pragma once

#include <QProcess>
#include <QString>

#include <functional>
#include <sys/types.h>

// The relay's program, run once with one word after its own ("off" or "on"), by the
// event programs' rules: its words split as a shell would without a shell, and only
// when it and the settings file belong to the user or root and nobody else may write
// them. It runs in a process group of its own, so that a stop reaches what it starts.
class PowerProgram
{
public:
    // Told once: whether it exited with status 0, and otherwise why not.
    using Ended = std::function<void(bool succeeded, const QString &why)>;

    PowerProgram(const QString &commandLine, const QString &settingsFile, const QString &word,
                 Ended ended);
    ~PowerProgram();
    PowerProgram(const PowerProgram &) = delete;
    PowerProgram &operator=(const PowerProgram &) = delete;

    // Starts it; a program that cannot start is told as ended at once.
    void Start();
    // Kills its process group; the end is told with why.
    void Kill(const QString &why);
    // Waits up to milliseconds for its end, which is told meanwhile; false when it
    // still runs.
    bool WaitMs(int milliseconds);

private:
    void Report(bool succeeded, const QString &why);

    QString m_commandLine;
    QString m_settingsFile;
    QString m_word;
    Ended m_ended;
    QProcess m_process;
    pid_t m_group = 0;
    QString m_killedBecause;
    bool m_reported = false;
};
