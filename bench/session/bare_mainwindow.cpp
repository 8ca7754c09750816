#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

// The yardstick of the start-up benchmark: a plain Qt main window, shown, then gone.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    QTimer::singleShot(0, &app, [] {
        std::puts("shown");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}
