#pragma once

#include <memory>

class Clock;
class HistorySource;
class MessageBoxes;
class QWidget;

// What the History window's module offers the program. The window needs Qt Charts
// and the libraries it pulls in, which a monitor nobody looks at should not map; so
// the window lives in a module that is opened the first time it is asked for, and
// the program reaches it only through this interface.
class HistoryWindowModule
{
public:
    virtual ~HistoryWindowModule() = default;

    // A new, hidden History window that reads source; the caller owns it, and the
    // module must stay loaded for as long as it lives.
    virtual std::unique_ptr<QWidget> makeWindow(HistorySource &source, const Clock &clock,
                                                MessageBoxes &boxes) const = 0;
    // Tells a window this module made that a cycle came in.
    virtual void cycleArrived(QWidget &window) const = 0;
};

// The one function the module exports, by this name: it returns the module's
// factory, which lives as long as the module is loaded.
inline constexpr char kHistoryWindowModuleEntry[] = "corvaneHistoryWindowModule";
using HistoryWindowModuleEntry = const HistoryWindowModule *(*)();
