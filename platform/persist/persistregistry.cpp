#include "persistregistry.h"

#include "iformfactory.h"
#include "imementoorigin.h"

#include <QObject>

void PersistRegistry::add(const QString &key, IFormFactory *factory)
{
    Entry &e = slot(key);
    e.factory = factory;
    e.origin = nullptr;
}

void PersistRegistry::add(const QString &key, IMementoOrigin *origin)
{
    Entry &e = slot(key);
    e.factory = nullptr;
    e.origin = origin;
}

QStringList PersistRegistry::keys() const
{
    QStringList out;
    out.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        out.append(e.key);
    return out;
}

IMementoOrigin *PersistRegistry::originFor(const QString &key) const
{
    for (const Entry &e : m_entries) {
        if (e.key != key)
            continue;
        if (e.origin)
            return e.origin;
        if (!e.factory)
            return nullptr;
        // Forms implement the interface beside QObject, so only a cross-cast finds it.
        return dynamic_cast<IMementoOrigin *>(e.factory->CreateInstance(key, QVariant(true)));
    }
    return nullptr;
}

PersistRegistry::Entry &PersistRegistry::slot(const QString &key)
{
    for (Entry &e : m_entries) {
        if (e.key == key)
            return e;
    }
    m_entries.append(Entry{key});
    return m_entries.last();
}
