// The README's commands for the system service, run as printed, as the service's own
// user, before the service's first start and after it. The machine is the test's own:
// /etc, /var/lib and /usr/local are overlays in a mount namespace of its own, so the
// user, the settings, the program and the state it makes vanish with the namespace.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// The commands the README prints for the service's user, without their comments.
QStringList ServiceUserCommands()
{
    QFile readme(QStringLiteral(CORVANE_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    QStringList commands;
    static const QRegularExpression kComment(QStringLiteral("\\s+#.*$"));
    for (const QString &line : QString::fromUtf8(readme.readAll()).split(u'\n')) {
        const QString command = line.trimmed().remove(kComment);
        if (command.startsWith(QStringLiteral("sudo -u corvane corvane ")) &&
            !commands.contains(command))
            commands << command;
    }
    return commands;
}

// The machine of the test's own, then the commands before the first start, the
// service's first start as its unit makes it (its folders, then a few cycles of the
// watch as its user), and the commands again. Each command's output is framed by
// "== <phase> <command>" and "== exit <status>".
constexpr const char *kScript = R"(set -e
root=$1; binaries=$2; shift 2
mount --make-rprivate /
mount -t tmpfs tmpfs "$root"
for folder in etc var/lib usr/local; do
    mkdir -p "$root/$folder.upper" "$root/$folder.work"
    mount -t overlay overlay \
        -o "lowerdir=/$folder,upperdir=$root/$folder.upper,workdir=$root/$folder.work" "/$folder"
done
ip link set lo up
adduser --system --group --quiet --home /var/lib/corvane --no-create-home corvane
install -d /etc/corvane/router1
printf '[Ports]\n1=/dev/null\n' > /etc/corvane/router1/Vestrel.ini
# Where sudo, which keeps its own PATH, finds it, as after an install.
cp "$binaries/corvane" /usr/local/bin/corvane
run() {
    for command in "$@"; do
        echo "== $phase $command"
        status=0
        sh -c "$command" 2>&1 || status=$?
        echo "== exit $status"
    done
}
phase=before; run "$@"
install -d -o corvane -g corvane -m 0750 /var/lib/corvane/router1
chown corvane:corvane /etc/corvane/router1
sudo -u corvane timeout -s TERM 4 corvane --headless --instance router1 >/dev/null 2>&1 || true
phase=after; run "$@"
)";

struct Outcome
{
    int exitCode = -1;
    QString output;
};

// What each command printed and how it ended, by "<phase> <command>".
QMap<QString, Outcome> Outcomes(const QString &transcript)
{
    QMap<QString, Outcome> outcomes;
    QString current;
    for (const QString &line : transcript.split(u'\n')) {
        if (line.startsWith(QStringLiteral("== exit "))) {
            outcomes[current].exitCode = line.mid(8).toInt();
        } else if (line.startsWith(QStringLiteral("== "))) {
            current = line.mid(3);
        } else if (!current.isEmpty()) {
            outcomes[current].output += line + u'\n';
        }
    }
    return outcomes;
}

} // namespace

class TestServiceCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a mount namespace with a user of its own");
        for (const char *tool : {"unshare", "sudo", "adduser", "ip"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
        }
        m_commands = ServiceUserCommands();
        QVERIFY2(m_commands.size() >= 2, "the README prints the service's --check and --history");
        QVERIFY(m_root.isValid());
        QProcess machine;
        machine.setProcessChannelMode(QProcess::MergedChannels);
        machine.start(QStringLiteral("unshare"),
                      QStringList{QStringLiteral("--mount"), QStringLiteral("--net"),
                                  QStringLiteral("sh"), QStringLiteral("-c"),
                                  QString::fromLatin1(kScript), QStringLiteral("script"),
                                  m_root.path(), QStringLiteral(CORVANE_BINARY_DIR)} +
                          m_commands);
        QVERIFY(machine.waitForFinished(120'000));
        const QString transcript = QString::fromLocal8Bit(machine.readAll());
        QVERIFY2(machine.exitCode() == 0, qPrintable(transcript));
        m_outcomes = Outcomes(transcript);
    }

    void commandsAsPrinted_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("command");
        for (const char *phase : {"before", "after"}) {
            for (const QString &command : std::as_const(m_commands))
                QTest::addRow("%s the first start: %s", phase, qPrintable(command))
                    << QString::fromLatin1(phase) << command;
        }
    }

    // Never refused as a command line; what is read is the service's own; after the
    // first start everything the service uses is there.
    void commandsAsPrinted()
    {
        QFETCH(QString, phase);
        QFETCH(QString, command);
        const Outcome outcome = m_outcomes.value(phase + u' ' + command);
        const QString said = outcome.output;
        QVERIFY2(outcome.exitCode == 0 || outcome.exitCode == 1, qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("Usage:")), qPrintable(said));
        if (command.contains(QStringLiteral("--check"))) {
            QVERIFY2(
                said.contains(QStringLiteral("Settings file /etc/corvane/router1/Vestrel.ini: ok")),
                qPrintable(said));
            QVERIFY2(said.contains(QStringLiteral("Log /var/lib/corvane/router1/Corvane/log.txt")),
                     qPrintable(said));
            QVERIFY2(said.contains(QStringLiteral("Echo permission: ok")), qPrintable(said));
        } else {
            QVERIFY2(said.contains(QStringLiteral("/var/lib/corvane/router1/Corvane/")) ||
                         outcome.exitCode == 0,
                     qPrintable(said));
        }
        if (phase == QStringLiteral("after"))
            QVERIFY2(outcome.exitCode == 0, qPrintable(said));
    }

private:
    QTemporaryDir m_root;
    QStringList m_commands;
    QMap<QString, Outcome> m_outcomes;
};

QTEST_GUILESS_MAIN(TestServiceCommands)
#include "tst_service_commands.moc"
