#pragma once

#include <QString>

inline const QString kHistoryFileName = QStringLiteral("history.sqlite");

// The store of the monitor whose settings are in settingsFolder: one history per
// settings folder, so that two monitors never mix their lines. The default folder
// (empty, or $XDG_CONFIG_HOME itself) keeps $XDG_DATA_HOME/Corvane/history.sqlite;
// any other has $XDG_DATA_HOME/Corvane/instances/NAME-HASH/history.sqlite, named from
// the folder's last part and a hash of its whole path. The data folder, not the
// settings folder: a service's settings may be read-only under /etc.
QString HistoryStorePath(const QString &settingsFolder);
