#include "FakeMessageBoxes.h"
#include "IniSettingsStore.h"
#include "OptionsWindow.h"
#include "Settings.h"
#include "XdgAutostart.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

// options_snapshot PICTURE.png: the Options window with its defaults and a metrics
// file, as a picture for the documentation.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: options_snapshot PICTURE.png\n", stderr);
        return 2;
    }
    const QTemporaryDir folder;
    IniSettingsStore store(folder.path());
    FakeMessageBoxes boxes;
    Settings settings(store, boxes);
    Options options;
    options.metricsFile = QStringLiteral("/var/lib/prometheus/node-exporter/corvane.prom");
    XdgAutostart loginStart(folder.path(), {QStringLiteral("/usr/bin/corvane")});
    const QWidget over;
    OptionsWindow window(
        options, settings, boxes, [] { return QByteArray(); }, over, &loginStart);
    window.ShowOptions();
    int result = 0;
    QTimer::singleShot(500, [&] {
        if (!window.grab().save(QString::fromLocal8Bit(argv[1])))
            result = 1;
        application.quit();
    });
    application.exec();
    return result;
}
