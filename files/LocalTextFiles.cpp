#include "LocalTextFiles.h"

#include "FileDescriptor.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError(int errorNumber)
{
    return qt_error_string(errorNumber);
}

const QString kNotRegularFile = QStringLiteral("it is not a regular file.");

// Non-blocking, so that a FIFO or a device named as the file cannot hold the
// program in open(2), where not even a stop signal gets through.
int OpenNonBlocking(const QByteArray &nativePath, int access)
{
    int descriptor;
    do {
        descriptor = ::open(nativePath.constData(),
                            access | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// The last byte is read where the descriptor allows it; a file the user may only
// write to is taken to end a line, as it cannot be seen.
bool EndsMidLine(int descriptor, bool readable, off_t size)
{
    char last = '\n';
    return readable && size > 0 && ::pread(descriptor, &last, 1, size - 1) == 1 && last != '\n';
}

class LocalAppendFile final : public AppendFile
{
public:
    LocalAppendFile(QString path, FileDescriptor descriptor, bool endsMidLine)
        : m_path(std::move(path)), m_descriptor(std::move(descriptor)), m_endsMidLine(endsMidLine)
    {
    }

    bool endsMidLine() const override { return m_endsMidLine; }

    Outcome writeLine(const QString &text) override
    {
        Outcome outcome = write(text);
        if (!outcome.failed())
            m_pending += "\r\n";
        return outcome;
    }

    Outcome write(const QString &text) override
    {
        // UTF-8 on every current system, so that any language's text survives.
        return writeBytes(text.toLocal8Bit());
    }

    Outcome writeBytes(const QByteArray &bytes) override
    {
        if (!m_descriptor.isValid())
            return Outcome::failure(
                QStringLiteral("Cannot write to \"%1\": the file is already closed.").arg(m_path));
        m_pending += bytes;
        return Outcome::success();
    }

    Outcome close() override
    {
        if (!m_descriptor.isValid())
            return Outcome::failure(
                QStringLiteral("Cannot close \"%1\": the file is already closed.").arg(m_path));
        Outcome outcome = writePending();
        // close(2) may report a failed write-back (a full disk on a network file
        // system), and the descriptor is gone afterwards whatever it returns.
        if (::close(m_descriptor.release()) != 0 && !outcome.failed())
            outcome = Outcome::failure(
                QStringLiteral("Cannot close \"%1\": %2").arg(m_path, SystemError(errno)));
        return outcome;
    }

private:
    Outcome writePending()
    {
        if (m_pending.isEmpty())
            return Outcome::success();
        ssize_t written;
        do {
            written = ::write(m_descriptor.get(), m_pending.constData(), m_pending.size());
        } while (written < 0 && errno == EINTR);
        if (written < 0)
            return Outcome::failure(
                QStringLiteral("Cannot write to \"%1\": %2").arg(m_path, SystemError(errno)));
        // Writing the rest in a second call could let another program's text land
        // in the middle of the entry, so a short write is reported instead, and the
        // part written is taken back: the next entry must not run into half of this one.
        if (written < m_pending.size()) {
            const off_t end = ::lseek(m_descriptor.get(), 0, SEEK_CUR);
            const bool takenBack =
                end >= written && ::ftruncate(m_descriptor.get(), end - written) == 0;
            return Outcome::failure(
                QStringLiteral("Only %1 of %2 bytes could be written to \"%3\"%4.")
                    .arg(written)
                    .arg(m_pending.size())
                    .arg(m_path, takenBack ? QString() : QStringLiteral(", and they stay there")));
        }
        m_pending.clear();
        return Outcome::success();
    }

    QString m_path;
    FileDescriptor m_descriptor;
    bool m_endsMidLine;
    QByteArray m_pending;
};

} // namespace

std::unique_ptr<AppendFile> LocalTextFiles::openForAppend(const QString &path, Outcome &outcome)
{
    // The system call would stop at an embedded NUL and open a different file.
    if (path.contains(QChar(u'\0'))) {
        outcome = Outcome::failure(
            QStringLiteral("Cannot open \"%1\" for appending: the name holds a NUL character.")
                .arg(path));
        return nullptr;
    }
    const QByteArray nativePath = QFile::encodeName(path);
    // Read access as well lets the open see how the file ends.
    bool readable = true;
    int descriptor = OpenNonBlocking(nativePath, O_RDWR);
    if (descriptor < 0 && errno == EACCES) {
        readable = false;
        descriptor = OpenNonBlocking(nativePath, O_WRONLY);
    }
    const auto refuse = [&](const QString &reason) {
        outcome = Outcome::failure(
            QStringLiteral("Cannot open \"%1\" for appending: %2").arg(path, reason));
        return nullptr;
    };
    // A non-blocking open lacks a reader or a device only where the path is no
    // regular file: a FIFO nobody reads, a device that is not there.
    if (descriptor < 0)
        return refuse(errno == ENXIO ? kNotRegularFile : SystemError(errno));
    FileDescriptor file(descriptor);
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0)
        return refuse(SystemError(errno));
    // A FIFO with a reader, or a device, would take the entry somewhere other than
    // a log the user can read back.
    if (!S_ISREG(status.st_mode))
        return refuse(kNotRegularFile);
    // The entry's write waits for the disk like any other.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return refuse(SystemError(errno));
    outcome = Outcome::success();
    const bool midLine = EndsMidLine(descriptor, readable, status.st_size);
    return std::make_unique<LocalAppendFile>(path, std::move(file), midLine);
}
