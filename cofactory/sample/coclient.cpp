// A Caché Objects client program that has its server-side code debugged: the only
// difference from the same program without debugging is the factory's name.
//
//   coclient host:port[:namespace] [class id]
//
// Connects, opens the object if one is named and prints its class, disconnects.
// It needs no Qt application object, like any plain client program.

#include "cachefactory.h"
#include "clientfactory.h"
#include "vantrelco.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: coclient host:port[:namespace] [class id]\n");
        return 2;
    }
    CacheObject::registerClasses();
    VantrelCO_registerClasses();

    // Was: CacheObject::createFactory("CacheObject.Factory");
    const QString factoryName = QStringLiteral("VantrelCO.DebugFactory");

    try {
        const auto factory = CacheObject::createFactory(factoryName);
        if (!factory->Connect(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "coclient: the server refused the connection\n");
            return 1;
        }
        std::printf("connected\n");
        if (argc >= 4) {
            const DispatchPtr object = factory->OpenId(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
            std::printf("opened %s\n", qPrintable(toStringValue(object->call(QStringLiteral("%ClassName")))));
        }
        factory->Disconnect();
        std::printf("disconnected\n");
        return 0;
    } catch (const ComError &error) {
        std::fprintf(stderr, "coclient: error %d from %s: %s\n", error.hresult(), qPrintable(error.source()),
                     qPrintable(error.description()));
        return 1;
    }
}
