#pragma once

#include "iformfactory.h"
#include "imementoorigin.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>

#include <functional>

// An object with saved settings that hands out toSave and keeps every memento it is
// given. fault, when set, runs first in both calls (to make them throw).
class FakeOrigin : public IMementoOrigin
{
public:
    MementoPtr saveMemento() override
    {
        if (fault)
            fault();
        ++saveCount;
        return toSave;
    }
    void restoreMemento(const Memento &memento) override
    {
        if (fault)
            fault();
        restored.append(memento);
    }

    MementoPtr toSave;
    std::function<void()> fault;
    int saveCount = 0;
    QList<Memento> restored;
};

// A window that keeps settings, the way the panes implement the interface.
class FakeForm : public QObject, public FakeOrigin
{
};

// Hands out the forms of its table by name and records every request.
class FakeFormFactory : public IFormFactory
{
public:
    QObject *CreateInstance(const QString &formId, const QVariant &metadata) override
    {
        requests.append({formId, metadata});
        if (fault)
            fault();
        return forms.value(formId);
    }
    QVariant GetMetadata(const QString &, QObject *) override { return QVariant(); }

    QMap<QString, QObject *> forms;
    std::function<void()> fault;
    QList<QPair<QString, QVariant>> requests;
};

inline MementoPtr mementoOf(const QList<QPair<QString, QVariant>> &attributes)
{
    auto memento = std::make_shared<Memento>();
    for (const auto &a : attributes)
        memento->write(a.first, a.second);
    return memento;
}
