#pragma once

#include "Options.h"

#include <QString>

#include <optional>
#include <span>
#include <variant>

// The Options window's tabs, in their order.
enum class OptionPage
{
    LineWatch,
    EventPrograms,
    Desktop,
    LineQuality,
    Power,
};

// The member a key sets, and by its type how the key is read: a whole number or a
// factor within the row's range, a switch as 0 or 1, a text through the row's check.
using OptionMember =
    std::variant<qint32 Options::*, double Options::*, bool Options::*, QString Options::*>;

// One key of the [Options] section, and all that start-up, --check, the Options window
// and the checks of the documentation know of it, so that none of them can tell a
// range, a default or a refusal of its own. A key added later is one more row.
struct OptionRow
{
    OptionKey key;
    const char *name;
    OptionMember member;
    // As it is stored: what a file without the key runs with.
    const char *byDefault;
    // Whole numbers and factors: the bounds, both accepted.
    double lowest = 0;
    double highest = 0;
    // Whole numbers and factors: the refusal, with %1 and %2 where the bounds go.
    const char *refusal = "";
    // Texts: the check, which says why it refuses; none takes any text.
    std::optional<QString> (*textCheck)(const QString &text) = nullptr;

    // The window: the tab, the label, the unit beside the field (empty: none), and the
    // tooltip without its last full stop, to which the range is added.
    OptionPage page = OptionPage::LineWatch;
    const char *label = "";
    const char *unit = "";
    const char *tip = "";
    // What the default does, for the tooltip ("no limit"); empty: nothing to add.
    const char *defaultMeans = "";
    // What runs in place of a refused text whose default is empty; a default that is
    // not empty is named instead.
    const char *fallback = "";
};

// Every row, in the order of OptionKey.
std::span<const OptionRow> OptionRows();
const OptionRow &OptionRowOf(OptionKey key);

// "0 to 86400" for a whole number or a factor, "0 or 1" for a switch, empty for a text.
QString OptionRange(const OptionRow &row);
// The refusal of a whole number or a factor, with the row's bounds in it.
QString OptionRangeRefusal(const OptionRow &row);
// The tooltip with what the values mean: "... (0 to 1000; 0: no limit)."
QString OptionTip(const OptionRow &row);

// The start-up report's line on a stored text the row refuses, which --check prints
// too: "Key=text: why. What runs instead."
QString RefusedOptionLine(const OptionRow &row, const QString &text, const QString &refusal);
