#include "Pause.h"

#include <QThread>

void ThreadPause::pauseMs(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}
