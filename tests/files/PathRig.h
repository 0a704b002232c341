#pragma once

#include "FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <optional>
#include <thread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// What stands at the path a test hands to the code that writes files.
enum class Standing
{
    Nothing,
    RegularFile,
    LinkToFile,
    LinkChain,
    DanglingLink,
    Fifo,
    FifoWithReader,
    LinkToFifo,
    Folder,
    LinkToFolder,
    Socket,
    LinkLoop,
    NameTooLong,
    NulInName,
    MissingFolder,
    DanglingLinkIntoMissingFolder,
};

inline const QByteArray kOldContent = "old\r\n";
constexpr qsizetype kKiB = 1024;

// The path, with what must stay open while the test runs (a FIFO's reader, a
// socket's listener).
struct Placed
{
    QString path;
    FileDescriptor keep;
};

// Puts what is named at "target" in folder; a link's file, where there is one, is
// "file", holding kOldContent.
inline Placed Place(const QString &folder, Standing what)
{
    const QDir dir(folder);
    Placed placed{dir.filePath(QStringLiteral("target")), {}};
    const QByteArray target = QFile::encodeName(placed.path);
    const QString file = dir.filePath(QStringLiteral("file"));
    const auto writeOld = [](const QString &path) {
        QFile old(path);
        old.open(QIODevice::WriteOnly);
        old.write(kOldContent);
    };
    switch (what) {
    case Standing::Nothing:
        break;
    case Standing::RegularFile:
        writeOld(placed.path);
        break;
    case Standing::LinkToFile:
        writeOld(file);
        QFile::link(QStringLiteral("file"), placed.path);
        break;
    case Standing::LinkChain:
        writeOld(file);
        QFile::link(QStringLiteral("file"), dir.filePath(QStringLiteral("middle")));
        QFile::link(QStringLiteral("middle"), placed.path);
        break;
    case Standing::DanglingLink:
        QFile::link(QStringLiteral("file"), placed.path);
        break;
    case Standing::Fifo:
    case Standing::FifoWithReader:
        ::mkfifo(target.constData(), 0600);
        if (what == Standing::FifoWithReader)
            placed.keep.reset(::open(target.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        break;
    case Standing::LinkToFifo:
        ::mkfifo(QFile::encodeName(file).constData(), 0600);
        QFile::link(QStringLiteral("file"), placed.path);
        break;
    case Standing::Folder:
        dir.mkdir(QStringLiteral("target"));
        break;
    case Standing::LinkToFolder:
        dir.mkdir(QStringLiteral("file"));
        QFile::link(QStringLiteral("file"), placed.path);
        break;
    case Standing::Socket: {
        placed.keep.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, target.constData(), sizeof address.sun_path - 1);
        if (::bind(placed.keep.get(), reinterpret_cast<const sockaddr *>(&address),
                   sizeof address) != 0)
            placed.keep.reset();
        break;
    }
    case Standing::LinkLoop:
        QFile::link(QStringLiteral("loop"), placed.path);
        QFile::link(QStringLiteral("target"), dir.filePath(QStringLiteral("loop")));
        break;
    case Standing::NameTooLong:
        // One more than the longest name a Linux file system allows.
        placed.path = dir.filePath(QString(256, u'n'));
        break;
    case Standing::NulInName:
        // A system call would take the name up to the NUL, another file.
        placed.path = dir.filePath(QStringLiteral("tar")) + QChar(u'\0') + QStringLiteral("get");
        break;
    case Standing::MissingFolder:
        placed.path = dir.filePath(QStringLiteral("missing/target"));
        break;
    case Standing::DanglingLinkIntoMissingFolder:
        QFile::link(QStringLiteral("missing/file"), placed.path);
        break;
    }
    return placed;
}

// What a path holds, following links, in a few words that a test compares before and
// after: nothing must have taken the place of what was there.
inline QString Describe(const QString &path)
{
    struct stat status = {};
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &status) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("link to ") + QFileInfo(path).symLinkTarget().section(u'/', -1) +
               QStringLiteral(": ") +
               (::stat(name.constData(), &status) == 0 ? Describe(QFileInfo(path).symLinkTarget())
                                                       : QString::fromLocal8Bit(strerror(errno)));
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("FIFO");
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("folder");
    if (S_ISSOCK(status.st_mode))
        return QStringLiteral("socket");
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QStringLiteral("file %1: ").arg(status.st_mode & 07777, 0, 8) +
           QString::fromLatin1(file.readAll());
}

// The names in folder, hidden ones included: a temporary file left behind shows.
inline QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs work on a thread of its own, in a mount namespace of its own where folder is a
// tmpfs of sizeKiB: a disk that fills in a few writes, gone with the thread. The
// machine's mounts are made private in that namespace first, so that the small disk
// never shows outside it. Returns why the disk could not be had, as for a QSKIP.
template <typename Work>
std::optional<QString> RunOnSmallDisk(const QString &folder, int sizeKiB, Work work)
{
    std::optional<QString> refusal;
    std::thread([&] {
        const QByteArray options = "size=" + QByteArray::number(sizeKiB) + 'k';
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) != 0) {
            refusal = QStringLiteral("a small disk needs a mount namespace of our own: ") +
                      QString::fromLocal8Bit(strerror(errno));
            return;
        }
        work();
    }).join();
    return refusal;
}

// Fills the disk that folder is on, then frees room bytes of it again (rounded to the
// file system's pages).
inline bool FillDisk(const QString &folder, qint64 room)
{
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    return filler.resize(qMax<qint64>(0, filler.size() - room));
}

// The paths no writer may take, with what the refusal must say; only a folder's reason
// differs, as the writers learn of it at different calls.
inline void AddRefusedPathRows(const char *folderReason)
{
    QTest::addColumn<Standing>("standing");
    QTest::addColumn<QString>("reason");
    QTest::addRow("FIFO nobody reads") << Standing::Fifo << "not a regular file";
    QTest::addRow("FIFO with a reader") << Standing::FifoWithReader << "not a regular file";
    QTest::addRow("link to a FIFO") << Standing::LinkToFifo << "not a regular file";
    QTest::addRow("folder") << Standing::Folder << folderReason;
    QTest::addRow("link to a folder") << Standing::LinkToFolder << folderReason;
    QTest::addRow("socket") << Standing::Socket << "not a regular file";
    QTest::addRow("link loop") << Standing::LinkLoop << "Too many levels of symbolic links";
    QTest::addRow("name too long") << Standing::NameTooLong << "File name too long";
    QTest::addRow("NUL in the name") << Standing::NulInName << "NUL character";
    QTest::addRow("folder missing") << Standing::MissingFolder << "No such file or directory";
    QTest::addRow("link into a missing folder")
        << Standing::DanglingLinkIntoMissingFolder << "No such file or directory";
}
