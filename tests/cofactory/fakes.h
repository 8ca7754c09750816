#pragma once

#include "activation.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

// One shared call log for a fake factory and the server objects it hands out, so
// that a test can check the order across both.
struct CallLog
{
    QStringList lines;
    void add(const QString &line) { lines.append(line); }
};

// Shows a value as the log records it: texts quoted, the skipped-argument marker as <missing>.
inline QString shown(const QVariant &value)
{
    if (isParamNotFound(value))
        return QStringLiteral("<missing>");
    if (value.metaType().id() == QMetaType::QString)
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    return value.toString();
}

inline QString shownArgs(const QVariantList &args)
{
    QStringList parts;
    for (const QVariant &arg : args)
        parts.append(shown(arg));
    return parts.join(QLatin1Char(','));
}

// A "VantrelDebug" server object: answers by member name, or raises.
class FakeServerDebug : public IDispatchObject
{
public:
    FakeServerDebug(std::shared_ptr<CallLog> log, QString name) : m_log(std::move(log)), m_name(std::move(name)) {}

    QHash<QString, QVariant> answers{{"ClientIP", "10.0.0.9"}, {"Enable", true}, {"Disable", QVariant()},
                                     {"sys_Close", 1}};
    QSet<QString> raising;   // members that raise ComError(0x80040999, "Server", "<member> failed")

    QVariant InvokeByName(const QString &member, QVariantList &args) override
    {
        m_log->add(QStringLiteral("%1.%2(%3)").arg(m_name, member, shownArgs(args)));
        if (raising.contains(member) || !answers.contains(member))
            throw ComError(0x80040999u, QStringLiteral("Server"), member + QStringLiteral(" failed"));
        return answers.value(member);
    }

private:
    std::shared_ptr<CallLog> m_log;
    QString m_name;
};

// A factory that records every numbered call and answers from a table; New hands
// out FakeServerDebug objects named debug1, debug2, ...
class RecordingFactory : public IDispatchObject
{
public:
    explicit RecordingFactory(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}

    QHash<qint32, QVariant> answers;   // by member number; default: true
    QSet<qint32> raising;              // members that raise ComError(0x80040998, "Factory", "call <n> failed")
    std::function<void(FakeServerDebug &)> configure;   // applied to each new server object
    QList<std::shared_ptr<FakeServerDebug>> made;

    QVariant Invoke(qint32 dispId, QVariantList &args) override
    {
        m_log->add(QStringLiteral("%1(%2)").arg(dispId).arg(shownArgs(args)));
        if (raising.contains(dispId))
            throw ComError(0x80040998u, QStringLiteral("Factory"), QStringLiteral("call %1 failed").arg(dispId));
        if (dispId == 4 && !answers.contains(4)) {
            auto object = std::make_shared<FakeServerDebug>(m_log, QStringLiteral("debug%1").arg(made.size() + 1));
            if (configure)
                configure(*object);
            made.append(object);
            return objectValue(object);
        }
        return answers.value(dispId, true);
    }

private:
    std::shared_ptr<CallLog> m_log;
};
