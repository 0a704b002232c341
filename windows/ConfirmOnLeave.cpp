#include "ConfirmOnLeave.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

namespace {

QWidget *FocusProxyEnd(QWidget *widget)
{
    while (widget && widget->focusProxy())
        widget = widget->focusProxy();
    return widget;
}

bool IsFocusMoveKey(const QKeyEvent &key)
{
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    return key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
}

} // namespace

ConfirmOnLeave::ConfirmOnLeave(QWidget &window, QList<QWidget *> fields, Handler handler)
    : QObject(&window), m_window(window), m_fields(std::move(fields)), m_handler(std::move(handler))
{
    // Mouse events reach the window's platform window before Qt hands the focus to
    // the control under the mouse; only an application filter sees them there.
    qApp->installEventFilter(this);
}

QWidget *ConfirmOnLeave::fieldHolding(const QWidget *widget) const
{
    for (QWidget *field : m_fields) {
        if (widget && (field == widget || field->isAncestorOf(widget)))
            return field;
    }
    return nullptr;
}

// The control that Qt will give the focus to for a press (or wheel turn) at
// position, found as Qt finds it: the nearest enabled control under the mouse,
// going outwards, whose focus policy accepts the way of taking the focus.
QWidget *ConfirmOnLeave::focusTakerAt(QPoint position, Qt::FocusPolicy policy) const
{
    for (QWidget *widget = m_window.childAt(position); widget && widget != &m_window;
         widget = widget->parentWidget()) {
        QWidget *taker = FocusProxyEnd(widget);
        if (widget->isEnabled() && (widget->focusPolicy() & policy) == policy &&
            (taker->focusPolicy() & policy) == policy)
            return taker;
        if (taker->hasFocus())
            return nullptr;
    }
    return nullptr;
}

QWidget *ConfirmOnLeave::shortcutTarget(QWidget &receiver) const
{
    if (auto *label = qobject_cast<QLabel *>(&receiver))
        return FocusProxyEnd(label->buddy());
    if (qobject_cast<QAbstractButton *>(&receiver))
        return FocusProxyEnd(&receiver);
    return nullptr;
}

bool ConfirmOnLeave::refusesMoveTo(const QWidget *target)
{
    QWidget *field = fieldHolding(m_window.focusWidget());
    if (!field || !target || fieldHolding(target) == field)
        return false;
    return refusesLeaving(*field);
}

bool ConfirmOnLeave::refusesLeaving(QWidget &field)
{
    if (m_confirming)
        return false;
    bool refuse = false;
    m_confirming = true;
    m_handler(field, refuse);
    m_confirming = false;
    if (refuse)
        field.setFocus(Qt::OtherFocusReason);
    return refuse;
}

bool ConfirmOnLeave::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (watched != m_window.windowHandle())
            return false;
        return refusesMoveTo(
            focusTakerAt(static_cast<QMouseEvent *>(event)->position().toPoint(), Qt::ClickFocus));
    case QEvent::Wheel:
        if (watched != m_window.windowHandle())
            return false;
        return refusesMoveTo(
            focusTakerAt(static_cast<QWheelEvent *>(event)->position().toPoint(), Qt::WheelFocus));
    case QEvent::KeyPress: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != &m_window ||
            !IsFocusMoveKey(*static_cast<QKeyEvent *>(event)))
            return false;
        QWidget *field = fieldHolding(widget);
        return field && field == fieldHolding(m_window.focusWidget()) && refusesLeaving(*field);
    }
    case QEvent::Shortcut: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != &m_window)
            return false;
        return refusesMoveTo(shortcutTarget(*widget));
    }
    default:
        return false;
    }
}
