#pragma once

#include <QtGlobal>

// Bytes the heap has handed out and not yet taken back, from the allocator in use
// (the sanitizer's own when the build has one).
qint64 HeapBytesInUse();
// The process's resident set, in bytes.
qint64 ResidentBytes();
