#pragma once

#include <QObject>

// Tells that the machine is about to sleep (true) or has just woken up (false), sooner
// than the clocks can. One that never tells leaves the clocks alone to notice a resume.
class SleepSignal : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void sleepNotice(bool sleeping);
};
