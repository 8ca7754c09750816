// The scripted object server as a program of its own, for trying a client by hand:
//
//   objserverplay [port]
//
// Plays the debug target (the class "VantrelDebug") and a class "Sample.Person" whose
// objects answer %ClassName, prints the connect string, then every call as it comes,
// until it is stopped (Ctrl+C).
#include "objserver.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool ok = true;
    const uint port = argc > 1 ? QString::fromLocal8Bit(argv[1]).toUInt(&ok) : 0;
    if (!ok || port > 65535) {
        std::fprintf(stderr, "usage: objserverplay [port]\n");
        return 2;
    }
    objserver::ObjServer server;
    server.playDebugTarget();
    server.on("Sample.Person", "%ClassName", [](const objserver::Call &) {
        return objserver::Reply::value("Sample.Person");
    });
    if (!server.start(quint16(port))) {
        std::fprintf(stderr, "objserverplay: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("listening; connect string %s\n", qPrintable(server.connectString()));
    std::fflush(stdout);

    int shown = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QStringList log = server.log();
        for (; shown < log.size(); ++shown)
            std::printf("%s\n", qPrintable(log.at(shown)));
        std::fflush(stdout);
    });
    poll.start(50);
    return app.exec();
}
