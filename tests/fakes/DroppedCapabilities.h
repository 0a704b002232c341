#pragma once

#include <initializer_list>
#include <thread>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Takes capabilities from the calling thread for good, the permitted set included:
// access(2) gives root its permitted set back, so clearing only the effective set
// would leave Qt's own writability checks answering as root.
inline bool DropCapabilities(std::initializer_list<int> capabilities)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int capability : capabilities) {
        data[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
        data[CAP_TO_INDEX(capability)].permitted &= ~CAP_TO_MASK(capability);
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Runs work on a thread of its own that file permission bits bind as they bind a
// user, root included. False when the capabilities could not be dropped.
template <typename Work> bool RunHeldToFilePermissions(Work work)
{
    bool held = false;
    std::thread([&] {
        held = DropCapabilities({CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH});
        if (held)
            work();
    }).join();
    return held;
}
