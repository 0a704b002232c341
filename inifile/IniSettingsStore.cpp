#include "IniSettingsStore.h"

#include "FileDescriptor.h"
#include "IniDocument.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many as the kernel follows before it gives up with ELOOP.
constexpr int kMostLinksFollowed = 40;

QString NativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

enum class Access
{
    Read,
    Write,
};

Outcome Refused(Access access, const QString &path, const QString &reason)
{
    const QString text = access == Access::Read
                             ? QStringLiteral("The settings file %1 could not be read: %2.")
                             : QStringLiteral("The settings file %1 could not be written: %2.");
    return Outcome::failure(text.arg(NativePath(path), reason));
}

Outcome NotRegularFile(const QString &path)
{
    return Outcome::failure(
        QStringLiteral("The settings file %1 is not a regular file.").arg(NativePath(path)));
}

// The file's bytes, or none when there is no file. Opened without blocking and checked
// to be a regular file: a FIFO put in its place would otherwise hold open() or read()
// forever. Opening for writing too, before any change, tells a read-only file at once.
Outcome ReadFile(const QString &path, Access access, QByteArray &content)
{
    content.clear();
    const int mode = access == Access::Read ? O_RDONLY : O_RDWR;
    const QByteArray nativePath = QFile::encodeName(path);
    const FileDescriptor descriptor(
        ::open(nativePath.constData(), mode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!descriptor.isValid()) {
        const int openError = errno;
        if (openError == ENOENT)
            return Outcome::success();
        // A folder cannot be opened for writing at all, so it never reaches fstat().
        if (openError == EISDIR)
            return NotRegularFile(path);
        return Refused(access, path, qt_error_string(openError));
    }
    struct stat status = {};
    if (::fstat(descriptor.get(), &status) != 0)
        return Refused(access, path, qt_error_string(errno));
    if (!S_ISREG(status.st_mode))
        return NotRegularFile(path);
    QFile file;
    if (!file.open(descriptor.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return Refused(access, path, file.errorString());
    content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Refused(access, path, file.errorString());
    return Outcome::success();
}

std::optional<IniDocument> ReadDocument(const QString &path)
{
    QByteArray content;
    if (ReadFile(path, Access::Read, content).failed())
        return std::nullopt;
    return IniDocument(content);
}

// The new file is put in place by renaming, which would turn a symbolic link into a
// regular file; writing to the file the link names keeps the link.
Outcome LinkTarget(const QString &path, QString &target)
{
    target = path;
    for (int followed = 0; followed < kMostLinksFollowed; ++followed) {
        const QFileInfo file(target);
        if (!file.isSymLink())
            return Outcome::success();
        target = file.symLinkTarget();
    }
    return Refused(Access::Write, path, qt_error_string(ELOOP));
}

// The rename lasts only once the folder that records it has reached the disk. A folder
// that cannot be synced still holds the new file; only a crash could undo the rename,
// which leaves the old file whole.
void SyncFolder(const QString &folder)
{
    const FileDescriptor descriptor(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.isValid())
        static_cast<void>(::fsync(descriptor.get()));
}

Outcome ReplaceFile(const QString &path, const QByteArray &content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return Refused(Access::Write, path,
                       QStringLiteral("the folder %1 could not be made").arg(NativePath(folder)));
    if (const std::optional<QString> failure = WriteWholeFile(path, content))
        return Refused(Access::Write, path, *failure);
    SyncFolder(folder);
    return Outcome::success();
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
    const std::optional<IniDocument> document = ReadDocument(filePath(application));
    if (!document)
        return std::nullopt;
    return document->value(section, key);
}

Outcome IniSettingsStore::readable(const QString &application)
{
    QByteArray content;
    return ReadFile(filePath(application), Access::Read, content);
}

bool IniSettingsStore::hasKeys(const QString &application, const QString &section)
{
    const std::optional<IniDocument> document = ReadDocument(filePath(application));
    return document && document->hasKeys(section);
}

QStringList IniSettingsStore::keys(const QString &application, const QString &section)
{
    const std::optional<IniDocument> document = ReadDocument(filePath(application));
    return document ? document->keys(section) : QStringList();
}

Outcome IniSettingsStore::write(const QString &application, const QString &section,
                                const QString &key, const QString &value)
{
    if (!IsIniName(section) || !IsIniName(key))
        return Outcome::failure(
            QStringLiteral("The settings file %1 cannot hold the key \"%2\" in section \"%3\".")
                .arg(NativePath(filePath(application)), key, section));
    return change(application,
                  [&](IniDocument &document) { document.setValue(section, key, value); });
}

Outcome IniSettingsStore::remove(const QString &application, const QString &section,
                                 const QString &key)
{
    return change(application, [&](IniDocument &document) { document.remove(section, key); });
}

Outcome IniSettingsStore::change(const QString &application,
                                 const std::function<void(IniDocument &)> &edit)
{
    QString path;
    if (Outcome linked = LinkTarget(filePath(application), path); linked.failed())
        return linked;
    QByteArray before;
    if (Outcome read = ReadFile(path, Access::Write, before); read.failed())
        return read;
    IniDocument document(before);
    edit(document);
    const QByteArray after = document.content();
    // Also spares a missing file from being made empty by a removal.
    if (after == before)
        return Outcome::success();
    return ReplaceFile(path, after);
}

QString IniSettingsStore::skippedLinesReport(const QString &application) const
{
    const QString path = filePath(application);
    const std::optional<IniDocument> document = ReadDocument(path);
    if (!document || document->skippedLines().isEmpty())
        return {};
    QStringList numbers;
    for (const int number : document->skippedLines())
        numbers.append(QString::number(number));
    return QStringLiteral("The settings file %1 has lines that are not settings, which were "
                          "skipped: %2.")
        .arg(NativePath(path), numbers.join(QStringLiteral(", ")));
}
