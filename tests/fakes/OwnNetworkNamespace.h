#pragma once

#include <QStandardPaths>
#include <QString>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <type_traits>

// Runs a part of a test in a network namespace of its own, made for it in a child
// process: nothing it sends can leave the machine, and what the host has configured
// cannot change its result. The child runs the shell set-up, then the work, and hands
// its plain result back through a pipe.

// Why such namespaces cannot be made here, or an empty text when they can.
inline QString OwnNetworkNamespaceUnavailable()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to create a network namespace and load nft rules");
    for (const QString &tool : {QStringLiteral("ip"), QStringLiteral("nft")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + QStringLiteral(" is not installed");
    }
    return {};
}

// A shell step that waits, at most 10 s, until each of the space-separated IPv6
// addresses given is the namespace's own. `ip -6 addr add` returns before the kernel
// installs the address's local route, from a work queue that a loaded machine runs
// late; an echo sent before then leaves through the wrong route, and the kernel's
// "unreachable" for it has no way back either, so the test would see only a time-out.
inline std::string AwaitLocalIpv6Addresses(const std::string &addresses)
{
    return "for address in " + addresses +
           "; do tries=0; until ip -6 route show table local | grep -q \"^local $address \"; "
           "do tries=$((tries + 1)); [ $tries -lt 1000 ] || exit 1; sleep 0.01; done; done";
}

// How the child fared, before any result of the work.
enum class NamespaceRun
{
    Ran,
    NoNamespace, // unshare(CLONE_NEWNET) failed
    SetUpFailed, // the shell set-up exited non-zero
    NoAnswer,    // the child ended without handing a result back
};

// Forks, makes the namespace in the child, runs setUp through the shell and then
// work(), whose result must be trivially copyable.
template <typename Result, typename Work>
NamespaceRun RunInOwnNetworkNamespace(const std::string &setUp, Work work, Result &result)
{
    static_assert(std::is_trivially_copyable_v<Result>);
    struct Answer
    {
        NamespaceRun run;
        Result result;
    };
    int channel[2];
    if (::pipe(channel) != 0)
        return NamespaceRun::NoAnswer;
    const pid_t child = ::fork();
    if (child < 0)
        return NamespaceRun::NoAnswer;
    if (child == 0) {
        ::close(channel[0]);
        Answer answer{NamespaceRun::Ran, {}};
        if (::unshare(CLONE_NEWNET) != 0)
            answer.run = NamespaceRun::NoNamespace;
        else if (std::system(setUp.c_str()) != 0)
            answer.run = NamespaceRun::SetUpFailed;
        else
            answer.result = work();
        const bool written = ::write(channel[1], &answer, sizeof answer) == sizeof answer;
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    Answer answer{NamespaceRun::NoAnswer, {}};
    const ssize_t received = ::read(channel[0], &answer, sizeof answer);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (received != sizeof answer)
        return NamespaceRun::NoAnswer;
    result = answer.result;
    return answer.run;
}
