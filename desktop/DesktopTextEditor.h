#pragma once

#include "TextFile.h"

// Opens a file in the desktop's default application for plain text through the
// opener program (xdg-open unless told otherwise). The path reaches the opener as
// one argument, never through a shell, so blanks and shell characters in it are
// just part of the name.
class DesktopTextEditor final : public TextEditor
{
public:
    explicit DesktopTextEditor(QString opener = QStringLiteral("xdg-open"));
    Outcome open(const QString &path) override;

private:
    QString m_opener;
};
