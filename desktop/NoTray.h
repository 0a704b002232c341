#pragma once

#include "Tray.h"

// The notification area of a machine without a desktop: there is none, so the
// window is never hidden into it and nothing is drawn.
class NoTray final : public Tray
{
public:
    bool isAvailable() const override { return false; }
    void add(const QIcon &, const QString &) override {}
    void setTip(const QString &) override {}
    void setIcon(const QIcon &) override {}
    void remove() override {}
    void showMessage(const QString &, const QString &) override {}
};
