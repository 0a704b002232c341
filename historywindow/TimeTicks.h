#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// A labelled mark on the time axis.
struct TimeTick
{
    qint64 atMs = 0;
    QString label;
};

// Marks on round times inside fromMs to toMs, in the local time zone: whole
// minutes, hours, midnights or the first of a month, as far apart as keeps them to
// a handful. Labels never repeat.
QList<TimeTick> RoundTimeTicks(qint64 fromMs, qint64 toMs);
