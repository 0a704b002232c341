#include "HostNameLookup.h"

#include "FileDescriptor.h"
#include "ShortWaits.h"
#include "StopLatch.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

// What the caller and the resolver's notification share. Whoever lets go last frees
// it: the caller when the lookup ended in time, the notification when the caller
// gave up first.
struct PendingLookup
{
    QByteArray name;
    addrinfo hints{};
    gaicb request{};
    // Readable once the resolver has finished.
    FileDescriptor finished;
    std::atomic<int> holders = 2;
};

// Gives up the caller's share, or both shares when the notification will never come.
void LetGo(PendingLookup *lookup, int shares = 1)
{
    if (lookup->holders.fetch_sub(shares, std::memory_order_acq_rel) != shares)
        return;
    if (lookup->request.ar_result != nullptr)
        ::freeaddrinfo(lookup->request.ar_result);
    delete lookup;
}

// Runs on a thread the C library starts once the lookup is done.
void Finished(sigval value)
{
    auto *lookup = static_cast<PendingLookup *>(value.sival_ptr);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(lookup->finished.get(), &one, sizeof one);
    LetGo(lookup);
}

// A lookup that is still waiting for a resolver thread is taken off the queue, and
// then no notification follows; one that is running cannot be stopped and will
// notify.
void Abandon(PendingLookup *lookup)
{
    LetGo(lookup, ::gai_cancel(&lookup->request) == EAI_CANCELED ? 2 : 1);
}

// IPv4 first, as most of the internet still answers there; IPv6 when that is all.
NameLookup FirstAddress(const addrinfo *list)
{
    const addrinfo *chosen = nullptr;
    for (const addrinfo *entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            chosen = entry;
            break;
        }
        if (entry->ai_family == AF_INET6 && chosen == nullptr)
            chosen = entry;
    }
    if (chosen == nullptr)
        return {NameLookup::Outcome::NotFound, std::nullopt};
    return {NameLookup::Outcome::Found, IpAddressOf(*chosen->ai_addr)};
}

NameLookup ResultOf(const PendingLookup &lookup)
{
    switch (::gai_error(const_cast<gaicb *>(&lookup.request))) {
    case 0:
        return FirstAddress(lookup.request.ar_result);
    case EAI_AGAIN: // every server stayed silent (or failed) through the resolver's retries
        return {NameLookup::Outcome::TimedOut, std::nullopt};
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_FAIL:
        return {NameLookup::Outcome::NotFound, std::nullopt};
    default:
        return {NameLookup::Outcome::Failed, std::nullopt};
    }
}

} // namespace

NameLookup LookUpHostName(const QByteArray &name, quint32 timeoutMs, const StopLatch *stop)
{
    if (stop != nullptr && stop->stopRequested())
        return {NameLookup::Outcome::Stopped, std::nullopt};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    auto *lookup = new PendingLookup;
    lookup->finished.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!lookup->finished.isValid()) {
        delete lookup;
        return {NameLookup::Outcome::Failed, std::nullopt};
    }
    lookup->name = name;
    // One entry per address rather than one per socket type.
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_DGRAM;
    lookup->request.ar_name = lookup->name.constData();
    lookup->request.ar_request = &lookup->hints;
    sigevent notification{};
    notification.sigev_notify = SIGEV_THREAD;
    notification.sigev_notify_function = Finished;
    notification.sigev_value.sival_ptr = lookup;
    std::array<gaicb *, 1> requests{&lookup->request};
    if (::getaddrinfo_a(GAI_NOWAIT, requests.data(), int(requests.size()), &notification) != 0) {
        // Whether a notification still comes is not told; keeping the record alive
        // costs a few bytes where freeing it could let the resolver write into freed
        // memory.
        LetGo(lookup);
        return {NameLookup::Outcome::Failed, std::nullopt};
    }

    for (;;) {
        short events = 0;
        const ShortWait waited = WaitOnce(lookup->finished.get(), deadline, stop, events);
        if (waited == ShortWait::TimedOut || waited == ShortWait::Stopped) {
            Abandon(lookup);
            return {waited == ShortWait::TimedOut ? NameLookup::Outcome::TimedOut
                                                  : NameLookup::Outcome::Stopped,
                    std::nullopt};
        }
        if (waited == ShortWait::Ready && (events & POLLIN) != 0)
            break;
    }
    const NameLookup found = ResultOf(*lookup);
    LetGo(lookup);
    return found;
}
