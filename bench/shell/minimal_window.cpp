// The smallest Qt Widgets program with one window: the baseline the footprint of
// Corvane is measured against.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(614, 559);
    window.show();
    return application.exec();
}
