#pragma once

#include <QWidget>

// Shows a window in its normal state, in front of the others, wherever it was: the
// minimised state is cleared first, since show() alone leaves a minimised window
// where it was tucked away.
inline void ShowInFront(QWidget &window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}
