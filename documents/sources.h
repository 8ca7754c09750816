#pragma once

#include "keyedcollection.h"
#include "source.h"

// An ordered list of server items, optionally keyed. Positions count from 1.
class Sources
{
public:
    // Appends a new item (under `Key` unless it is empty) and returns it; null, with the
    // list unchanged, when another item already holds `Key`.
    SourcePtr Add(int Typ, const QString &Name, const QString &Location, const QString &Key,
                  const QString &Server);

    // Null when no item is at that position or under that key.
    SourcePtr Item(const IndexOrKey &indexKey) const { return m_items.item(indexKey); }
    int Count() const { return m_items.count(); }
    // False when no item is at that position or under that key.
    bool Remove(const IndexOrKey &indexKey) { return m_items.remove(indexKey); }

    using const_iterator = KeyedCollection<SourcePtr>::const_iterator;
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }

private:
    KeyedCollection<SourcePtr> m_items;
};
