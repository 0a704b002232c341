#include "BusyPointer.h"

#include <QCursor>
#include <QGuiApplication>

void QtBusyPointer::setBusy(bool busy)
{
    // A program without a GUI application (a test, a tool) has no pointer to change.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}
