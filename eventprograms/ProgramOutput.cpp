#include "ProgramOutput.h"

#include "ConsoleMatch.h"

QString ProgramOutputForLog(const QByteArray &output, bool cut)
{
    const QString text = QString::fromUtf8(output);
    QString lines = LogExcerpt(text, text.size());
    if (cut)
        lines += (lines.isEmpty() ? QString() : QStringLiteral("\r\n")) +
                 QStringLiteral("(output cut at 2 KB)");
    return lines;
}
