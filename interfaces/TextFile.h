#pragma once

#include "Outcome.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A text file opened for appending. Lines end in CR LF on every platform so that
// a log carried between systems reads the same. Text is written in the locale's
// encoding; bytes that came from elsewhere can go in unchanged.
class AppendFile
{
public:
    virtual ~AppendFile() = default;
    // Whether the file, as it was when opened, ends inside a line: it is not empty
    // and its last byte is not a line feed.
    virtual bool endsMidLine() const = 0;
    virtual Outcome writeLine(const QString &text) = 0;
    virtual Outcome write(const QString &text) = 0;
    virtual Outcome writeBytes(const QByteArray &bytes) = 0;
    virtual Outcome close() = 0;
};

class TextFiles
{
public:
    virtual ~TextFiles() = default;
    // Opens path for appending, creating it when missing. On failure returns
    // nullptr and sets outcome to the failure.
    virtual std::unique_ptr<AppendFile> openForAppend(const QString &path, Outcome &outcome) = 0;
};

// Opens a file in the desktop's editor for plain text, without waiting for it.
class TextEditor
{
public:
    virtual ~TextEditor() = default;
    virtual Outcome open(const QString &path) = 0;
};
