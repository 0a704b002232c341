#include "MainWindow.h"
#include "WindowIcon.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

// window_snapshot WINDOW.png ICON.png: the freshly made window in its normal state
// and the program's icon, as pictures.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: window_snapshot WINDOW.png ICON.png\n", stderr);
        return 2;
    }
    const QString logPath = QDir::homePath() + QStringLiteral("/.local/share/Corvane/log.txt");
    MainWindow window(logPath);
    window.show();
    window.activateWindow();
    int result = 0;
    QTimer::singleShot(500, [&] {
        if (!window.grab().save(QString::fromLocal8Bit(argv[1])) ||
            !WindowIcon().pixmap(32, 32).save(QString::fromLocal8Bit(argv[2])))
            result = 1;
        application.quit();
    });
    application.exec();
    return result;
}
