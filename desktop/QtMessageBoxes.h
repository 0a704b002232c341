#pragma once

#include "MessageBoxes.h"

#include <QList>
#include <QPointer>

#include <cstdio>

class QMessageBox;
class QWidget;

// Message boxes on the desktop. Questions and notices run their own event loop
// until answered; warnings are opened and left to the user, without any loop.
class QtMessageBoxes final : public MessageBoxes
{
public:
    QtMessageBoxes() = default;
    ~QtMessageBoxes() override;
    QtMessageBoxes(const QtMessageBoxes &) = delete;
    QtMessageBoxes &operator=(const QtMessageBoxes &) = delete;

    // A box belongs to the program's window the user works in, where one is active
    // (the Options window, say, whose field it speaks of), else to window: centred on
    // it, in front of it, and a warning keeps the user out of it until it is closed,
    // then hands it back the keyboard.
    void setWindow(QWidget *window) { m_window = window; }

    BoxAnswer show(const QString &text, const QString &title, BoxStyle style) override;

private:
    QWidget *Owner() const;
    void OpenWarning(const QString &text, const QString &title);

    QPointer<QWidget> m_window;
    QList<QPointer<QMessageBox>> m_openWarnings;
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
