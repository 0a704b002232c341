#pragma once

#include "WatchEvents.h"

#include <QIcon>
#include <QLibrary>
#include <QString>

#include <memory>

class Clock;
class HistorySource;
class HistoryWindowModule;
class MessageBoxes;
class QWidget;

// The History window as the program offers it: its module opened and the window
// made on first use, so that a monitor nobody looks at maps neither, and told of
// every cycle from then on.
class HistoryWindowEntry final : public WatchEvents
{
public:
    HistoryWindowEntry(HistorySource &source, const Clock &clock, MessageBoxes &boxes, QIcon icon,
                       QString modulePath = defaultModulePath());
    ~HistoryWindowEntry() override;
    HistoryWindowEntry(const HistoryWindowEntry &) = delete;
    HistoryWindowEntry &operator=(const HistoryWindowEntry &) = delete;

    // Beside the program when it runs from the build tree, else in the program's
    // own folder under the libraries' folder it is installed with.
    static QString defaultModulePath();
    // Where the module is opened from; takes effect at the next first use.
    void setModulePath(const QString &path) { m_modulePath = path; }

    // Shows the window in front, making it the first time. When the module cannot
    // be opened, warns and returns null; the next use tries again.
    QWidget *open();
    // Null until first opened.
    QWidget *window() const { return m_window.get(); }

    void cycleDone(const CycleReport &report) override;

private:
    const HistoryWindowModule *LoadModule();

    HistorySource &m_source;
    const Clock &m_clock;
    MessageBoxes &m_boxes;
    const QIcon m_icon;
    QString m_modulePath;
    // Never unloaded: the window's code lives in it.
    QLibrary m_library;
    const HistoryWindowModule *m_module = nullptr;
    std::unique_ptr<QWidget> m_window;
};
