#include "IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringDecoder>
#include <QStringList>

namespace {

QString GroupedKey(const QString &section, const QString &key)
{
    return section + u'/' + key;
}

// A value written by hand as "a, b" comes back from the INI reader as a list; the
// user meant the text.
QString ValueText(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// QSettings rewrites the whole file on every write and silently drops what it could
// not parse: a line without "=", or bytes that are not UTF-8, which it would replace.
// A file with such content was written by something else, perhaps by hand, and is
// left alone rather than rewritten without it. Comments (";") are the one thing a
// rewrite is allowed to lose.
bool RewriteKeepsContent(const QByteArray &content)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(content);
    if (decoder.hasError())
        return false;
    bool continued = false;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        const bool isContinuation = continued;
        continued = line.endsWith(u'\\');
        if (isContinuation || line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']'))
            continue;
        if (!line.startsWith(u'[') && line.contains(u'='))
            continue;
        return false;
    }
    return true;
}

QString NativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

Outcome CheckFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return Outcome::success();
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::failure(
            QStringLiteral("The settings file %1 could not be read.").arg(NativePath(path)));
    if (!RewriteKeepsContent(file.readAll()))
        return Outcome::failure(
            QStringLiteral("The settings file %1 is damaged and was left unchanged.")
                .arg(NativePath(path)));
    return Outcome::success();
}

// The file's own check first, then what QSettings made of it.
Outcome CheckReadable(const QSettings &settings)
{
    if (Outcome file = CheckFile(settings.fileName()); file.failed())
        return file;
    if (settings.status() == QSettings::NoError)
        return Outcome::success();
    return Outcome::failure(QStringLiteral("The settings file %1 could not be read.")
                                .arg(NativePath(settings.fileName())));
}

Outcome SyncOutcome(QSettings &settings)
{
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return Outcome::success();
    return Outcome::failure(QStringLiteral("The settings file %1 could not be written.")
                                .arg(NativePath(settings.fileName())));
}

// A failed sync leaves the change pending in QSettings' per-process cache, where a
// later read would see it and a later successful write would store it. Putting the
// previous value back keeps memory in step with the disk.
void Restore(QSettings &settings, const QString &groupedKey, const QVariant &previous)
{
    if (previous.isValid())
        settings.setValue(groupedKey, previous);
    else
        settings.remove(groupedKey);
}

} // namespace

IniSettingsStore::IniSettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString IniSettingsStore::filePath(const QString &application) const
{
    return QDir(m_folder).filePath(application + QStringLiteral(".ini"));
}

std::optional<QString> IniSettingsStore::read(const QString &application, const QString &section,
                                              const QString &key)
{
    const QSettings settings(filePath(application), QSettings::IniFormat);
    if (CheckReadable(settings).failed())
        return std::nullopt;
    const QString groupedKey = GroupedKey(section, key);
    if (!settings.contains(groupedKey))
        return std::nullopt;
    return ValueText(settings.value(groupedKey));
}

Outcome IniSettingsStore::write(const QString &application, const QString &section,
                                const QString &key, const QString &value)
{
    QSettings settings(filePath(application), QSettings::IniFormat);
    if (Outcome readable = CheckReadable(settings); readable.failed())
        return readable;
    const QString groupedKey = GroupedKey(section, key);
    const QVariant previous = settings.value(groupedKey);
    settings.setValue(groupedKey, value);
    Outcome outcome = SyncOutcome(settings);
    if (outcome.failed())
        Restore(settings, groupedKey, previous);
    return outcome;
}

Outcome IniSettingsStore::remove(const QString &application, const QString &section,
                                 const QString &key)
{
    QSettings settings(filePath(application), QSettings::IniFormat);
    if (Outcome readable = CheckReadable(settings); readable.failed())
        return readable;
    const QString groupedKey = GroupedKey(section, key);
    const QVariant previous = settings.value(groupedKey);
    settings.remove(groupedKey);
    Outcome outcome = SyncOutcome(settings);
    if (outcome.failed())
        Restore(settings, groupedKey, previous);
    return outcome;
}
