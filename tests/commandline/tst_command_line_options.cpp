// The command line's own reading, below the program: each option's edges and
// refusals. What only the whole program shows is tested through it, in tests/e2e.
#include "CommandLine.h"
#include "DroppedCapabilities.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#include <sys/stat.h>

namespace {

// Arguments after the program's name; "<tmp>" stands for the test's temporary folder.
CommandLine Read(const QStringList &arguments, const QString &root)
{
    QStringList full{QStringLiteral("corvane")};
    for (QString argument : arguments)
        full << argument.replace(QStringLiteral("<tmp>"), root);
    return ReadCommandLine(full);
}

// The reason of a refusal: its first line, without the program's name.
QString Reason(const CommandLine &commandLine)
{
    return commandLine.text.section(u'\n', 0, 0).remove(QStringLiteral("corvane: "));
}

} // namespace

class TestCommandLineOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QVERIFY(QDir().mkpath(m_root.filePath(QStringLiteral("readonly"))));
        QVERIFY(::chmod(QFile::encodeName(m_root.filePath(QStringLiteral("readonly"))), 0555) == 0);
    }

    void settingsFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // Empty when taken; otherwise the refusal's reason.
        QTest::addColumn<QString>("refusal");
        const QString longest(NAME_MAX, u'x');
        const QString tooLong(NAME_MAX + 1, u'x');
        QTest::addRow("a name as long as a file system takes")
            << QStringList{"--config-dir", "<tmp>/" + longest} << QString();
        QTest::addRow("a name one byte longer")
            << QStringList{"--config-dir", "<tmp>/" + tooLong}
            << "--config-dir: <tmp>/" + tooLong + ": File name too long.";
        // Watching writes there; the check and the report only read.
        QTest::addRow("a folder that cannot be written, to watch")
            << QStringList{"--config-dir", "<tmp>/readonly"}
            << QStringLiteral("--config-dir: <tmp>/readonly cannot be read and written.");
        QTest::addRow("a folder that cannot be written, to check")
            << QStringList{"--check", "--config-dir", "<tmp>/readonly"} << QString();
        QTest::addRow("a folder that cannot be written, for the report")
            << QStringList{"--history", "--config-dir", "<tmp>/readonly"} << QString();
        QTest::addRow("a folder that cannot be made, to check")
            << QStringList{"--check", "--config-dir", "<tmp>/readonly/router1"} << QString();
        QTest::addRow("a folder that cannot be made, to watch")
            << QStringList{"--config-dir", "<tmp>/readonly/router1"}
            << QStringLiteral(
                   "--config-dir: <tmp>/readonly/router1 cannot be made in <tmp>/readonly.");
    }

    void settingsFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        CommandLine commandLine;
        // The folder's permission bits bind root as they bind a user.
        QVERIFY(RunHeldToFilePermissions([&] { commandLine = Read(arguments, m_root.path()); }));
        QCOMPARE(Reason(commandLine),
                 QString(refusal).replace(QStringLiteral("<tmp>"), m_root.path()));
        QCOMPARE(commandLine.action == CommandLineAction::Refuse, !refusal.isEmpty());
    }

    void instance_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("refusal");
        const QString longest(NAME_MAX, u'r');
        QTest::addRow("a plain name")
            << QStringList{"--check", "--instance", "router1"} << QString();
        QTest::addRow("every character it takes")
            << QStringList{"--check", "--instance", "a-b:c_d.e"} << QString();
        // The unit would turn the escape back into a blank, and name another instance.
        QTest::addRow("systemd's escape")
            << QStringList{"--check", "--instance", "my\\x20router"}
            << "--instance: 'my\\x20router' is no name of a corvane@ service.";
        QTest::addRow("as long as a file name")
            << QStringList{"--check", "--instance", longest} << QString();
        QTest::addRow("one byte longer")
            << QStringList{"--check", "--instance", longest + u'r'}
            << "--instance: '" + longest + "r' is no name of a corvane@ service.";
        QTest::addRow("empty") << QStringList{"--check", "--instance", ""}
                               << QStringLiteral(
                                      "--instance needs the name of a corvane@ service.");
        for (const char *name : {".", "..", "../router1", "router/1", "router 1"}) {
            QTest::addRow("'%s'", name)
                << QStringList{"--check", "--instance", name}
                << QStringLiteral("--instance: '%1' is no name of a corvane@ service.")
                       .arg(QLatin1String(name));
        }
        QTest::addRow("with --config-dir")
            << QStringList{"--check", "--instance", "router1", "--config-dir", "<tmp>"}
            << QStringLiteral("--instance names the settings folder: it does not go with "
                              "--config-dir.");
        QTest::addRow("with the report")
            << QStringList{"--history", "--instance", "router1"} << QString();
    }

    void instance()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        const CommandLine commandLine = Read(arguments, m_root.path());
        QCOMPARE(Reason(commandLine),
                 QString(refusal).replace(QStringLiteral("<tmp>"), m_root.path()));
        if (!refusal.isEmpty())
            return;
        const QString name = arguments[arguments.indexOf(QStringLiteral("--instance")) + 1];
        QCOMPARE(commandLine.options.instance, name);
        QCOMPARE(commandLine.options.configFolder, QStringLiteral("/etc/corvane/") + name);
    }

    // The service's own folders, as its unit makes them and gives them to its programs.
    void instanceFoldersAreTheUnits()
    {
        QFile unit(QStringLiteral(CORVANE_SOURCE_DIR "/shell/desktop/corvane@.service.in"));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(unit.readAll());
        const SystemInstanceFolders folders = FoldersOfInstance(QStringLiteral("%i"));
        QVERIFY(text.contains(QStringLiteral("corvane --headless --instance %i\n")));
        QVERIFY(text.contains(QStringLiteral("ConfigurationDirectory=corvane/%i\n")));
        QVERIFY(text.contains(QStringLiteral("StateDirectory=corvane/%i\n")));
        for (const QString &variable : {QStringLiteral("HOME=") + folders.state,
                                        QStringLiteral("XDG_CONFIG_HOME=") + folders.settings,
                                        QStringLiteral("XDG_DATA_HOME=") + folders.state})
            QVERIFY2(text.contains(variable), qPrintable(variable));
    }

    void enteringAnInstanceSetsItsFolders()
    {
        CommandLineOptions options;
        options.instance = QStringLiteral("router1");
        EnterInstanceFolders(options);
        QCOMPARE(qgetenv("HOME"), QByteArray("/var/lib/corvane/router1"));
        QCOMPARE(qgetenv("XDG_CONFIG_HOME"), QByteArray("/etc/corvane/router1"));
        QCOMPARE(qgetenv("XDG_DATA_HOME"), QByteArray("/var/lib/corvane/router1"));
    }

private:
    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(TestCommandLineOptions)
#include "tst_command_line_options.moc"
