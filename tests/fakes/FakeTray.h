#pragma once

#include "Tray.h"

#include <QStringList>

// A notification area that records what the window asks of it; clicks on the icon
// are simulated by calling onActivated and onContextRequested.
class FakeTray final : public Tray
{
public:
    bool isAvailable() const override { return available; }
    void add(const QIcon &icon, const QString &tip) override
    {
        shown = true;
        this->icon = icon;
        this->tip = tip;
    }
    void setTip(const QString &tip) override { this->tip = tip; }
    void setIcon(const QIcon &icon) override { this->icon = icon; }
    void remove() override { shown = false; }
    void showMessage(const QString &title, const QString &text) override
    {
        messages.append(title + QStringLiteral(": ") + text);
    }

    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;
    // Each notification as "title: text".
    QStringList messages;
};
