#pragma once

#include <QString>

#include <optional>

// Whether a file may hand its contents to a program that runs as this user: it must
// belong to the user or to root, and nobody else may write it, as cron and sudo insist.
// Otherwise whoever may write it could run anything as this user. Says why not, or
// nothing when it may.
std::optional<QString> OwnershipRefusal(const QString &path);
