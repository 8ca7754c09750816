#include "routines.h"

#include "vantrelerror.h"

#include <QDateTime>
#include <QLocale>

Routines::Routines(RoutineFactory factory, IViewDefaults *viewDefaults)
    : m_factory(std::move(factory)), m_viewDefaults(viewDefaults)
{
}

Routines::~Routines() = default;

Routines &Routines::instance()
{
    static Routines routines;
    return routines;
}

int Routines::indexOf(const std::vector<Entry> &entries, const QString &key)
{
    for (int i = 0; i < int(entries.size()); ++i)
        if (entries[i].first == key)
            return i;
    return -1;
}

RoutineDocPtr Routines::find(const std::vector<Entry> &entries, const QString &key)
{
    const int i = indexOf(entries, key);
    return i < 0 ? nullptr : entries[i].second;
}

RoutineDocPtr Routines::Locate(const QString &key) const
{
    return find(m_open, key);
}

RoutineDocPtr Routines::Item(const QString &key) const
{
    return find(m_open, key);
}

RoutineDocPtr Routines::Item(int index) const
{
    if (index < 1 || index > int(m_open.size()))
        return nullptr;
    return m_open[index - 1].second;
}

RoutineDocPtr Routines::frozenItem(const QString &key) const
{
    return find(m_frozen, key);
}

RoutineDocPtr Routines::Add(IDocLink *link, QString &rtn, QString &env, QString &text,
                            bool &readOnly, QString &initialLine, int typ, int tarvikStatus)
{
    if (!m_factory)
        throw VantrelError(VantrelError::Base + 1, QStringLiteral("No routine factory is set"));

    bool isNew = false;
    if (rtn.isEmpty()) {
        // The counter is a 16-bit value in the saved state of the original program.
        if (m_newRoutineCounter >= 32767)
            throw VantrelError(6, QStringLiteral("Overflow"));
        isNew = true;
        rtn = QStringLiteral("Rtn%1").arg(m_newRoutineCounter + 1);
        env.clear();
        const QDateTime now = QDateTime::currentDateTime();
        text = rtn + QLatin1Char('\t') + QStringLiteral("; New routine created in Vantrel at ")
             + QLocale().toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
             + now.time().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("\r\n\t");
        initialLine = QStringLiteral("+1");
        readOnly = true;
    }

    RoutineDocPtr doc = m_factory();
    doc->setOwner(this);
    doc->setMLink(link);
    doc->setRtn(rtn);
    doc->setEnv(env);
    doc->setTyp(typ);
    doc->setTarvikStatus(tarvikStatus);
    doc->setReadOnly(readOnly);

    // A key that already has a live and a frozen document has no room for a third copy.
    // Decide before anything moves, so that no document ends up in neither collection.
    const QString key = doc->Key();
    if (find(m_open, key) && find(m_frozen, key)) {
        RoutineDocPtr older = find(m_frozen, key);
        if (older->Modified() || !Remove(key, true, false))
            throw VantrelError(VantrelError::Base + 2,
                               QStringLiteral("An older modified copy of %1 is still open in "
                                              "the execution stack").arg(key));
    }
    if (isNew)
        ++m_newRoutineCounter;

    doc->LoadText(text, initialLine);
    if (isNew) {
        doc->setReadOnly(false);
        doc->GotoLine(QStringLiteral("+2"), 2, 0);
    }

    if (RoutineDocPtr active = Active()) {
        doc->setLineWrap(active->LineWrap());
        doc->setRichSource(active->RichSource());
    } else if (m_viewDefaults) {
        doc->setLineWrap(m_viewDefaults->lineWrap());
        doc->setRichSource(m_viewDefaults->richSource());
    }

    const int existing = indexOf(m_open, key);
    if (existing >= 0) {
        RoutineDocPtr old = m_open[existing].second;
        m_open.erase(m_open.begin() + existing);
        m_hidden.removeAll(key);
        old->setFrozen(true);
        m_frozen.emplace_back(key, old);
    }
    m_open.emplace_back(key, doc);
    return doc;
}

RoutineDocPtr Routines::Active() const
{
    if (m_activeKey.isEmpty())
        return nullptr;
    RoutineDocPtr doc = find(m_open, m_activeKey);
    return doc && doc->Visible() ? doc : nullptr;
}

void Routines::setActive(IRoutineDoc *doc)
{
    m_activeKey = doc && doc->Visible() ? doc->Key() : QString();
}

bool Routines::ReKey(const QString &oldKey)
{
    const int i = indexOf(m_open, oldKey);
    if (i < 0)
        return false;
    RoutineDocPtr doc = m_open[i].second;
    const QString newKey = doc->Key();
    if (newKey == oldKey)
        return true;
    if (indexOf(m_open, newKey) >= 0 || indexOf(m_frozen, newKey) >= 0)
        return false;
    m_open[i].first = newKey;

    // Everything else that names the document by key follows it, or Active would read
    // null after a Save As until the window happened to be activated again.
    if (m_activeKey == oldKey)
        m_activeKey = newKey;
    const int hiddenAt = m_hidden.indexOf(oldKey);
    if (hiddenAt >= 0)
        m_hidden[hiddenAt] = newKey;
    // A frozen copy belongs to the old key: with its replacement gone from that key it is
    // the live document there again, as when the replacement is closed.
    const int frozenAt = indexOf(m_frozen, oldKey);
    if (frozenAt >= 0) {
        RoutineDocPtr older = m_frozen[frozenAt].second;
        m_frozen.erase(m_frozen.begin() + frozenAt);
        older->setFrozen(false);
        m_open.emplace_back(oldKey, older);
    }
    return true;
}

bool Routines::Remove(const QString &key, bool frozen, bool abandon)
{
    RoutineDocPtr doc = find(frozen ? m_frozen : m_open, key);
    if (!doc)
        return false;
    if (!doc->CloseDoc(abandon))
        return false;
    Extract(key, frozen);
    return true;
}

RoutineDocPtr Routines::Extract(const QString &key, bool frozen)
{
    if (frozen) {
        const int i = indexOf(m_frozen, key);
        if (i < 0)
            return nullptr;
        RoutineDocPtr doc = m_frozen[i].second;
        m_frozen.erase(m_frozen.begin() + i);
        return doc;
    }
    const int i = indexOf(m_open, key);
    if (i < 0)
        return nullptr;
    m_hidden.removeAll(key);
    RoutineDocPtr doc = m_open[i].second;
    m_open.erase(m_open.begin() + i);
    const QString docKey = doc->Key();
    const int frozenAt = docKey.isEmpty() ? -1 : indexOf(m_frozen, docKey);
    if (frozenAt >= 0) {
        RoutineDocPtr older = m_frozen[frozenAt].second;
        m_frozen.erase(m_frozen.begin() + frozenAt);
        older->setFrozen(false);
        m_open.emplace_back(docKey, older);
    }
    return doc;
}

void Routines::Allocate(const QString &key, bool show)
{
    RoutineDocPtr doc = find(m_open, key);
    if (!doc)
        return;
    if (show)
        doc->setVisible(true);
    m_hidden.removeAll(doc->Key());
}

void Routines::Free(const QString &key, bool abandon)
{
    RoutineDocPtr doc = find(m_open, key);
    if (!doc)
        return;
    const QString docKey = doc->Key();
    if (doc->Rtn().startsWith(QLatin1Char('@')) || find(m_frozen, docKey)) {
        Remove(docKey, false, abandon);
        return;
    }
    doc->setVisible(false);
    doc->setLowWaterMark(9999);
    m_hidden.removeAll(docKey);
    m_hidden.prepend(docKey);

    while (m_hidden.size() > MaxHidden) {
        const QString oldest = m_hidden.last();
        RoutineDocPtr candidate = find(m_open, oldest);
        // A key whose document the user can see again was shown without leaving the
        // list; it is no longer hidden and must never be closed from here.
        if (!candidate || candidate->Visible()) {
            m_hidden.removeLast();
            continue;
        }
        // A document that refuses to close stays; asking again would never end.
        if (!Remove(oldest, false, abandon))
            break;
    }
}

bool Routines::AnyLocksHeld(bool includeFrozen) const
{
    for (const Entry &e : m_open)
        if (e.second->HoldsLock())
            return true;
    if (includeFrozen)
        for (const Entry &e : m_frozen)
            if (e.second->HoldsLock())
                return true;
    return false;
}

bool Routines::AnyModified(bool includeFrozen) const
{
    for (const Entry &e : m_open)
        if (e.second->Modified())
            return true;
    if (includeFrozen)
        for (const Entry &e : m_frozen)
            if (e.second->Modified())
                return true;
    return false;
}

std::vector<RoutineDocPtr> Routines::documents() const
{
    std::vector<RoutineDocPtr> docs;
    docs.reserve(m_open.size());
    for (const Entry &e : m_open)
        docs.push_back(e.second);
    return docs;
}

void Routines::shutdown()
{
    // Each removal may promote a frozen copy, which is then closed in turn. A document
    // that cannot be closed is taken out unclosed, so the loop always ends.
    auto drain = [this](std::vector<Entry> &entries, bool frozen) {
        while (!entries.empty()) {
            const QString key = entries.front().first;
            bool removed = false;
            try {
                removed = Remove(key, frozen, true);
            } catch (...) {
            }
            if (!removed && !entries.empty() && entries.front().first == key) {
                try {
                    Extract(key, frozen);
                } catch (...) {
                    entries.erase(entries.begin());
                }
            }
        }
    };
    drain(m_open, false);
    drain(m_frozen, true);
    m_hidden.clear();
    m_activeKey.clear();
}
