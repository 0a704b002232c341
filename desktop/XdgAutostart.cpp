#include "XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <utility>

namespace {

// The mark of an entry Corvane wrote, and may therefore remove.
const QByteArray kWrittenByUs = "X-Corvane-Written=true";

QByteArray EntryLines(const QString &file)
{
    QFile entry(file);
    if (!entry.open(QIODevice::ReadOnly))
        return {};
    return entry.read(qint64{64} * 1024);
}

bool HasLine(const QByteArray &lines, const QByteArray &line)
{
    for (const QByteArray &each : lines.split('\n')) {
        if (each.trimmed() == line)
            return true;
    }
    return false;
}

// One argument of an Exec value: quoted where the desktop entry rules want it, with
// the key file's own escaping of a backslash on top.
QString ExecArgument(const QString &argument)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(argument).hasMatch())
        return argument;
    QString quoted;
    for (const QChar character : argument) {
        if (character == u'"' || character == u'`' || character == u'$')
            quoted += u'\\';
        else if (character == u'\\')
            quoted += QStringLiteral("\\\\\\");
        else if (character == u'%')
            quoted += u'%';
        quoted += character;
    }
    return u'"' + quoted + u'"';
}

QString ExecValue(const QStringList &command)
{
    QStringList arguments;
    for (const QString &argument : command)
        arguments << ExecArgument(argument);
    return arguments.join(u' ');
}

} // namespace

XdgAutostart::XdgAutostart(const QString &configFolder, QStringList command)
    : m_entryPath(configFolder + QStringLiteral("/autostart/corvane.desktop")),
      m_command(std::move(command))
{
}

bool XdgAutostart::isOn() const
{
    // An entry that hides itself turns the start off, as the session reads it.
    const QFileInfo entry(m_entryPath);
    return entry.isFile() && !HasLine(EntryLines(m_entryPath), "Hidden=true");
}

std::optional<QString> XdgAutostart::turnOn()
{
    if (isOn())
        return std::nullopt;
    if (QFileInfo::exists(m_entryPath) || QFileInfo(m_entryPath).isSymLink())
        return QStringLiteral("%1 is not Corvane's; Corvane leaves it as it is.").arg(m_entryPath);
    const QString folder = QFileInfo(m_entryPath).path();
    if (!QDir().mkpath(folder))
        return QStringLiteral("The folder %1 could not be made.").arg(folder);
    // Whole or not at all: a session must never read half an entry.
    QSaveFile entry(m_entryPath);
    if (entry.open(QIODevice::WriteOnly)) {
        entry.write("[Desktop Entry]\n"
                    "Type=Application\n"
                    "Name=Corvane\n"
                    "Comment=Watches the network connection and tells the router to act when "
                    "it is lost\n"
                    "Exec=" +
                    ExecValue(m_command).toUtf8() +
                    "\n"
                    "Icon=corvane\n"
                    "Terminal=false\n"
                    "X-GNOME-Autostart-enabled=true\n" +
                    kWrittenByUs + '\n');
        if (entry.commit())
            return std::nullopt;
    }
    return QStringLiteral("%1 could not be written: %2").arg(m_entryPath, entry.errorString());
}

std::optional<QString> XdgAutostart::turnOff()
{
    const QFileInfo entry(m_entryPath);
    if (!entry.exists() && !entry.isSymLink())
        return std::nullopt;
    if (!entry.isFile() || entry.isSymLink() || !HasLine(EntryLines(m_entryPath), kWrittenByUs))
        return QStringLiteral("%1 was not written by Corvane, so Corvane leaves it; remove it "
                              "yourself to stop the start at login.")
            .arg(m_entryPath);
    QFile file(m_entryPath);
    if (!file.remove())
        return QStringLiteral("%1 could not be removed: %2").arg(m_entryPath, file.errorString());
    return std::nullopt;
}
