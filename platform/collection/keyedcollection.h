#pragma once

#include "vantrelerror.h"

#include <QHash>
#include <QString>

#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

// A position (1-based) or a key: the callers of a keyed collection pass either, and often
// pass on what they were given without looking at which it is.
class IndexOrKey
{
public:
    IndexOrKey(int index) : m_index(index), m_isIndex(true) {}          // NOLINT: implicit on purpose
    IndexOrKey(const QString &key) : m_key(key) {}                      // NOLINT
    IndexOrKey(const char *key) : m_key(QString::fromUtf8(key)) {}      // NOLINT

    bool isIndex() const { return m_isIndex; }
    int index() const { return m_index; }
    const QString &key() const { return m_key; }

private:
    int m_index = 0;
    QString m_key;
    bool m_isIndex = false;
};

// An ordered collection whose items may carry a unique text key. Positions count from 1.
// Keys are case-sensitive (M routine names are) and an empty key means "no key": such an
// item is reachable by position only.
//
// Asking for an item that is not there (absent key, position out of range) gives an empty
// T (a null pointer for pointer items, "" for texts) and false from the operations that
// change the collection; a collection made with Absent::Throw throws VantrelError
// instead from item, take and remove, for callers that treat absence as a fault.
// Adding or re-keying to a key that another item holds never changes the collection.
template <typename T>
class KeyedCollection
{
    struct Entry
    {
        QString key;
        T value;
    };
    using Entries = std::vector<std::unique_ptr<Entry>>;

public:
    enum class Absent { Empty, Throw };

    explicit KeyedCollection(Absent absent = Absent::Empty) : m_absent(absent) {}

    KeyedCollection(const KeyedCollection &other) : m_absent(other.m_absent)
    {
        for (const auto &e : other.m_entries)
            insertAt(int(m_entries.size()), e->value, e->key);
    }
    KeyedCollection &operator=(const KeyedCollection &other)
    {
        if (this != &other) {
            KeyedCollection copy(other);
            swap(copy);
        }
        return *this;
    }
    KeyedCollection(KeyedCollection &&) noexcept = default;
    KeyedCollection &operator=(KeyedCollection &&) noexcept = default;

    void swap(KeyedCollection &other) noexcept
    {
        std::swap(m_absent, other.m_absent);
        m_entries.swap(other.m_entries);
        m_byKey.swap(other.m_byKey);
    }

    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }

    void clear()
    {
        m_entries.clear();
        m_byKey.clear();
    }

    // Appends. False when the key is taken.
    bool add(T item, const QString &key = QString())
    {
        return insertChecked(count(), std::move(item), key);
    }

    // Inserts before the item at `before`, or at the end for position count() + 1 (so
    // "insert at the front" works on an empty collection too). False when the key is
    // taken or `before` names no item.
    bool addBefore(T item, const QString &key, const IndexOrKey &before)
    {
        const int at = before.isIndex() ? before.index() : indexOf(before.key());
        if (at < 1 || at > count() + (before.isIndex() ? 1 : 0))
            return false;
        return insertChecked(at - 1, std::move(item), key);
    }

    // Inserts after the item at `after`, or at the front for position 0.
    bool addAfter(T item, const QString &key, const IndexOrKey &after)
    {
        const int at = after.isIndex() ? after.index() : indexOf(after.key());
        if (at < (after.isIndex() ? 0 : 1) || at > count())
            return false;
        return insertChecked(at, std::move(item), key);
    }

    bool contains(const IndexOrKey &which) const { return find(which) != nullptr; }

    // 1-based position of the item under `key`; 0 when absent.
    int indexOf(const QString &key) const
    {
        const Entry *e = key.isEmpty() ? nullptr : m_byKey.value(key, nullptr);
        if (!e)
            return 0;
        for (int i = 0; i < count(); ++i) {
            if (m_entries[std::size_t(i)].get() == e)
                return i + 1;
        }
        return 0;
    }

    T item(const IndexOrKey &which) const
    {
        const Entry *e = find(which);
        if (!e) {
            absent(which);
            return T();
        }
        return e->value;
    }

    // Key of the item at `index`; "" when it has none or the position is out of range.
    QString keyAt(int index) const
    {
        return index >= 1 && index <= count() ? m_entries[std::size_t(index - 1)]->key : QString();
    }

    // Gives the item `which` the key `newKey` ("" takes its key away). False when the item
    // is absent or another item holds `newKey`.
    bool reKey(const IndexOrKey &which, const QString &newKey)
    {
        Entry *e = find(which);
        if (!e)
            return false;
        if (e->key == newKey)
            return true;
        if (!newKey.isEmpty() && m_byKey.contains(newKey))
            return false;
        if (!e->key.isEmpty())
            m_byKey.remove(e->key);
        e->key = newKey;
        if (!newKey.isEmpty())
            m_byKey.insert(newKey, e);
        return true;
    }

    bool remove(const IndexOrKey &which)
    {
        const int at = positionOf(which);
        if (at == 0) {
            absent(which);
            return false;
        }
        eraseAt(at - 1);
        return true;
    }

    // Removes the item and hands it back; an empty T when absent.
    T take(const IndexOrKey &which)
    {
        const int at = positionOf(which);
        if (at == 0) {
            absent(which);
            return T();
        }
        T value = std::move(m_entries[std::size_t(at - 1)]->value);
        eraseAt(at - 1);
        return value;
    }

    template <typename Value, typename Base>
    class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = Value *;
        using reference = Value &;

        explicit Iterator(Base it) : m_it(it) {}
        reference operator*() const { return (*m_it)->value; }
        pointer operator->() const { return &(*m_it)->value; }
        Iterator &operator++() { ++m_it; return *this; }
        Iterator operator++(int) { Iterator old = *this; ++m_it; return old; }
        bool operator==(const Iterator &o) const { return m_it == o.m_it; }
        bool operator!=(const Iterator &o) const { return m_it != o.m_it; }

    private:
        Base m_it;
    };
    using iterator = Iterator<T, typename Entries::iterator>;
    using const_iterator = Iterator<const T, typename Entries::const_iterator>;

    // Items in order. Adding or removing items while iterating invalidates the iterators.
    iterator begin() { return iterator(m_entries.begin()); }
    iterator end() { return iterator(m_entries.end()); }
    const_iterator begin() const { return const_iterator(m_entries.begin()); }
    const_iterator end() const { return const_iterator(m_entries.end()); }

private:
    Entry *find(const IndexOrKey &which) const
    {
        if (which.isIndex()) {
            const int i = which.index();
            return i >= 1 && i <= count() ? m_entries[std::size_t(i - 1)].get() : nullptr;
        }
        return which.key().isEmpty() ? nullptr : m_byKey.value(which.key(), nullptr);
    }

    int positionOf(const IndexOrKey &which) const
    {
        if (which.isIndex())
            return which.index() >= 1 && which.index() <= count() ? which.index() : 0;
        return indexOf(which.key());
    }

    bool insertChecked(int at, T item, const QString &key)
    {
        if (!key.isEmpty() && m_byKey.contains(key))
            return false;
        insertAt(at, std::move(item), key);
        return true;
    }

    void insertAt(int at, T item, const QString &key)
    {
        auto entry = std::make_unique<Entry>(Entry{key, std::move(item)});
        if (!key.isEmpty())
            m_byKey.insert(key, entry.get());
        m_entries.insert(m_entries.begin() + at, std::move(entry));
    }

    void eraseAt(int at)
    {
        const QString &key = m_entries[std::size_t(at)]->key;
        if (!key.isEmpty())
            m_byKey.remove(key);
        m_entries.erase(m_entries.begin() + at);
    }

    void absent(const IndexOrKey &which) const
    {
        if (m_absent != Absent::Throw)
            return;
        if (which.isIndex())
            throw VantrelError(9, QStringLiteral("Subscript out of range"));
        throw VantrelError(5, QStringLiteral("Invalid procedure call or argument"));
    }

    Absent m_absent;
    Entries m_entries;
    QHash<QString, Entry *> m_byKey;   // keyed items only; points into m_entries
};
