#pragma once

// The debugging factory: the Caché Objects factory interface, each member passed
// on to a real factory (created by class identity at the first call of any member
// and kept as long as this object). Connect also enables a debug session on the
// server; Disconnect ends it.
//
// Connect's outcomes: False (nothing created on the server); True without
// debugging (the server has no "VantrelDebug" class; logged); True with
// debugging; or the error 0x80040200 (no client address) or 0x80040201 (the
// server refused to enable), source "VantrelCO.COFactory", raised while the
// connection stays up. After such an error a client must still call Disconnect.
// When creating "VantrelDebug" failed and the real factory is no longer connected
// afterwards (it dropped a connection it could not trust), that failure is raised
// as it came instead of True.
//
// Disconnect disables and closes the server debug object, then disconnects the
// real factory, always both; an error of the first part is raised after the
// second. The destructor only releases the server debug object (never raising)
// and does not disconnect.

#include "cachefactory.h"
#include "vantrelco.h"

class VANTRELCO_EXPORT DebugFactory : public CacheObject::LateBoundFactory
{
public:
    DebugFactory();
    ~DebugFactory() override;

    bool Connect(const QString &connectString) override;
    bool Disconnect() override;

    // The server debug object held since a successful Connect (nullptr if none).
    DispatchPtr serverDebug() const { return m_serverDebug; }

protected:
    IDispatchObject &target() override;

private:
    void ReleaseServerDebug();
    // The real factory's own IsConnected; False when even that fails.
    bool stillConnected();

    DispatchPtr m_realFactory;   // created on first use, lives as long as this object
    DispatchPtr m_serverDebug;   // "VantrelDebug" on the server while debugging is enabled
};
