#pragma once

#include <QString>
#include <QtGlobal>

// A length of time for people, in its two largest units: "45 s", "4 min 12 s",
// "1 h 02 min", "3 d 4 h". Parts of a second are dropped; a negative length reads
// as none.
QString DurationText(qint64 milliseconds);
