#pragma once

#include <QString>
#include <QStringList>

// A command line split into its program and arguments by the shell's quoting rules:
// blanks separate words; 'single quotes' keep everything; "double quotes" keep
// everything but a backslash before " \ $ or `; a backslash outside quotes keeps the
// next character. No shell ever runs it, so what only a shell would do (a pipe, a
// redirection, a variable, a command's output, a list) is refused rather than passed
// on as a surprising argument.
struct CommandWords
{
    QStringList words;
    // Why the text was refused; empty when it was split.
    QString refusal;
};

CommandWords SplitCommandWords(const QString &text);
