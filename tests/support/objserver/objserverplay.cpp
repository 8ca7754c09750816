// The scripted object server as a program of its own, for trying a client by hand:
//
//   objserverplay [port [reply-delay-ms]]
//
// Plays the debug target (the class "VantrelDebug"), a class "Sample.Person" whose
// objects answer %ClassName and the Attach dialog's "Vantrel.DebugTarget" with a
// process list of 300 rows, prints the connect string, then every call as it comes,
// until it is stopped (Ctrl+C). A reply delay plays a slow link.
#include "objserver.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool ok = true;
    const uint port = argc > 1 ? QString::fromLocal8Bit(argv[1]).toUInt(&ok) : 0;
    bool delayOk = true;
    const uint delayMs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toUInt(&delayOk) : 0;
    if (!ok || port > 65535 || !delayOk || delayMs > 60000) {
        std::fprintf(stderr, "usage: objserverplay [port [reply-delay-ms]]\n");
        return 2;
    }
    objserver::ObjServer server;
    server.playDebugTarget();
    server.on("Sample.Person", "%ClassName", [](const objserver::Call &) {
        return objserver::Reply::value("Sample.Person");
    });
    QList<QStringList> processes;
    for (int n = 0; n < 300; ++n)
        processes << QStringList{QString::number(4000 + n), QStringLiteral("^LOOP"), QStringLiteral("/dev/null"),
                                 QStringLiteral("127.0.0.1")};
    server.addClass(QStringLiteral("Vantrel.DebugTarget"));
    server.addResultSet(QStringLiteral("Vantrel.DebugTarget"), QStringLiteral("ProcessList"), processes);
    server.setReplyDelayMs(int(delayMs));
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
