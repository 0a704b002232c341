#pragma once

#include "MessageBoxes.h"

#include <QList>
#include <QString>

// Records every box and answers from a script; without a script it answers as a
// user pressing the default button would.
class FakeMessageBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        QString title;
        BoxStyle style;
    };

    BoxAnswer show(const QString &text, const QString &title, BoxStyle style) override
    {
        shown.append({text, title, style});
        if (onShow)
            onShow();
        if (!answers.isEmpty())
            return answers.takeFirst();
        return style == BoxStyle::YesNoQuestion ? BoxAnswer::Yes : BoxAnswer::Ok;
    }

    QList<Shown> shown;
    QList<BoxAnswer> answers;
    // Runs while the box is "open", to check what happens meanwhile.
    std::function<void()> onShow;
};
