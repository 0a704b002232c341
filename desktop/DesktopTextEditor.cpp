#include "DesktopTextEditor.h"

#include <QProcess>

DesktopTextEditor::DesktopTextEditor(QString opener) : m_opener(std::move(opener)) {}

Outcome DesktopTextEditor::open(const QString &path)
{
    // A name that begins with a dash would be read as an option by the opener.
    const QString argument = path.startsWith(u'-') ? QStringLiteral("./") + path : path;
    QProcess process;
    process.setProgram(m_opener);
    process.setArguments({argument});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return Outcome::failure(QStringLiteral("Cannot start the text editor (%1): %2")
                                    .arg(m_opener, process.errorString()));
    return Outcome::success();
}
