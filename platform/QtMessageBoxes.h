#pragma once

#include "MessageBoxes.h"

#include <cstdio>

// Message boxes on the desktop.
class QtMessageBoxes final : public MessageBoxes
{
public:
    BoxAnswer show(const QString &text, const QString &title, BoxStyle style) override;
};

// Message boxes where nobody can answer them: each box becomes one line
// "<title>: <text>" on the stream and is answered with its default button, OK or
// Yes, so that nothing waits for a click that cannot come.
class HeadlessMessageBoxes final : public MessageBoxes
{
public:
    explicit HeadlessMessageBoxes(std::FILE *stream = stderr) : m_stream(stream) {}

    BoxAnswer show(const QString &text, const QString &title, BoxStyle style) override;

private:
    std::FILE *m_stream;
};
