#pragma once

#include <QString>

// The button sets and icons in use; the values are those the answers are known by.
enum class BoxStyle
{
    Ok = 0,
    OkExclamation = 48,
    YesNoQuestion = 36,
};

enum class BoxAnswer
{
    Ok = 1,
    Yes = 6,
    No = 7,
};

// Message boxes. A line of the text that starts with two blanks is a command to type:
// it is shown whole, on a line of its own, never broken.
// A question, and a notice (Ok), return when the user has answered.
// A warning (OkExclamation) returns Ok at once, the only answer it has, and stays
// open on its own: nobody being there to answer one must not stop the watch. An
// identical warning (same title and text) that is still open is not shown again.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer show(const QString &text, const QString &title, BoxStyle style) = 0;
};
