#pragma once

// Object activation: objects created by class identity (a CLSID text such as
// "{A98252EB-17D9-11D1-A181-0000F8773CDC}") or by program identifier
// ("CacheObject.Factory"), and called late-bound, by member number or name.
//
//   ObjectRegistry::registerClass(clsid, "My.Thing", [] { return std::make_shared<Thing>(); });
//   DispatchPtr thing = ObjectRegistry::createObject("My.Thing");  // throws ComError
//   QVariantList args{QStringLiteral("x")};
//   QVariant result = thing->InvokeByName(QStringLiteral("Greet"), args);
//   DispatchPtr child = objectFrom(result);                         // nullptr if not an object
//
// Values are QVariants. Besides plain values there are three markers: an object
// (objectValue/objectFrom), Null (nullValue) and the "parameter not found" error
// value that stands for a skipped optional argument (paramNotFound).
//
// This library is shared (one registry per process, and one ComError type that
// a client program can catch whichever library threw it).

#include "vantrelerror.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>

#define VANTREL_ACTIVATION_EXPORT __attribute__((visibility("default")))

// Numbers of the standard dispatch errors this layer raises or passes on.
namespace DispError {
constexpr std::uint32_t MemberNotFound = 0x80020003u;   // no such member
constexpr std::uint32_t ParamNotFound  = 0x80020004u;   // the marker of a skipped argument
constexpr std::uint32_t TypeMismatch   = 0x80020005u;   // a value that cannot be converted
constexpr std::uint32_t BadParamCount  = 0x8002000Eu;   // wrong number of arguments
constexpr std::uint32_t Overflow       = 0x8002000Au;   // out of range for the result type
constexpr std::uint32_t ClassNotRegistered = 0x80040154u;
}

// A numbered error with the name of the component that raised it (source) and
// its description. The description is VantrelError's text.
class VANTREL_ACTIVATION_EXPORT ComError : public VantrelError
{
public:
    ComError(std::uint32_t number, QString source, QString description);
    ~ComError() override;

    const QString &source() const { return m_source; }
    const QString &description() const { return text(); }
    // The number as the signed 32-bit value clients compare with (-2147220992 ...).
    std::int32_t hresult() const { return static_cast<std::int32_t>(number()); }

private:
    QString m_source;
};

// A late-bound object. Either call may throw ComError; a member the object does
// not have raises DispError::MemberNotFound (the default of both). The argument
// list is by reference so that a callee may write back by-reference arguments;
// nobody relies on that today.
// Threading: an object is called from the thread that created it.
class VANTREL_ACTIVATION_EXPORT IDispatchObject
{
public:
    virtual ~IDispatchObject();
    virtual QVariant Invoke(qint32 dispId, QVariantList &args);
    virtual QVariant InvokeByName(const QString &member, QVariantList &args);

    // Conveniences for callers that do not need write-back.
    QVariant call(qint32 dispId, QVariantList args = {}) { return Invoke(dispId, args); }
    QVariant call(const QString &member, QVariantList args = {}) { return InvokeByName(member, args); }
};
using DispatchPtr = std::shared_ptr<IDispatchObject>;

// --- values -------------------------------------------------------------------
VANTREL_ACTIVATION_EXPORT QVariant objectValue(const DispatchPtr &object);
// The object a value holds; nullptr for Null, an empty value or a non-object.
VANTREL_ACTIVATION_EXPORT DispatchPtr objectFrom(const QVariant &value);
VANTREL_ACTIVATION_EXPORT bool isObjectValue(const QVariant &value);
VANTREL_ACTIVATION_EXPORT QVariant nullValue();
VANTREL_ACTIVATION_EXPORT bool isNullValue(const QVariant &value);
// The error value holding DispError::ParamNotFound.
VANTREL_ACTIVATION_EXPORT QVariant paramNotFound();
VANTREL_ACTIVATION_EXPORT bool isParamNotFound(const QVariant &value);

// Result conversions by automation rules; each throws ComError TypeMismatch
// (source "Activation") when the value cannot be converted, and Overflow when
// it does not fit.
VANTREL_ACTIVATION_EXPORT bool toBoolValue(const QVariant &value);        // non-zero -> true
VANTREL_ACTIVATION_EXPORT qint16 toInt16Value(const QVariant &value);
VANTREL_ACTIVATION_EXPORT qint32 toInt32Value(const QVariant &value);
VANTREL_ACTIVATION_EXPORT QString toStringValue(const QVariant &value);   // Null and empty -> ""
// Null and an empty value give nullptr; anything else that is not an object is a mismatch.
VANTREL_ACTIVATION_EXPORT DispatchPtr toObjectValue(const QVariant &value);

// --- the registry -------------------------------------------------------------
// Classes are registered in-process by the libraries that implement them (each
// has an explicit registration function the program calls). A test may register
// a fake under a real identity, or remove a registration, inside a Scope that
// puts everything back when it ends.
class VANTREL_ACTIVATION_EXPORT ObjectRegistry
{
public:
    using Creator = std::function<DispatchPtr()>;

    // Registers (or replaces) the class; a non-empty progId is one more name for it.
    static void registerClass(const QString &clsid, const QString &progId, Creator create);
    // Adds a further program identifier for an already registered class identity.
    static void registerProgId(const QString &progId, const QString &clsid);
    // A program identifier: drops only that name. A class identity: drops the
    // class and every name that leads to it.
    static void unregister(const QString &clsidOrProgId);
    static bool isRegistered(const QString &clsidOrProgId);
    // The class identity a name leads to, or "" when none; a CLSID maps to itself.
    static QString classIdOf(const QString &clsidOrProgId);
    // Throws ComError ClassNotRegistered ("Class not registered: <name>") when
    // nothing is registered, and passes on what the creator throws; a creator
    // returning nullptr also counts as not registered.
    static DispatchPtr createObject(const QString &clsidOrProgId);

    // Saves the whole registry and restores it when destroyed.
    class VANTREL_ACTIVATION_EXPORT Scope
    {
    public:
        Scope();
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        struct Saved;
        std::unique_ptr<Saved> m_saved;
    };
};
