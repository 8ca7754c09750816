#pragma once

// The Caché Objects factory interface, typed. Client code calls these members;
// underneath every factory is also a late-bound object whose members have the
// fixed numbers below, so a factory can be wrapped, replaced or faked by
// anything that answers those numbers.
//
//   auto factory = CacheObject::createFactory();        // "CacheObject.Factory"
//   if (factory->Connect("127.0.0.1:1972:USER")) {
//       DispatchPtr person = factory->OpenId("Sample.Person", "1");
//       QString name = toStringValue(person->call(QStringLiteral("Name")));
//       factory->Disconnect();
//   }
//
// Every member may throw ComError (the server's error, or the client's own).

#include "activation.h"

#include <QString>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>

namespace CacheObject {

// Identities of the real factory.
inline const QString FactoryClsid = QStringLiteral("{A98252EB-17D9-11D1-A181-0000F8773CDC}");
inline const QString FactoryIid = QStringLiteral("{A98252EA-17D9-11D1-A181-0000F8773CDC}");
inline const QString FactoryProgId = QStringLiteral("CacheObject.Factory");
inline const QString ActiveXProgId = QStringLiteral("CacheActiveX.Factory");

// Member numbers of the factory interface.
enum DispId : qint32 {
    DispConnect = 1, DispDisconnect, DispSetLogMask, DispNew, DispOpen, DispOpenEx,
    DispOpenId, DispStatic, DispConnectDlg, DispIsConnected, DispResultSet,
    DispGetClassName, DispGetID, DispGetErrorText, DispSetOutput, DispGetLastErrorCount,
    DispGetLastErrorNumber, DispGetLastErrorParamCount, DispGetLastErrorParam,
    DispDynamicSQL, DispTransactionStart, DispTransactionRollBack, DispTransactionCommit,
    DispTransactionLevel, DispSetCacheLog, DispGetConnectionList, DispIsMultibyte,
};
// The member's name for a number, "" for an unknown number; and back (0 when unknown).
QString memberName(qint32 dispId);
qint32 memberId(const QString &name);

using Optional = std::optional<QVariant>;
using ErrorParams = std::array<Optional, 10>;

class Factory
{
public:
    virtual ~Factory() = default;

    virtual bool Connect(const QString &connectString) = 0;
    virtual bool Disconnect() = 0;
    virtual void SetLogMask(qint32 logMask) = 0;
    virtual DispatchPtr New(const QString &className, const Optional &vtInit = {}) = 0;
    virtual DispatchPtr Open(const QString &className, const QString &oid, const Optional &concurency = {}) = 0;
    virtual DispatchPtr OpenEx(const QString &className, const QString &oid, const Optional &concurency = {}) = 0;
    virtual DispatchPtr OpenId(const QString &className, const QString &id, const Optional &concurency = {}) = 0;
    virtual DispatchPtr Static(const QString &className) = 0;
    // "" when the user cancels.
    virtual QString ConnectDlg(const Optional &title = {}) = 0;
    virtual bool IsConnected() = 0;
    virtual DispatchPtr ResultSet(const QString &className, const QString &queryName) = 0;
    virtual QString GetClassName(const QString &oid) = 0;
    virtual QString GetID(const QString &oid) = 0;
    virtual QString GetErrorText(qint32 errorCode, const ErrorParams &params = {}) = 0;
    virtual void SetOutput(const QVariant &out) = 0;
    virtual qint16 GetLastErrorCount() = 0;
    virtual qint32 GetLastErrorNumber(const Optional &errNo = {}) = 0;
    virtual qint16 GetLastErrorParamCount(const Optional &errNo = {}) = 0;
    virtual QString GetLastErrorParam(const Optional &errNo = {}, const Optional &paramNo = {}) = 0;
    virtual DispatchPtr DynamicSQL(const QString &statement) = 0;
    virtual void TransactionStart() = 0;
    virtual void TransactionRollBack() = 0;
    virtual void TransactionCommit() = 0;
    virtual qint16 TransactionLevel() = 0;
    virtual void SetCacheLog(qint32 value) = 0;
    virtual QString GetConnectionList() = 0;
    virtual bool IsMultibyte() = 0;
};

// Answers a late-bound call of member dispId on a typed factory: reads the
// arguments back into the typed call (a missing optional is absent, or the
// ParamNotFound marker), and returns its result as a value. Unknown numbers
// raise MemberNotFound, a wrong argument count BadParamCount.
QVariant invokeFactory(Factory &factory, qint32 dispId, QVariantList &args);

// A typed factory over any late-bound one: each member calls the target with
// its number, passing an optional argument only when present (GetErrorText: the
// leading run of present parameters; GetLastErrorParam: the ParamNotFound
// marker in place of a missing ErrNo when ParamNo is given), and converts the
// result by automation rules. Its own late-bound face calls its typed members,
// so a subclass that overrides a member is overridden for both.
class LateBoundFactory : public Factory, public IDispatchObject
{
public:
    explicit LateBoundFactory(DispatchPtr target);

    bool Connect(const QString &connectString) override;
    bool Disconnect() override;
    void SetLogMask(qint32 logMask) override;
    DispatchPtr New(const QString &className, const Optional &vtInit = {}) override;
    DispatchPtr Open(const QString &className, const QString &oid, const Optional &concurency = {}) override;
    DispatchPtr OpenEx(const QString &className, const QString &oid, const Optional &concurency = {}) override;
    DispatchPtr OpenId(const QString &className, const QString &id, const Optional &concurency = {}) override;
    DispatchPtr Static(const QString &className) override;
    QString ConnectDlg(const Optional &title = {}) override;
    bool IsConnected() override;
    DispatchPtr ResultSet(const QString &className, const QString &queryName) override;
    QString GetClassName(const QString &oid) override;
    QString GetID(const QString &oid) override;
    QString GetErrorText(qint32 errorCode, const ErrorParams &params = {}) override;
    void SetOutput(const QVariant &out) override;
    qint16 GetLastErrorCount() override;
    qint32 GetLastErrorNumber(const Optional &errNo = {}) override;
    qint16 GetLastErrorParamCount(const Optional &errNo = {}) override;
    QString GetLastErrorParam(const Optional &errNo = {}, const Optional &paramNo = {}) override;
    DispatchPtr DynamicSQL(const QString &statement) override;
    void TransactionStart() override;
    void TransactionRollBack() override;
    void TransactionCommit() override;
    qint16 TransactionLevel() override;
    void SetCacheLog(qint32 value) override;
    QString GetConnectionList() override;
    bool IsMultibyte() override;

    QVariant Invoke(qint32 dispId, QVariantList &args) override;
    QVariant InvokeByName(const QString &member, QVariantList &args) override;

protected:
    // For subclasses that create their target on first use (see target()).
    LateBoundFactory() = default;
    // The object every member calls; the default is the one given at construction.
    virtual IDispatchObject &target();
    // Calls member dispId of the target with these arguments. Every typed member
    // goes through here, so a factory that reaches its members another way (over
    // the wire, say) overrides this one call and keeps the argument rules.
    virtual QVariant forward(qint32 dispId, QVariantList args);

private:
    DispatchPtr m_target;
};

// Creates the factory registered under identity (a ProgID or CLSID) through the
// activation registry; an object that is not a typed factory itself is wrapped
// in a LateBoundFactory. Throws ComError when nothing is registered.
std::shared_ptr<Factory> createFactory(const QString &identity = FactoryProgId);

} // namespace CacheObject
