#include "vantrelco.h"

#include "debug.h"
#include "debugfactory.h"

Q_LOGGING_CATEGORY(lcVantrelCO, "vantrel.co")

namespace VantrelCO {

void registerClasses()
{
    ObjectRegistry::registerClass(DebugFactoryClsid, DebugFactoryProgId, [] { return std::make_shared<DebugFactory>(); });
    ObjectRegistry::registerClass(DebugClsid, DebugProgId, [] { return std::make_shared<Debug>(); });
}

QString describe(const std::exception &error)
{
    // A ComError's description is its VantrelError text.
    if (const auto *vantrel = dynamic_cast<const VantrelError *>(&error))
        return vantrel->text();
    return QString::fromUtf8(error.what());
}

void releaseServerDebug(DispatchPtr &serverDebug)
{
    if (!serverDebug)
        return;
    // Dropped first: whatever the server says, this object is done with it, and a
    // later Connect or Disconnect must not trip over it again.
    const DispatchPtr object = std::move(serverDebug);   // leaves serverDebug empty
    std::exception_ptr firstError;
    try {
        object->call(QStringLiteral("Disable"));
    } catch (...) {
        firstError = std::current_exception();
    }
    try {
        object->call(QStringLiteral("sys_Close"));
    } catch (...) {
        if (!firstError)
            firstError = std::current_exception();
    }
    if (firstError)
        std::rethrow_exception(firstError);
}

} // namespace VantrelCO

extern "C" void VantrelCO_registerClasses()
{
    VantrelCO::registerClasses();
}
