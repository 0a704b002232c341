#pragma once

#include <QIODevice>

// A write-only device over a file descriptor that stays open after it, such as
// standard output. Each write goes straight to the descriptor, whole, and the first
// failure is kept: a full disk and a reader that has gone (a pipe closed while
// SIGPIPE is ignored) must be told apart, because only the first is worth a word.
class DescriptorDevice final : public QIODevice
{
public:
    explicit DescriptorDevice(int descriptor);

    // The errno of the first write that failed; 0 while none has.
    int failure() const { return m_failure; }
    bool readerGone() const;

protected:
    qint64 readData(char *data, qint64 maximumSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    const int m_descriptor;
    int m_failure = 0;
};
