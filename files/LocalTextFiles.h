#pragma once

#include "TextFile.h"

// Text files on the local file system. Text is written in the locale's encoding
// (QString::toLocal8Bit, UTF-8 on every current system), lines end in CR LF.
//
// Only a regular file, or a symbolic link to one, is opened; the open never waits,
// so a FIFO or a device named as the file is refused at once.
//
// The file is opened with O_APPEND and everything written between open and close
// goes to it in one write(2) at close(): an entry is appended whole or not at all,
// and it cannot be interleaved with another program appending to the same file.
// A file dropped without close() writes nothing.
class LocalTextFiles final : public TextFiles
{
public:
    std::unique_ptr<AppendFile> openForAppend(const QString &path, Outcome &outcome) override;
};
