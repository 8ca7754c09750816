#pragma once

// VantrelCO: lets a Caché Objects client program have its server-side code
// debugged. The program creates "VantrelCO.DebugFactory" where it created
// "CacheObject.Factory" (the same interface; every call is passed on to a real
// factory), or keeps its own factory and hands it to a "VantrelCO.Debug". Either
// way a server object of the class "VantrelDebug" is asked to enable a debug
// session for this client's address, and the server process then reports to
// Vantrel on this machine through its Sentry.

#include "activation.h"

#include <QLoggingCategory>
#include <QString>

#define VANTRELCO_EXPORT __attribute__((visibility("default")))

namespace VantrelCO {

inline const QString LibraryId = QStringLiteral("{529AA8C7-B2C3-11D2-9684-444553540000}");
inline const QString DebugFactoryClsid = QStringLiteral("{E597DE46-B395-11D2-9684-444553540000}");
inline const QString DebugFactoryIid = QStringLiteral("{83B3110A-EEA9-11D2-9684-0020AFFA453F}");
inline const QString DebugFactoryProgId = QStringLiteral("VantrelCO.DebugFactory");
inline const QString DebugClsid = QStringLiteral("{D847A263-EE85-11D2-9684-0020AFFA453F}");
inline const QString DebugIid = QStringLiteral("{83B3110B-EEA9-11D2-9684-0020AFFA453F}");
inline const QString DebugProgId = QStringLiteral("VantrelCO.Debug");

// The source of the errors this library raises itself.
inline const QString ErrorSource = QStringLiteral("VantrelCO.COFactory");
constexpr std::uint32_t ClientIpUnknown = VantrelError::Base + 512;      // 0x80040200
constexpr std::uint32_t DebugObjectRefused = VantrelError::Base + 513;   // 0x80040201

// The server class and its members, called by name.
inline const QString ServerDebugClass = QStringLiteral("VantrelDebug");

// Registers DebugFactory and Debug with the activation registry.
VANTRELCO_EXPORT void registerClasses();

// Disables and closes a held server debug object and drops it, in that order.
// The object is dropped whatever Disable or sys_Close do; sys_Close is tried even
// after Disable failed; the first error is raised afterwards.
void releaseServerDebug(DispatchPtr &serverDebug);

// A description for any error caught at this library's edges.
QString describe(const std::exception &error);

} // namespace VantrelCO

Q_DECLARE_LOGGING_CATEGORY(lcVantrelCO)

// Stands for the library's self-registration: a program that loads VantrelCO by
// file name (QLibrary) resolves and calls this.
extern "C" VANTRELCO_EXPORT void VantrelCO_registerClasses();
