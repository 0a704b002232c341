#include "HistoryStorePath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// The folder as one path, whatever links or dots lead to it.
QString FolderIdentity(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

QString HistoryStorePath(const QString &settingsFolder)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Corvane/");
    const QString folder = FolderIdentity(settingsFolder);
    if (settingsFolder.isEmpty() || folder == FolderIdentity(QStandardPaths::writableLocation(
                                                  QStandardPaths::GenericConfigLocation)))
        return data + kHistoryFileName;
    static const QRegularExpression kUnsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString name = QFileInfo(folder).fileName().left(40).replace(kUnsafe, QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("settings"));
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha256).toHex();
    return data + QStringLiteral("instances/%1-%2/").arg(name, QString::fromLatin1(hash.left(8))) +
           kHistoryFileName;
}
