#include "ProgramOutput.h"

#include "ConsoleMatch.h"

QString ProgramOutputForLog(const QByteArray &output, bool cut)
{
    const QString text = QString::fromUtf8(output);
    QString lines = LogExcerpt(text, text.size());
    if (cut)
        lines += QStringLiteral("\r\n(output cut at 2 KB)");
    return lines;
}
