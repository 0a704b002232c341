#include "LocalTextFiles.h"

#include "FileDescriptor.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString SystemError(int errorNumber)
{
    return qt_error_string(errorNumber);
}

class LocalAppendFile final : public AppendFile
{
public:
    LocalAppendFile(QString path, FileDescriptor descriptor)
        : m_path(std::move(path)), m_descriptor(std::move(descriptor))
    {
    }

    Outcome writeLine(const QString &text) override
    {
        Outcome outcome = write(text);
        if (!outcome.failed())
            m_pending += "\r\n";
        return outcome;
    }

    Outcome write(const QString &text) override
    {
        if (!m_descriptor.isValid())
            return Outcome::failure(
                QStringLiteral("Cannot write to \"%1\": the file is already closed.").arg(m_path));
        // toLatin1() turns every character outside Latin-1 into "?".
        m_pending += text.toLatin1();
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
    int descriptor;
    do {
        descriptor = ::open(nativePath.constData(),
                            O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        outcome = Outcome::failure(
            QStringLiteral("Cannot open \"%1\" for appending: %2").arg(path, SystemError(errno)));
        return nullptr;
    }
    outcome = Outcome::success();
    return std::make_unique<LocalAppendFile>(path, FileDescriptor(descriptor));
}
