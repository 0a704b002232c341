// Measures the running program as a whole process, offscreen:
//  - the time from launch to the start line in its log (median of several starts);
//  - peak resident memory and CPU share over a run that pings 127.0.0.1 every
//    second, with the history store recording each cycle, beside a minimal Qt
//    Widgets program with one window.
// Usage: bench_footprint [seconds, default 60] [starts, default 7]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <signal.h>
#include <unistd.h>

namespace {

struct ProcessFigures
{
    qint64 peakKiB = 0;
    double cpuSeconds = 0;
};

// VmHWM and utime+stime of a live process, read from /proc before it is stopped.
ProcessFigures Sample(qint64 pid)
{
    ProcessFigures figures;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                figures.peakKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
        figures.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
    }
    return figures;
}

QProcessEnvironment Environment(const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    return environment;
}

void WriteSettings(const QTemporaryDir &home)
{
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile ini(home.filePath(QStringLiteral("config/Vestrel.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    // Port 1 points at a device that does not exist: the run measures pinging and
    // logging, and the one open failure goes to standard error.
    ini.write("[LastValues]\nInit=Yes\nAddrPri=127.0.0.1\nAddrSec=127.0.0.1\nPeriod=1\nFailLog=" +
              home.filePath(QStringLiteral("log.txt")).toUtf8() +
              "\n\n[Ports]\n1=/nonexistent/console\n");
}

bool LogHasStartLine(const QTemporaryDir &home)
{
    QFile log(home.filePath(QStringLiteral("log.txt")));
    return log.open(QIODevice::ReadOnly) && log.readAll().contains("Corvane executable started.");
}

double LaunchToStartLineMs()
{
    QTemporaryDir home;
    WriteSettings(home);
    QProcess corvane;
    corvane.setProcessEnvironment(Environment(home));
    corvane.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    corvane.start(QStringLiteral(CORVANE_BINARY), {});
    while (!LogHasStartLine(home) && clock.elapsed() < 10000)
        QThread::usleep(500);
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
    corvane.waitForFinished(5000);
    return elapsed;
}

ProcessFigures RunFor(const QString &program, int seconds, const QTemporaryDir &home)
{
    QProcess process;
    process.setProcessEnvironment(Environment(home));
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {});
    process.waitForStarted();
    QThread::sleep(static_cast<unsigned long>(seconds));
    const ProcessFigures figures = Sample(process.processId());
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    process.waitForFinished(5000);
    return figures;
}

// A positive count from the command line; anything else keeps the default.
int CountArgument(int argc, char *argv[], int index, int fallback)
{
    if (argc <= index)
        return fallback;
    bool converted = false;
    const int count = QByteArray(argv[index]).toInt(&converted);
    return converted && count > 0 ? count : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int seconds = CountArgument(argc, argv, 1, 60);
    const int starts = CountArgument(argc, argv, 2, 7);

    QList<double> launches;
    for (int start = 0; start < starts; ++start)
        launches.append(LaunchToStartLineMs());
    std::sort(launches.begin(), launches.end());
    std::printf(
        "launch to start line: median %.1f ms, largest %.1f ms over %d starts (target < 300 ms)\n",
        launches[launches.size() / 2], launches.back(), starts);

    QTemporaryDir home;
    WriteSettings(home);
    const ProcessFigures corvane = RunFor(QStringLiteral(CORVANE_BINARY), seconds, home);
    const ProcessFigures minimal = RunFor(QStringLiteral(MINIMAL_WINDOW_BINARY), seconds, home);
    const double share = 100.0 * corvane.cpuSeconds / seconds;
    std::printf("over %d s, pinging 127.0.0.1 every second:\n", seconds);
    std::printf("  corvane:        peak RSS %lld KiB, CPU %.2f s (%.3f %%, target < 0.1 %%)\n",
                static_cast<long long>(corvane.peakKiB), corvane.cpuSeconds, share);
    std::printf("  minimal window: peak RSS %lld KiB, CPU %.2f s\n",
                static_cast<long long>(minimal.peakKiB), minimal.cpuSeconds);
    std::printf("  RSS ratio %.2f (target <= 1.4, with the history store on)\n",
                minimal.peakKiB > 0 ? static_cast<double>(corvane.peakKiB) / minimal.peakKiB : 0.0);
    return 0;
}
