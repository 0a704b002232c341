#pragma once

// The real program run as a user would run it on a machine without a display:
// settings and log in a temporary home, the router's console on a pseudo-terminal,
// where a test listens to the watch's ticks a service manager's socket, and, where a
// test needs dead hosts or another user's rights, a network namespace of the test's
// own. Shared by the whole-program tests and the stop benchmark.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The uid and gid of "nobody": no groups, no capabilities, nothing of root's.
constexpr uid_t kNobody = 65534;

class HeadlessHome
{
public:
    QString filePath(const QString &name) const { return m_home.filePath(name); }
    QString logPath() const { return filePath(QStringLiteral("log.txt")); }

    // lastValues: "Key=value" lines of the [LastValues] section besides the log and
    // the port; port 1 is portPath, as a rule the console's pseudo-terminal; options:
    // lines of the [Options] section.
    bool writeSettings(const QString &lastValues, const QString &portPath,
                       const QString &options = {}) const
    {
        QDir(m_home.path()).mkpath(QStringLiteral("config"));
        QFile ini(filePath(QStringLiteral("config/Vestrel.ini")));
        if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        ini.write("[LastValues]\nInit=Yes\n" + lastValues.toUtf8() + "\nFailLog=" +
                  logPath().toUtf8() + "\nFailPort=1\n\n[Ports]\n1=" + portPath.toUtf8() + "\n");
        if (!options.isEmpty())
            ini.write("\n[Options]\n" + options.toUtf8() + "\n");
        return ini.error() == QFileDevice::NoError;
    }

    // The runtime folder must be the user's alone. Without one, each copy gets a
    // temporary folder of its own, named by temporaryFolder, as two sessions of one
    // user may have.
    QProcessEnvironment environment(const QString &temporaryFolder = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), filePath(QStringLiteral("data")));
        const QString runtime = temporaryFolder.isEmpty() ? QStringLiteral("run") : temporaryFolder;
        QDir(m_home.path()).mkpath(runtime);
        QFile::setPermissions(filePath(runtime), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
        if (temporaryFolder.isEmpty()) {
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), filePath(runtime));
        } else {
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            environment.insert(QStringLiteral("TMPDIR"), filePath(runtime));
        }
        return environment;
    }

    // Makes the home the user's, as their own home would be.
    bool handTo(uid_t user) const
    {
        QDir(m_home.path()).mkpath(QStringLiteral("run"));
        QProcess chown;
        chown.start(QStringLiteral("chown"),
                    {QStringLiteral("-R"), QStringLiteral("%1:%1").arg(user), m_home.path()});
        return chown.waitForFinished(10000) && chown.exitCode() == 0;
    }

    QString log() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll());
    }

    // The log's entries are set apart by blank lines; the last one's text.
    QString lastEntry() const
    {
        const QStringList lines = log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (!line->trimmed().isEmpty())
                return *line;
        }
        return {};
    }

private:
    QTemporaryDir m_home;
};

// The service manager's socket (NOTIFY_SOCKET) played by the test: the states the
// program sends, one datagram each.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path) : m_path(path)
    {
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (m_socket < 0 || name.size() >= qsizetype(sizeof address.sun_path))
            return;
        std::copy(name.begin(), name.end(), address.sun_path);
        m_bound =
            ::bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    bool isBound() const { return m_bound; }
    // What came since the last call.
    QList<QByteArray> received()
    {
        QList<QByteArray> states;
        char buffer[4096];
        for (;;) {
            const ssize_t size = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (size < 0)
                return states;
            states.append(QByteArray(buffer, size));
        }
    }

private:
    QString m_path;
    int m_socket = -1;
    bool m_bound = false;
};

inline bool HasCommand(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty() ||
           !QStandardPaths::findExecutable(name,
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                .isEmpty();
}

// Why a namespace of our own cannot be made here, or an empty text when it can.
inline QString NamespaceUnavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to create a network namespace and load nft rules");
    for (const char *tool : {"ip", "nft", "setpriv", "chown"}) {
        if (!HasCommand(QString::fromLatin1(tool)))
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    }
    return {};
}

// A named network namespace with only loopback, up, in which echo requests to
// 127.0.0.2 and 127.0.0.3 vanish in the input hook, as if the line were down.
// Deleted with the object.
class DeadLineNamespace
{
public:
    DeadLineNamespace() : m_name(QStringLiteral("corvane-test-%1-%2").arg(::getpid()).arg(s_made++))
    {
        m_made =
            Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), m_name});
        m_ready =
            m_made &&
            execute(QStringLiteral(
                "ip link set lo up && nft add table inet corvane && "
                "nft add chain inet corvane input '{ type filter hook input priority 0; }' && "
                "nft add rule inet corvane input ip daddr '{ 127.0.0.2, 127.0.0.3 }' "
                "icmp type echo-request counter drop"));
    }
    ~DeadLineNamespace()
    {
        if (m_made)
            Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), m_name});
    }
    DeadLineNamespace(const DeadLineNamespace &) = delete;
    DeadLineNamespace &operator=(const DeadLineNamespace &) = delete;

    bool isReady() const { return m_ready; }

    // A shell command inside the namespace, as root.
    bool execute(const QString &command) const
    {
        return Run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), m_name,
                                          QStringLiteral("sh"), QStringLiteral("-c"), command});
    }
    // The echo requests dropped so far, or -1 when they cannot be read.
    int droppedEchoes() const
    {
        QProcess nft;
        nft.start(QStringLiteral("ip"),
                  {QStringLiteral("netns"), QStringLiteral("exec"), m_name, QStringLiteral("nft"),
                   QStringLiteral("list"), QStringLiteral("chain"), QStringLiteral("inet"),
                   QStringLiteral("corvane"), QStringLiteral("input")});
        if (!nft.waitForFinished(10000) || nft.exitCode() != 0)
            return -1;
        const QRegularExpressionMatch counter =
            QRegularExpression(QStringLiteral("counter packets (\\d+)"))
                .match(QString::fromLatin1(nft.readAllStandardOutput()));
        return counter.hasMatch() ? counter.captured(1).toInt() : -1;
    }
    // Which groups may open ICMP datagram sockets; "1 0" admits none.
    bool setPingGroupRange(const QString &range) const
    {
        return execute(QStringLiteral("sysctl -q -w net.ipv4.ping_group_range='%1'").arg(range));
    }

    // Starts program inside the namespace, as root or, with asNobody, as a user
    // without groups or capabilities.
    void start(QProcess &process, const QString &program, bool asNobody) const
    {
        QStringList arguments{QStringLiteral("netns"), QStringLiteral("exec"), m_name};
        if (asNobody)
            arguments << QStringLiteral("setpriv") << QStringLiteral("--reuid=%1").arg(kNobody)
                      << QStringLiteral("--regid=%1").arg(kNobody)
                      << QStringLiteral("--clear-groups") << QStringLiteral("--inh-caps=-all")
                      << QStringLiteral("--bounding-set=-all");
        arguments << program;
        process.start(QStringLiteral("ip"), arguments);
    }

private:
    static bool Run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    inline static int s_made = 0;
    QString m_name;
    bool m_made = false;
    bool m_ready = false;
};
