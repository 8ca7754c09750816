#include <QApplication>
#include <QHostAddress>
#include <QMainWindow>
#include <QTcpServer>
#include <QTimer>

// The yardstick of the start-up benchmark: a plain Qt main window that, once shown,
// listens on the port given as its argument, as Vantrel listens for its server; it ends
// when its first connection comes (the benchmark's probe).
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUShort()) : 0;
    QMainWindow window;
    QTcpServer listener;
    QObject::connect(&listener, &QTcpServer::newConnection, &app, &QCoreApplication::quit);
    window.show();
    QTimer::singleShot(0, &app, [&] {
        if (!listener.listen(QHostAddress::LocalHost, port))
            QCoreApplication::exit(1);
    });
    return app.exec();
}
