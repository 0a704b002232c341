#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QWidget;

// Runs a field's confirmation before the focus leaves it for another control of
// the same window, and keeps the focus in the field when the confirmation refuses.
//
// The confirmation has to run before the focus moves, not on FocusOut: a refusal
// must also stop the click that tried to take the focus (a refused field followed
// by a press on PING NOW must not ping), and focus that leaves for a message box,
// a menu or another program must not confirm at all. So the events that would
// move the focus inside the window are intercepted on their way in: a mouse press
// or wheel turn over a control that takes focus that way, Tab and Backtab, and a
// mnemonic. A refused confirmation eats the event.
class ConfirmOnLeave final : public QObject
{
public:
    // Runs with refuse false; setting it keeps the focus in field.
    using Handler = std::function<void(QWidget &field, bool &refuse)>;

    ConfirmOnLeave(QWidget &window, QList<QWidget *> fields, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *fieldHolding(const QWidget *widget) const;
    QWidget *focusTakerAt(QPoint position, Qt::FocusPolicy policy) const;
    QWidget *shortcutTarget(QWidget &receiver) const;
    // True when the focused field refuses to give up the focus to target.
    bool refusesMoveTo(const QWidget *target);
    bool refusesLeaving(QWidget &field);

    QWidget &m_window;
    QList<QWidget *> m_fields;
    Handler m_handler;
    bool m_confirming = false;
};
