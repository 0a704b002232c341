#include "PowerProgram.h"

#include "OpenProgramStart.h"
#include "ProgramLookup.h"

#include <QProcessEnvironment>

#include <csignal>
#include <unistd.h>
#include <utility>

PowerProgram::PowerProgram(const QString &commandLine, const QString &settingsFile,
                           const QString &word, Ended ended)
    : m_commandLine(commandLine), m_settingsFile(settingsFile), m_word(word),
      m_ended(std::move(ended))
{
}

PowerProgram::~PowerProgram()
{
    // Nobody hears of it any more; it must not outlive us.
    m_process.disconnect();
    if (m_process.state() != QProcess::NotRunning && m_group > 0) {
        ::kill(-m_group, SIGKILL);
        m_process.waitForFinished(1000);
    }
}

void PowerProgram::Start()
{
    ProgramToRun found = FindProgram(m_commandLine, m_settingsFile);
    if (!found.refusal.isEmpty()) {
        Report(false, QStringLiteral("the program could not be started: %1").arg(found.refusal));
        return;
    }
    // Its output is not read: a relay's tool that talks much must not block on a pipe.
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(
        &m_process, &QProcess::finished, &m_process,
        [this](int exitCode, QProcess::ExitStatus status) {
            if (!m_killedBecause.isEmpty())
                Report(false, m_killedBecause);
            else if (status != QProcess::NormalExit)
                Report(false,
                       QStringLiteral("\"%1\" ended by signal %2").arg(m_word).arg(exitCode));
            else
                Report(
                    exitCode == 0,
                    QStringLiteral("\"%1\" ended with exit status %2").arg(m_word).arg(exitCode));
        });
    QObject::connect(&m_process, &QProcess::errorOccurred, &m_process,
                     [this](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             Report(false, QStringLiteral("the program could not be started: %1")
                                               .arg(m_process.errorString()));
                     });
    StartOpenProgram(m_process, std::move(found.file), found.program,
                     found.arguments + QStringList{m_word},
                     QProcessEnvironment::systemEnvironment());
    if (m_process.processId() > 0) {
        m_group = static_cast<pid_t>(m_process.processId());
        // Also from here, in case a stop comes before the child got as far as its own.
        ::setpgid(m_group, m_group);
    }
}

void PowerProgram::Kill(const QString &why)
{
    if (m_reported || m_group <= 0)
        return;
    m_killedBecause = why;
    ::kill(-m_group, SIGKILL);
}

bool PowerProgram::WaitMs(int milliseconds)
{
    if (!m_reported)
        m_process.waitForFinished(milliseconds);
    return m_reported;
}

void PowerProgram::Report(bool succeeded, const QString &why)
{
    if (std::exchange(m_reported, true))
        return;
    // Told last: the listener may move on to the next program at once.
    m_ended(succeeded, why);
}
