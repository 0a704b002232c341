#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    // Without any display Corvane still watches the line, as a headless monitor.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Corvane"));
    window.show();
    return application.exec();
}
