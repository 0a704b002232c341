#include "WholeFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

// QSaveFile follows symbolic links and renames its temporary file over the name the
// last one gives, which would put a regular file in place of a device, a FIFO or a
// folder: none of them is ours to replace. Nothing there yet (a link that leads
// nowhere included) is a file to make.
std::optional<QString> NotReplaceable(const QString &path)
{
    // The system calls would stop at the NUL and replace another file.
    if (path.contains(QChar(u'\0')))
        return QStringLiteral("the name holds a NUL character");
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(qt_error_string(errno));
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("it is not a regular file");
    return std::nullopt;
}

} // namespace

std::optional<QString> WriteWholeFile(const QString &path, const QByteArray &content)
{
    if (std::optional<QString> refusal = NotReplaceable(path))
        return refusal;
    QSaveFile file(path);
    // Unbuffered: a failed buffered write only shows while commit() flushes, and Qt 6.4
    // then puts the cut-short file in place all the same.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    // A write the disk cuts short sets no error; the one after it says why.
    for (qint64 written = 0; written < content.size();) {
        const qint64 result = file.write(content.constData() + written, content.size() - written);
        if (result <= 0)
            return file.errorString();
        written += result;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}
