#pragma once

// Debugging for a client program that keeps its own factory: Connect(factory)
// creates the server's "VantrelDebug" object through it (the factory itself is
// not kept) and enables a session; Disable and Enable switch it off and on again
// any number of times on the same object.
//
// Failures come back as False with the text in LastError, never raised, with one
// exception: Disable raises when both the server's Disable2 and the older
// Disable fail. The newer Enable2/Disable2 are tried first; the older calls are
// used when they raise (a server without them). The client address is read from
// the server afresh for each Enable.
//
// Connect releases an earlier server object first and drops it even when that
// fails; such a Connect returns False with the release error in LastError, and
// the next Connect starts clean. The destructor never raises.

#include "vantrelco.h"

class VANTRELCO_EXPORT Debug : public IDispatchObject
{
public:
    static constexpr qint32 DispLastError = 0x6803000A;
    static constexpr qint32 DispConnect = 0x6003000B;
    static constexpr qint32 DispEnable = 0x6003000C;
    static constexpr qint32 DispDisable = 0x6003000D;

    static inline const QString NoFactoryText = QStringLiteral("No Factory yet supplied to Connect");
    static inline const QString NotEnabledText = QStringLiteral("Vantrel Debugger session could not be enabled");

    Debug();
    ~Debug() override;

    const QString &LastError() const { return m_lastError; }
    bool Connect(IDispatchObject &factory);
    bool Enable();
    bool Disable();

    QVariant Invoke(qint32 dispId, QVariantList &args) override;
    QVariant InvokeByName(const QString &member, QVariantList &args) override;

private:
    void ReleaseServerDebug();

    DispatchPtr m_serverDebug;   // "VantrelDebug" on the server, from the last Connect
    QString m_lastError;         // the text of the last call's failure, "" after a success
};
