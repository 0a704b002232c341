#include "OpenProgramStart.h"

#include <QByteArrayList>
#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// argv and envp for exec: pointers into bytes, which must outlive them.
std::vector<char *> Pointers(QByteArrayList &bytes)
{
    std::vector<char *> pointers;
    pointers.reserve(std::size_t(bytes.size()) + 1);
    for (QByteArray &item : bytes)
        pointers.push_back(item.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

void StartOpenProgram(QProcess &process, FileDescriptor program, const QString &path,
                      const QStringList &arguments, const QProcessEnvironment &environment)
{
    // QProcess puts its pipes on 0, 1 and 2 in the child before our code runs there, so
    // the program must not sit on one of them (as it would with standard input closed).
    if (program.isValid() && program.get() <= STDERR_FILENO)
        program.reset(::fcntl(program.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));

    QByteArrayList argumentBytes{QFile::encodeName(path)};
    for (const QString &argument : arguments)
        argumentBytes.append(argument.toLocal8Bit());
    QByteArrayList environmentBytes;
    for (const QString &variable : environment.toStringList())
        environmentBytes.append(variable.toLocal8Bit());
    const std::vector<char *> argv = Pointers(argumentBytes);
    const std::vector<char *> envp = Pointers(environmentBytes);

    // QProcess 6.4 can only exec a name, so the exec is done in the child before it
    // would: the code it runs there after fork executes the descriptor itself. Should
    // that exec fail, QProcess goes on to exec its own program, which is the same open
    // file by its /proc name, and then reports the failure as a failed start; no name
    // that leads elsewhere is ever tried.
    const int descriptor = program.get();
    process.setProgram(QStringLiteral("/proc/self/fd/%1").arg(descriptor));
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([descriptor, &argv, &envp] {
        ::setpgid(0, 0);
        // The descriptor stays close-on-exec in this process, so no other child ever
        // inherits it; only in this child is it left open across the exec. A script
        // needs that: the kernel hands its interpreter /dev/fd/N to open, after the
        // exec, and that reopens this very descriptor's file, not a name.
        ::fcntl(descriptor, F_SETFD, 0);
        ::execveat(descriptor, "", argv.data(), envp.data(), AT_EMPTY_PATH);
    });
    process.start();
    // The pointers it holds die here; start() has forked by now.
    process.setChildProcessModifier({});
}
