#include "MemoryUsage.h"

#include <QFile>

#include <cstddef>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef CORVANE_ADDRESS_SANITIZER
// The sanitizer's public allocator interface; GCC ships the library without its header.
extern "C" size_t __sanitizer_get_current_allocated_bytes();

qint64 HeapBytesInUse()
{
    return qint64(__sanitizer_get_current_allocated_bytes());
}
#else
#include <malloc.h>

qint64 HeapBytesInUse()
{
    // Large blocks are mapped apart from the arenas and counted separately.
    const struct mallinfo2 usage = mallinfo2();
    return qint64(usage.uordblks) + qint64(usage.hblkhd);
}
#endif

qint64 ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    // Total size, then resident size, in pages.
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE);
}
