#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a crash: aborting makes libFuzzer keep the
// input. The message names the property, which the stack alone seldom tells.
inline void RequireProperty(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "Property broken: %s\n", property);
    std::abort();
}

// The input read as UTF-8 text, the way the seeds are written; malformed sequences
// become replacement characters, which the code under test must cope with too.
inline QString FuzzText(const std::uint8_t *data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}
