#pragma once

#include "iroutinedoc.h"
#include "keyedcollection.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The View menu's check marks that new documents take when no document is active.
class IViewDefaults
{
public:
    virtual ~IViewDefaults() = default;
    virtual bool lineWrap() const = 0;
    virtual bool richSource() const = 0;
};

using RoutineDocPtr = std::shared_ptr<IRoutineDoc>;
using RoutineFactory = std::function<RoutineDocPtr()>;

// The open routine documents of the process: live documents (visible or hidden) by key,
// at most one frozen older copy per key, and the keys of up to five hidden documents kept
// loaded so that reopening them is instant. `Add` is the only creator of documents.
class Routines
{
public:
    static constexpr int MaxHidden = 5;

    explicit Routines(RoutineFactory factory = {}, IViewDefaults *viewDefaults = nullptr);
    ~Routines();
    Routines(const Routines &) = delete;
    Routines &operator=(const Routines &) = delete;

    // The process-wide collection; the main window configures it and calls shutdown().
    static Routines &instance();
    void setFactory(RoutineFactory factory) { m_factory = std::move(factory); }
    void setViewDefaults(IViewDefaults *defaults) { m_viewDefaults = defaults; }

    RoutineDocPtr Locate(const QString &key) const;
    RoutineDocPtr Item(const QString &key) const;
    RoutineDocPtr Item(int index) const;   // 1-based
    int Count() const { return m_open.count(); }

    // Creates, loads and files a document. An empty rtn makes a new routine: the
    // caller's variables receive its name, empty namespace, template text, "+1" and
    // read-only True. Throws VantrelError when the key already has a live and a
    // modified frozen document (nothing changes then).
    RoutineDocPtr Add(IDocLink *link, QString &rtn, QString &env, QString &text,
                      bool &readOnly, QString &initialLine, int typ, int tarvikStatus);

    RoutineDocPtr Active() const;
    void setActive(IRoutineDoc *doc);
    QString activeKey() const { return m_activeKey; }

    bool ReKey(const QString &oldKey);
    bool Remove(const QString &key, bool frozen, bool abandon);
    RoutineDocPtr Extract(const QString &key, bool frozen);
    void Allocate(const QString &key, bool show);
    void Free(const QString &key, bool abandon);
    bool AnyLocksHeld(bool includeFrozen) const;
    bool AnyModified(bool includeFrozen) const;

    // Enumeration of the open-document collection in its order.
    std::vector<RoutineDocPtr> documents() const;

    // Frozen copies and the hidden list, most recently hidden first.
    RoutineDocPtr frozenItem(const QString &key) const;
    int frozenCount() const { return m_frozen.count(); }
    QStringList hiddenKeys() const;

    // Closes every document without prompting, so that the server's locks are released.
    // Called by the main window while it closes, while the link and windows still exist.
    void shutdown();

private:
    using Documents = KeyedCollection<RoutineDocPtr>;
    void promoteFrozen(const QString &key);
    // Closes the unmodified frozen copy of a key that also has a live document, so that
    // the live one can be frozen in its place; throws when that copy is modified.
    void makeRoomToFreeze(const QString &key);
    // 1-based position of `doc` in `documents` and the key it is filed under; 0 when absent.
    static int positionOf(const Documents &documents, const RoutineDocPtr &doc, QString &key);
    void drain(Documents &documents, bool frozen);

    RoutineFactory m_factory;
    IViewDefaults *m_viewDefaults;
    Documents m_open;                  // live documents by key, in order of filing
    Documents m_frozen;                // older copies still in the execution stack
    KeyedCollection<QString> m_hidden; // keys of hidden live documents, newest first
    QString m_activeKey;           // "" when no code window is active
    int m_newRoutineCounter = 0;   // names Rtn1, Rtn2 … of routines not yet saved
};
