#include "IniSettingsStore.h"

#include <QDir>
#include <QSettings>
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

// QSettings rewrites the whole file on every write and keeps only what it could
// parse, so a file it cannot read is left alone rather than replaced by the one
// value being written.
Outcome CheckReadable(const QSettings &settings)
{
    switch (settings.status()) {
    case QSettings::NoError:
        return Outcome::success();
    case QSettings::FormatError:
        return Outcome::failure(
            QStringLiteral("The settings file %1 is damaged and was left unchanged.")
                .arg(QDir::toNativeSeparators(settings.fileName())));
    case QSettings::AccessError:
        break;
    }
    return Outcome::failure(QStringLiteral("The settings file %1 could not be read.")
                                .arg(QDir::toNativeSeparators(settings.fileName())));
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

Outcome SyncOutcome(QSettings &settings)
{
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return Outcome::success();
    return Outcome::failure(QStringLiteral("The settings file %1 could not be written.")
                                .arg(QDir::toNativeSeparators(settings.fileName())));
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
    if (settings.status() != QSettings::NoError)
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
    if (const Outcome readable = CheckReadable(settings); readable.failed())
        return readable;
    const QString groupedKey = GroupedKey(section, key);
    const QVariant previous = settings.value(groupedKey);
    settings.setValue(groupedKey, value);
    const Outcome outcome = SyncOutcome(settings);
    if (outcome.failed())
        Restore(settings, groupedKey, previous);
    return outcome;
}

Outcome IniSettingsStore::remove(const QString &application, const QString &section,
                                 const QString &key)
{
    QSettings settings(filePath(application), QSettings::IniFormat);
    if (const Outcome readable = CheckReadable(settings); readable.failed())
        return readable;
    const QString groupedKey = GroupedKey(section, key);
    const QVariant previous = settings.value(groupedKey);
    settings.remove(groupedKey);
    const Outcome outcome = SyncOutcome(settings);
    if (outcome.failed())
        Restore(settings, groupedKey, previous);
    return outcome;
}
