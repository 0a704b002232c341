#pragma once

#include "Outcome.h"

#include <QString>
#include <QStringList>

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
    // Whether the section holds any key at all, so that a store whose "Init" is missing
    // can still be told from a store never written. One that cannot tell says no.
    virtual bool hasKeys(const QString & /*application*/, const QString & /*section*/)
    {
        return false;
    }
    // The keys of the section, each once, in the order they first appear; for naming
    // the keys nothing reads. One that cannot tell has none.
    virtual QStringList keys(const QString & /*application*/, const QString & /*section*/)
    {
        return {};
    }
    // One line for the event log naming the lines of the application's settings that
    // are not settings and were skipped, or empty text. A store that is not a file
    // written by hand has none.
    virtual QString skippedLinesReport(const QString & /*application*/) const { return {}; }
    // Whether the application's settings can be read at all; a missing store can.
    virtual Outcome readable(const QString & /*application*/) { return Outcome::success(); }
};
