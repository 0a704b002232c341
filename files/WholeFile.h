#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Puts content in place of the file at path, whole: it goes into a temporary file in
// the same folder, synced to the disk, which then takes the file's name, keeping the
// old file's permissions (QSaveFile does each of these steps). A reader sees the whole
// old file or the whole new one. A symbolic link is kept and the file it names is
// replaced; anything there that is not a regular file is refused. The folder must
// already exist. Returns why it failed; the old file is then left as it was.
std::optional<QString> WriteWholeFile(const QString &path, const QByteArray &content);
