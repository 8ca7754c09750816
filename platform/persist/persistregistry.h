#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class IFormFactory;
class IMementoOrigin;

// The objects whose settings PersistStorage saves and restores, each under a key
// that names its saved state. An object is registered either itself (the dialogs)
// or through the form factory that creates it (the main window and the panes, which
// may not exist yet when the state is restored).
//
// Keys are case-sensitive and kept in registration order, which is the order of
// saving and restoring. Adding a key again replaces what it stood for and keeps its
// place. The registry does not own what it is given: everything registered must
// outlive the registry's use.
class PersistRegistry
{
public:
    void add(const QString &key, IFormFactory *factory);
    void add(const QString &key, IMementoOrigin *origin);

    QStringList keys() const;

    // The object behind key: the origin itself, or for a factory key the form's default
    // instance (CreateInstance(key, true)), which creates and loads it when it does not
    // exist yet. Null for an unknown key and for a form that is no IMementoOrigin.
    IMementoOrigin *originFor(const QString &key) const;

private:
    struct Entry
    {
        QString key;
        IFormFactory *factory = nullptr;   // one of the two is set
        IMementoOrigin *origin = nullptr;
    };

    Entry &slot(const QString &key);

    QList<Entry> m_entries;   // in registration order
};
