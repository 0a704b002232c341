#include "WholeFile.h"

#include <QSaveFile>

std::optional<QString> WriteWholeFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    // Unbuffered: a failed buffered write only shows while commit() flushes, and Qt 6.4
    // then puts the cut-short file in place all the same.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(content) != content.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}
