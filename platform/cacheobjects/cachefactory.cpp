#include "cachefactory.h"

#include <QStringList>

namespace CacheObject {

namespace {

const QStringList &memberNames()
{
    // Index = member number - 1.
    static const QStringList names{
        QStringLiteral("Connect"), QStringLiteral("Disconnect"), QStringLiteral("SetLogMask"),
        QStringLiteral("New"), QStringLiteral("Open"), QStringLiteral("OpenEx"),
        QStringLiteral("OpenId"), QStringLiteral("Static"), QStringLiteral("ConnectDlg"),
        QStringLiteral("IsConnected"), QStringLiteral("ResultSet"), QStringLiteral("GetClassName"),
        QStringLiteral("GetID"), QStringLiteral("GetErrorText"), QStringLiteral("SetOutput"),
        QStringLiteral("GetLastErrorCount"), QStringLiteral("GetLastErrorNumber"),
        QStringLiteral("GetLastErrorParamCount"), QStringLiteral("GetLastErrorParam"),
        QStringLiteral("DynamicSQL"), QStringLiteral("TransactionStart"),
        QStringLiteral("TransactionRollBack"), QStringLiteral("TransactionCommit"),
        QStringLiteral("TransactionLevel"), QStringLiteral("SetCacheLog"),
        QStringLiteral("GetConnectionList"), QStringLiteral("IsMultibyte")};
    return names;
}

const QString OwnSource = QStringLiteral("CacheObject.Factory");

// The arguments of one late-bound call, read back into a typed call.
class Arguments
{
public:
    Arguments(const QVariantList &args, qint32 dispId) : m_args(args), m_dispId(dispId) {}

    void expect(int least, int most) const
    {
        if (m_args.size() < least || m_args.size() > most)
            throw ComError(DispError::BadParamCount, OwnSource,
                           QStringLiteral("Invalid number of parameters for %1").arg(memberName(m_dispId)));
    }
    QString text(int i) const { return toStringValue(m_args.at(i)); }
    qint32 number(int i) const { return toInt32Value(m_args.at(i)); }
    const QVariant &value(int i) const { return m_args.at(i); }
    // Absent when not passed, or passed as the "parameter not found" marker.
    Optional optional(int i) const
    {
        if (i >= m_args.size() || isParamNotFound(m_args.at(i)))
            return std::nullopt;
        return m_args.at(i);
    }

private:
    const QVariantList &m_args;
    qint32 m_dispId;
};

} // namespace

QString memberName(qint32 dispId)
{
    const QStringList &names = memberNames();
    return dispId >= 1 && dispId <= names.size() ? names.at(dispId - 1) : QString();
}

qint32 memberId(const QString &name)
{
    // Late-bound names match without case.
    const QStringList &names = memberNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

QVariant invokeFactory(Factory &f, qint32 dispId, QVariantList &list)
{
    const Arguments a(list, dispId);
    switch (dispId) {
    case DispConnect: a.expect(1, 1); return f.Connect(a.text(0));
    case DispDisconnect: a.expect(0, 0); return f.Disconnect();
    case DispSetLogMask: a.expect(1, 1); f.SetLogMask(a.number(0)); return QVariant();
    case DispNew: a.expect(1, 2); return objectValue(f.New(a.text(0), a.optional(1)));
    case DispOpen: a.expect(2, 3); return objectValue(f.Open(a.text(0), a.text(1), a.optional(2)));
    case DispOpenEx: a.expect(2, 3); return objectValue(f.OpenEx(a.text(0), a.text(1), a.optional(2)));
    case DispOpenId: a.expect(2, 3); return objectValue(f.OpenId(a.text(0), a.text(1), a.optional(2)));
    case DispStatic: a.expect(1, 1); return objectValue(f.Static(a.text(0)));
    case DispConnectDlg: a.expect(0, 1); return f.ConnectDlg(a.optional(0));
    case DispIsConnected: a.expect(0, 0); return f.IsConnected();
    case DispResultSet: a.expect(2, 2); return objectValue(f.ResultSet(a.text(0), a.text(1)));
    case DispGetClassName: a.expect(1, 1); return f.GetClassName(a.text(0));
    case DispGetID: a.expect(1, 1); return f.GetID(a.text(0));
    case DispGetErrorText: {
        a.expect(1, 11);
        ErrorParams params;
        for (int i = 0; i < 10; ++i)
            params[i] = a.optional(i + 1);
        return f.GetErrorText(a.number(0), params);
    }
    case DispSetOutput: a.expect(1, 1); f.SetOutput(a.value(0)); return QVariant();
    case DispGetLastErrorCount: a.expect(0, 0); return f.GetLastErrorCount();
    case DispGetLastErrorNumber: a.expect(0, 1); return f.GetLastErrorNumber(a.optional(0));
    case DispGetLastErrorParamCount: a.expect(0, 1); return f.GetLastErrorParamCount(a.optional(0));
    case DispGetLastErrorParam: a.expect(0, 2); return f.GetLastErrorParam(a.optional(0), a.optional(1));
    case DispDynamicSQL: a.expect(1, 1); return objectValue(f.DynamicSQL(a.text(0)));
    case DispTransactionStart: a.expect(0, 0); f.TransactionStart(); return QVariant();
    case DispTransactionRollBack: a.expect(0, 0); f.TransactionRollBack(); return QVariant();
    case DispTransactionCommit: a.expect(0, 0); f.TransactionCommit(); return QVariant();
    case DispTransactionLevel: a.expect(0, 0); return f.TransactionLevel();
    case DispSetCacheLog: a.expect(1, 1); f.SetCacheLog(a.number(0)); return QVariant();
    case DispGetConnectionList: a.expect(0, 0); return f.GetConnectionList();
    case DispIsMultibyte: a.expect(0, 0); return f.IsMultibyte();
    default:
        throw ComError(DispError::MemberNotFound, OwnSource, QStringLiteral("Unknown name (member %1)").arg(dispId));
    }
}

// --- LateBoundFactory -------------------------------------------------------------

namespace {

// The argument list with an optional argument appended only when present.
QVariantList withOptional(QVariantList args, const Optional &optional)
{
    if (optional)
        args.append(*optional);
    return args;
}

} // namespace

LateBoundFactory::LateBoundFactory(DispatchPtr target) : m_target(std::move(target)) {}

IDispatchObject &LateBoundFactory::target()
{
    if (!m_target)
        throw ComError(DispError::MemberNotFound, OwnSource, QStringLiteral("No factory to call"));
    return *m_target;
}

QVariant LateBoundFactory::forward(qint32 dispId, QVariantList args)
{
    return target().Invoke(dispId, args);
}

bool LateBoundFactory::Connect(const QString &connectString)
{
    return toBoolValue(forward(DispConnect, {connectString}));
}

bool LateBoundFactory::Disconnect() { return toBoolValue(forward(DispDisconnect, {})); }

void LateBoundFactory::SetLogMask(qint32 logMask) { forward(DispSetLogMask, {logMask}); }

DispatchPtr LateBoundFactory::New(const QString &className, const Optional &vtInit)
{
    return toObjectValue(forward(DispNew, withOptional({className}, vtInit)));
}

DispatchPtr LateBoundFactory::Open(const QString &className, const QString &oid, const Optional &concurency)
{
    return toObjectValue(forward(DispOpen, withOptional({className, oid}, concurency)));
}

DispatchPtr LateBoundFactory::OpenEx(const QString &className, const QString &oid, const Optional &concurency)
{
    return toObjectValue(forward(DispOpenEx, withOptional({className, oid}, concurency)));
}

DispatchPtr LateBoundFactory::OpenId(const QString &className, const QString &id, const Optional &concurency)
{
    return toObjectValue(forward(DispOpenId, withOptional({className, id}, concurency)));
}

DispatchPtr LateBoundFactory::Static(const QString &className)
{
    return toObjectValue(forward(DispStatic, {className}));
}

QString LateBoundFactory::ConnectDlg(const Optional &title)
{
    return toStringValue(forward(DispConnectDlg, withOptional({}, title)));
}

bool LateBoundFactory::IsConnected() { return toBoolValue(forward(DispIsConnected, {})); }

DispatchPtr LateBoundFactory::ResultSet(const QString &className, const QString &queryName)
{
    return toObjectValue(forward(DispResultSet, {className, queryName}));
}

QString LateBoundFactory::GetClassName(const QString &oid)
{
    return toStringValue(forward(DispGetClassName, {oid}));
}

QString LateBoundFactory::GetID(const QString &oid) { return toStringValue(forward(DispGetID, {oid})); }

QString LateBoundFactory::GetErrorText(qint32 errorCode, const ErrorParams &params)
{
    // Only the leading run of present parameters goes: a gap ends the list, so a
    // parameter after a missing one is dropped even when it is given.
    QVariantList args{errorCode};
    for (const Optional &param : params) {
        if (!param)
            break;
        args.append(*param);
    }
    return toStringValue(forward(DispGetErrorText, args));
}

void LateBoundFactory::SetOutput(const QVariant &out) { forward(DispSetOutput, {out}); }

qint16 LateBoundFactory::GetLastErrorCount() { return toInt16Value(forward(DispGetLastErrorCount, {})); }

qint32 LateBoundFactory::GetLastErrorNumber(const Optional &errNo)
{
    return toInt32Value(forward(DispGetLastErrorNumber, withOptional({}, errNo)));
}

qint16 LateBoundFactory::GetLastErrorParamCount(const Optional &errNo)
{
    return toInt16Value(forward(DispGetLastErrorParamCount, withOptional({}, errNo)));
}

QString LateBoundFactory::GetLastErrorParam(const Optional &errNo, const Optional &paramNo)
{
    QVariantList args;
    if (errNo)
        args.append(*errNo);
    else if (paramNo)
        args.append(paramNotFound());   // keeps ParamNo in second place
    if (paramNo)
        args.append(*paramNo);
    return toStringValue(forward(DispGetLastErrorParam, args));
}

DispatchPtr LateBoundFactory::DynamicSQL(const QString &statement)
{
    return toObjectValue(forward(DispDynamicSQL, {statement}));
}

void LateBoundFactory::TransactionStart() { forward(DispTransactionStart, {}); }
void LateBoundFactory::TransactionRollBack() { forward(DispTransactionRollBack, {}); }
void LateBoundFactory::TransactionCommit() { forward(DispTransactionCommit, {}); }

qint16 LateBoundFactory::TransactionLevel() { return toInt16Value(forward(DispTransactionLevel, {})); }

void LateBoundFactory::SetCacheLog(qint32 value) { forward(DispSetCacheLog, {value}); }

QString LateBoundFactory::GetConnectionList() { return toStringValue(forward(DispGetConnectionList, {})); }

bool LateBoundFactory::IsMultibyte() { return toBoolValue(forward(DispIsMultibyte, {})); }

QVariant LateBoundFactory::Invoke(qint32 dispId, QVariantList &args)
{
    return invokeFactory(*this, dispId, args);
}

QVariant LateBoundFactory::InvokeByName(const QString &member, QVariantList &args)
{
    const qint32 id = memberId(member);
    if (id == 0)
        return IDispatchObject::InvokeByName(member, args);
    return invokeFactory(*this, id, args);
}

std::shared_ptr<Factory> createFactory(const QString &identity)
{
    DispatchPtr object = ObjectRegistry::createObject(identity);
    if (auto typed = std::dynamic_pointer_cast<Factory>(object))
        return typed;
    return std::make_shared<LateBoundFactory>(std::move(object));
}

} // namespace CacheObject
