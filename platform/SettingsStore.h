#pragma once

#include "Outcome.h"

#include <QString>

#include <optional>

// A per-user store of text values named by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    // The stored text, or nothing when the key is missing or cannot be read.
    virtual std::optional<QString> read(const QString &application, const QString &section,
                                        const QString &key) = 0;
    // Returns only after the value has reached the disk, or failed to.
    virtual Outcome write(const QString &application, const QString &section, const QString &key,
                          const QString &value) = 0;
    virtual Outcome remove(const QString &application, const QString &section,
                           const QString &key) = 0;
};
