#include "routines.h"

#include "routine.h"
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
    static Routines routines([] { return std::make_shared<Routine>(); });
    return routines;
}

RoutineDocPtr Routines::Locate(const QString &key) const
{
    return m_open.item(key);
}

RoutineDocPtr Routines::Item(const QString &key) const
{
    return m_open.item(key);
}

RoutineDocPtr Routines::Item(int index) const
{
    return m_open.item(index);
}

RoutineDocPtr Routines::frozenItem(const QString &key) const
{
    return m_frozen.item(key);
}

QStringList Routines::hiddenKeys() const
{
    QStringList keys;
    for (const QString &key : m_hidden)
        keys << key;
    return keys;
}

RoutineDocPtr Routines::Add(IDocLink *link, QString &rtn, QString &env, QString &text,
                            bool &readOnly, QString &initialLine, int typ, int tarvikStatus)
{
    if (!m_factory)
        throw VantrelError(VantrelError::Base + 1, QStringLiteral("No routine factory is set"));

    bool isNew = false;
    if (rtn.isEmpty()) {
        // The counter is a 16-bit value: the names stay within Rtn1..Rtn32767.
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

    const QString key = doc->Key();
    makeRoomToFreeze(key);
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

    // Loading waited for the server, and the messages handled meanwhile may have opened
    // this routine too: look again before anything moves.
    makeRoomToFreeze(key);
    if (RoutineDocPtr old = m_open.take(key)) {
        m_hidden.remove(key);
        old->setFrozen(true);
        m_frozen.add(old, key);
    }
    m_open.add(doc, key);
    return doc;
}

void Routines::makeRoomToFreeze(const QString &key)
{
    // A key that already has a live and a frozen document has no room for a third copy.
    // Decide before anything moves, so that no document ends up in neither collection.
    if (!m_open.contains(key) || !m_frozen.contains(key))
        return;
    RoutineDocPtr older = m_frozen.item(key);
    if (older->Modified() || !Remove(key, true, false))
        throw VantrelError(VantrelError::Base + 2,
                           QStringLiteral("An older modified copy of %1 is still open in "
                                          "the execution stack").arg(key));
}

RoutineDocPtr Routines::Active() const
{
    if (m_activeKey.isEmpty())
        return nullptr;
    RoutineDocPtr doc = m_open.item(m_activeKey);
    return doc && doc->Visible() ? doc : nullptr;
}

void Routines::setActive(IRoutineDoc *doc)
{
    m_activeKey = doc && doc->Visible() ? doc->Key() : QString();
}

void Routines::promoteFrozen(const QString &key)
{
    if (key.isEmpty())
        return;
    if (RoutineDocPtr older = m_frozen.take(key)) {
        older->setFrozen(false);
        m_open.add(older, key);
    }
}

bool Routines::ReKey(const QString &oldKey)
{
    RoutineDocPtr doc = m_open.item(oldKey);
    if (!doc)
        return false;
    const QString newKey = doc->Key();
    if (newKey == oldKey)
        return true;
    if (m_open.contains(newKey) || m_frozen.contains(newKey) || !m_open.reKey(oldKey, newKey))
        return false;

    // Everything else that names the document by key follows it, or Active would read
    // null after a Save As until the window happened to be activated again.
    if (m_activeKey == oldKey)
        m_activeKey = newKey;
    const int hiddenAt = m_hidden.indexOf(oldKey);
    if (hiddenAt > 0) {
        m_hidden.remove(oldKey);
        if (hiddenAt > m_hidden.count())
            m_hidden.add(newKey, newKey);
        else
            m_hidden.addBefore(newKey, newKey, hiddenAt);
    }
    // A frozen copy belongs to the old key: with its replacement gone from that key it is
    // the live document there again, as when the replacement is closed.
    promoteFrozen(oldKey);
    return true;
}

bool Routines::Remove(const QString &key, bool frozen, bool abandon)
{
    RoutineDocPtr doc = (frozen ? m_frozen : m_open).item(key);
    if (!doc)
        return false;
    if (!doc->CloseDoc(abandon))
        return false;
    // Saving from the close prompt may have renamed the document (Save As), and the
    // messages handled while the prompt or the save waited may have frozen it under a
    // new copy: take out the document that closed, wherever it is filed now.
    // A document already taken out meanwhile needs nothing more.
    QString filedAs;
    if (positionOf(m_open, doc, filedAs))
        Extract(filedAs, false);
    else if (positionOf(m_frozen, doc, filedAs))
        Extract(filedAs, true);
    return true;
}

int Routines::positionOf(const Documents &documents, const RoutineDocPtr &doc, QString &key)
{
    for (int i = 1; i <= documents.count(); ++i) {
        if (documents.item(i) == doc) {
            key = documents.keyAt(i);
            return i;
        }
    }
    return 0;
}

RoutineDocPtr Routines::Extract(const QString &key, bool frozen)
{
    if (frozen)
        return m_frozen.take(key);
    if (!m_open.contains(key))
        return nullptr;
    m_hidden.remove(key);
    RoutineDocPtr doc = m_open.take(key);
    promoteFrozen(doc->Key());
    return doc;
}

void Routines::Allocate(const QString &key, bool show)
{
    RoutineDocPtr doc = m_open.item(key);
    if (!doc)
        return;
    if (show)
        doc->setVisible(true);
    m_hidden.remove(doc->Key());
}

void Routines::Free(const QString &key, bool abandon)
{
    RoutineDocPtr doc = m_open.item(key);
    if (!doc)
        return;
    const QString docKey = doc->Key();
    if (doc->Rtn().startsWith(QLatin1Char('@')) || m_frozen.contains(docKey)) {
        Remove(docKey, false, abandon);
        return;
    }
    doc->setVisible(false);
    doc->setLowWaterMark(9999);
    m_hidden.remove(docKey);
    if (m_hidden.isEmpty())
        m_hidden.add(docKey, docKey);
    else
        m_hidden.addBefore(docKey, docKey, 1);

    while (m_hidden.count() > MaxHidden) {
        const QString oldest = m_hidden.keyAt(m_hidden.count());
        RoutineDocPtr candidate = m_open.item(oldest);
        // A key whose document the user can see again was shown without leaving the
        // list; it is no longer hidden and must never be closed from here.
        if (!candidate || candidate->Visible()) {
            m_hidden.remove(oldest);
            continue;
        }
        // A document that refuses to close stays; asking again would never end.
        if (!Remove(oldest, false, abandon))
            break;
    }
}

bool Routines::AnyLocksHeld(bool includeFrozen) const
{
    for (const RoutineDocPtr &doc : m_open)
        if (doc->HoldsLock())
            return true;
    if (includeFrozen)
        for (const RoutineDocPtr &doc : m_frozen)
            if (doc->HoldsLock())
                return true;
    return false;
}

bool Routines::AnyModified(bool includeFrozen) const
{
    for (const RoutineDocPtr &doc : m_open)
        if (doc->Modified())
            return true;
    if (includeFrozen)
        for (const RoutineDocPtr &doc : m_frozen)
            if (doc->Modified())
                return true;
    return false;
}

std::vector<RoutineDocPtr> Routines::documents() const
{
    return std::vector<RoutineDocPtr>(m_open.begin(), m_open.end());
}

void Routines::drain(Documents &documents, bool frozen)
{
    // Each removal may promote a frozen copy, which is then closed in turn. A document
    // that cannot be closed is taken out unclosed, so the loop always ends.
    while (!documents.isEmpty()) {
        const QString key = documents.keyAt(1);
        bool removed = false;
        try {
            removed = Remove(key, frozen, true);
        } catch (...) {
        }
        if (!removed && documents.keyAt(1) == key) {
            try {
                Extract(key, frozen);
            } catch (...) {
                documents.remove(1);
            }
        }
    }
}

void Routines::shutdown()
{
    drain(m_open, false);
    drain(m_frozen, true);
    m_hidden.clear();
    m_activeKey.clear();
}
