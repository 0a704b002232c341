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

// Modal message boxes: returns when the user has answered.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer show(const QString &text, const QString &title, BoxStyle style) = 0;
};
