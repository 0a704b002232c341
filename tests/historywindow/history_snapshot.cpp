#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "HistoryWindow.h"
#include "SimulatedHistory.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

// history_snapshot PICTURE.png: the History window over a simulated week of cycles
// once a minute, with outages, as a picture for the documentation.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: history_snapshot PICTURE.png\n", stderr);
        return 2;
    }
    const FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(16, 30)));
    const qint64 nowMs = clock.now().toMSecsSinceEpoch();
    SimulatedHistory history(nowMs, 7 * 86'400'000LL, 60'000, 9);
    FakeMessageBoxes boxes;
    HistoryWindow window(history, clock, boxes);
    window.resize(1000, 720);
    window.setSpan(HistorySpan::Week);
    window.show();
    window.activateWindow();
    int result = 0;
    QTimer::singleShot(500, [&] {
        if (!window.grab().save(QString::fromLocal8Bit(argv[1])))
            result = 1;
        application.quit();
    });
    application.exec();
    return result;
}
