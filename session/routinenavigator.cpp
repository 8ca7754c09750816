#include "routinenavigator.h"

#include "docservices.h"
#include "fieldconversion.h"
#include "icodewindow.h"
#include "idoclink.h"
#include "linksession.h"
#include "module1.h"
#include "msgbox.h"
#include "routine.h"
#include "userprompt.h"
#include "vantrelerror.h"

namespace {

const QString Crlf2 = QStringLiteral("\r\n\r\n");

Routine *asRoutine(const RoutineDocPtr &doc)
{
    return dynamic_cast<Routine *>(doc.get());
}

QString number(int value)
{
    return QString::number(value);
}

} // namespace

RoutineNavigator::RoutineNavigator(IDocLink &link, Routines &routines, Dispatch dispatch)
    : m_link(link), m_routines(routines), m_dispatch(std::move(dispatch))
{
}

// --- the server and the main window ----------------------------------------------------------

QStringList RoutineNavigator::transact(const QStringList &request)
{
    return m_link.Transact(0, request);
}

void RoutineNavigator::dispatch(const QStringList &reply)
{
    if (m_dispatch)
        m_dispatch(reply);
}

bool RoutineNavigator::busy() const
{
    return docServices().host && docServices().host->MBusy();
}

bool RoutineNavigator::serverPrompt(QStringList &fields)
{
    if (IDocumentHost *host = docServices().host)
        return host->ServerPrompt(fields);
    return Module1::ServerPrompt(fields);
}

void RoutineNavigator::reportError(const VantrelError &error)
{
    tellUser(error.text(), QString(), IUserPrompt::Icon::Critical);
}

// --- jumping to a line ----------------------------------------------------------------------

void RoutineNavigator::ShowAtTag(const QString &target, bool recordIt, bool editable, int startingType)
{
    Routine *active = asRoutine(m_routines.Active());
    int type = startingType != 0 ? startingType : (active ? active->Typ() : 1);

    if (recordIt && active) {
        const int caretLine = active->Window()->caretLine() + 1;
        m_history.push(active->LabelPlusOffsetOfLine(caretLine) + QLatin1Char('^') + active->Rtn()
                           + QLatin1Char('^') + active->Env(),
                       active->Typ());
    }

    const QStringList parts = target.split(QLatin1Char('^'));
    QString line = parts.value(0);
    if (line.isEmpty())
        line = QStringLiteral("+1");
    QString rtn = parts.value(1);
    QString env = parts.value(2);
    // A bare line reference is a line of the active routine; with nothing active there is
    // no routine to ask the server for.
    if (rtn.isEmpty()) {
        if (!active)
            return;
        rtn = active->Rtn();
        env = active->Env();
    }
    if (env.isEmpty())
        env = m_link.Env();

    QString key;
    for (;;) {
        key = Routine::KeyFor(rtn, env, type);
        if (m_routines.Item(key))
            break;
        if (busy()) {
            MsgBox(QStringLiteral("Unable to load ^") + rtn, MsgBoxStyle::Exclamation,
                   QStringLiteral("Server is busy"));
            return;
        }
        if (type != 2)
            break;
        // Whatever comes back answers this question only: it is acknowledged, never dispatched.
        const LinkSession session(m_link);
        const QStringList reply = transact({QStringLiteral("SIE"), number(type), rtn, env});
        session.acknowledge();
        if (!session.isCurrent())
            return;
        if (reply.value(0) != QLatin1String("SIE") || reply.value(1) != QLatin1String("0"))
            break;
        type = 1;
    }

    RoutineDocPtr doc = m_routines.Item(key);
    RoutineDocPtr shown;
    bool wasReadonly = false;
    if (!doc) {
        if (!editable) {
            ShowRoutine(rtn, env, 0, line, true, type, shown);
            return;
        }
        EditRoutine(rtn, env, wasReadonly, type, shown);
        goToLine(key, line);
        return;
    }
    if (!doc->ReadOnly() || !editable) {
        if (Routine *r = asRoutine(doc))
            r->Activate(false);
        doc->GotoLine(line, 1, -1);
        return;
    }
    EditRoutine(rtn, env, wasReadonly, type, shown);
    goToLine(key, line);
}

void RoutineNavigator::goToLine(const QString &key, const QString &line)
{
    if (RoutineDocPtr doc = m_routines.Item(key))
        doc->GotoLine(line, 1, -1);
}

bool RoutineNavigator::GoBack()
{
    if (m_history.isEmpty())
        return false;
    const NavigationHistory::Place place = m_history.popNewest();
    ShowAtTag(place.text, false, false, place.type);
    return true;
}

// --- showing read-only ----------------------------------------------------------------------

bool RoutineNavigator::ShowRoutine(const QString &rtnName, const QString &environment, int levelNumber,
                                   const QString &target, bool activate, int rtnType,
                                   RoutineDocPtr &objRtn)
{
    const QString key = Routine::KeyFor(rtnName, environment, rtnType);
    objRtn = m_routines.Item(key);
    while (objRtn) {
        Routine *doc = asRoutine(objRtn);
        if (!doc) {
            objRtn.reset();
            break;
        }
        if (doc->ReadOnly()) {
            if (levelNumber < doc->LowWaterMark())
                doc->setLowWaterMark(levelNumber);
            // An "@" routine has no server copy to refresh from, and a copy a stack level
            // shows already holds the text that level runs.
            const bool current = rtnName.startsWith(QLatin1Char('@'))
                              || (doc->HighWaterMark() > 0 && doc->Visible());
            if (current) {
                m_routines.Allocate(doc->Key(), true);
                if (activate)
                    doc->Activate(false);
                return true;
            }
            // A hidden document kept for the stack display is refreshed when it is shown.
            if (!activate)
                return true;
            return refresh(*doc, rtnName, environment, rtnType, objRtn);
        }

        const LinkSession session(m_link);
        if (levelNumber != 0 || askReadOnly(*doc, environment)) {
            // The question ran an event loop: a session that ended under it took the
            // document with it (preserved or closed), and the lock is no longer ours.
            if (!session.isCurrent()) {
                objRtn.reset();
                return false;
            }
            if (levelNumber == 0 && !doc->Modified()) {
                // Switching gives the edit lock back; the loop then treats the document as
                // the read-only one it now is.
                try {
                    doc->setReadOnly(true);
                } catch (const VantrelError &e) {
                    reportError(e);
                    objRtn.reset();
                    return false;
                }
                if (!doc->ReadOnly()) {
                    objRtn.reset();
                    return false;
                }
                session.Send({QStringLiteral("SIU"), number(rtnType), rtnName, environment});
                doc->setHoldsLock(false);
                continue;
            }
            // A separate read-only copy; filing it freezes the editable one.
            objRtn.reset();
            break;
        }
        if (activate)
            doc->Activate(false);
        return false;
    }
    return fetchReadOnly(rtnName, environment, levelNumber, target, rtnType, objRtn);
}

bool RoutineNavigator::askReadOnly(const Routine &doc, const QString &environment)
{
    const QString opening = doc.DisplayName() + QStringLiteral(" from ") + environment;
    if (!doc.Modified()) {
        return MsgBox(opening + QStringLiteral(" is already open for editing.") + Crlf2
                          + QStringLiteral("Do you want to switch to read-only mode?"),
                      MsgBoxStyle::YesNoQuestionDefaultNo, QStringLiteral("Switch to Read-Only?"))
            == MsgBoxStyle::AnswerYes;
    }
    return MsgBox(opening + QStringLiteral(" is already open for editing and has been modified.") + Crlf2
                      + QStringLiteral("If you re-open it read-only the modified version will be frozen "
                                       "until you close the read-only copy.")
                      + Crlf2 + QStringLiteral("Do you want to create the read-only copy?"),
                  MsgBoxStyle::YesNoQuestionDefaultNo, QStringLiteral("Open Another Instance?"))
        == MsgBoxStyle::AnswerYes;
}

bool RoutineNavigator::refresh(Routine &doc, const QString &rtnName, const QString &environment,
                               int rtnType, RoutineDocPtr &objRtn)
{
    const LinkSession session(m_link);
    QStringList reply = transact({QStringLiteral("SIR"), number(rtnType), rtnName, environment, doc.Brand()});
    const QString code = reply.value(0);
    if (code == QLatin1String("SIR")) {
        bool result = true;
        try {
            // Fields 4 and 5 come together: no text means the copy is current.
            if (reply.size() > 4) {
                doc.LoadText(reply.at(4), QStringLiteral("+1"));
                doc.setBrand(reply.value(5));
            }
            if (!reply.value(6).isEmpty())
                doc.setTarvikStatus(FieldConversion::toLong(reply.value(6)));
            m_routines.Allocate(doc.Key(), true);
            doc.Activate(false);
        } catch (const VantrelError &e) {
            reportError(e);
            objRtn.reset();
            result = false;
        }
        session.acknowledge();
        return result && session.isCurrent();
    }
    if (code == QLatin1String("SIM")) {
        serverPrompt(reply);
        session.acknowledge();
        return false;
    }
    dispatch(reply);
    return false;
}

bool RoutineNavigator::fetchReadOnly(const QString &rtnName, const QString &environment, int levelNumber,
                                     const QString &target, int rtnType, RoutineDocPtr &objRtn)
{
    if (rtnType == 0) {
        // A level in code the server has no routine for: an empty read-only document.
        try {
            QString rtn = rtnName, env = environment, text, line;
            bool readOnly = true;
            objRtn = m_routines.Add(&m_link, rtn, env, text, readOnly, line, 0, 0);
            Routine *doc = asRoutine(objRtn);
            doc->setLowWaterMark(levelNumber);
            doc->setBrand(QString());
            m_routines.Allocate(doc->Key(), false);
        } catch (const VantrelError &e) {
            reportError(e);
            objRtn.reset();
            return false;
        }
        return true;
    }

    const LinkSession session(m_link);
    QStringList reply = transact({QStringLiteral("SIG"), number(rtnType), rtnName, environment,
                                  QStringLiteral("1")});
    const QString code = reply.value(0);
    if (code == QLatin1String("SIG")) {
        bool result = true;
        try {
            objRtn = addFromReply(reply, rtnName, environment, rtnType, true, target);
            Routine *doc = asRoutine(objRtn);
            doc->setLowWaterMark(levelNumber);
            doc->setBrand(reply.value(6));
            m_routines.Allocate(doc->Key(), true);
            if (levelNumber == 0)
                doc->Activate(false);
        } catch (const VantrelError &e) {
            reportError(e);
            objRtn.reset();
            result = false;
        }
        session.acknowledge();
        return result && session.isCurrent();
    }
    objRtn.reset();
    if (code == QLatin1String("SIM")) {
        // Whatever the user answers, no document came: the caller must not go on as if one had.
        serverPrompt(reply);
        session.acknowledge();
        return false;
    }
    dispatch(reply);
    return false;
}

RoutineDocPtr RoutineNavigator::addFromReply(const QStringList &reply, const QString &rtnName,
                                             const QString &environment, int rtnType, bool readOnly,
                                             const QString &initialLine)
{
    // A reply without a name would make Add create a new untitled routine, and one without
    // a namespace a document that can only be saved elsewhere: keep the names asked for.
    QString rtn = reply.value(2).isEmpty() ? rtnName : reply.value(2);
    QString env = reply.value(3).isEmpty() ? environment : reply.value(3);
    QString text = reply.value(5);
    QString line = initialLine;
    // A type the server made up keeps the one asked for: a routine is INT, MAC or INC.
    const int typ = FieldConversion::toLongWithin(reply.value(1), 0, 3, rtnType);
    return m_routines.Add(&m_link, rtn, env, text, readOnly, line, typ, FieldConversion::toLong(reply.value(4)));
}

// --- editing --------------------------------------------------------------------------------

bool RoutineNavigator::EditRoutine(const QString &rtnName, const QString &environment, bool &wasReadonly,
                                   int rtnType, RoutineDocPtr &objRtn)
{
    wasReadonly = false;
    const QString key = Routine::KeyFor(rtnName, environment, rtnType);
    while ((objRtn = m_routines.Item(key))) {
        if (!objRtn->ReadOnly()) {
            if (Routine *doc = asRoutine(objRtn))
                doc->Activate(false);
            return true;
        }
        // The INT text is what runs; a MAC routine on the stack may be edited beside it.
        IStackPane *stack = docServices().stack;
        if (rtnType == 1 && stack && stack->IsInStack(rtnName, environment)) {
            MsgBox(rtnName + QStringLiteral(" from ") + environment
                       + QStringLiteral(" cannot be edited because it is in the execution stack of the "
                                        "current debugging session."),
                   MsgBoxStyle::Exclamation);
            return false;
        }
        // Closing the read-only copy may bring back an older copy frozen behind it under the
        // same key, which the next pass looks at. Each pass closes one document; a copy that
        // stays open ends the loop.
        const RoutineDocPtr readOnlyCopy = objRtn;
        bool removed = false;
        try {
            removed = m_routines.Remove(key, false, false);
        } catch (const VantrelError &e) {
            reportError(e);
        }
        if (!removed || m_routines.Item(key) == readOnlyCopy) {
            objRtn.reset();
            return false;
        }
    }
    return fetchForEditing(rtnName, environment, wasReadonly, rtnType, objRtn);
}

bool RoutineNavigator::fetchForEditing(const QString &rtnName, const QString &environment,
                                       bool &wasReadonly, int rtnType, RoutineDocPtr &objRtn)
{
    const LinkSession session(m_link);
    QStringList reply = transact({QStringLiteral("SIG"), number(rtnType), rtnName, environment,
                                  QStringLiteral("0")});
    const QString code = reply.value(0);
    if (code == QLatin1String("SIG")) {
        try {
            objRtn = addFromReply(reply, rtnName, environment, rtnType, false, QString());
            Routine *doc = asRoutine(objRtn);
            doc->setHoldsLock(true);
            doc->setBrand(reply.value(6));
            m_routines.Allocate(doc->Key(), true);
            doc->Activate(false);
        } catch (const VantrelError &e) {
            reportError(e);
            session.acknowledge();
            // The server granted the edit lock with this reply; with no document to hold it,
            // it would stay taken until the session ends.
            if (!objRtn || !asRoutine(objRtn)->HoldsLock())
                session.Send({QStringLiteral("SIU"), reply.value(1), reply.value(2), reply.value(3)});
            objRtn.reset();
            return false;
        }
        session.acknowledge();
        return session.isCurrent();
    }
    objRtn.reset();
    if (code == QLatin1String("SIM")) {
        session.acknowledge();
        const QString refusal = reply.value(2);
        if (!refusal.startsWith(QLatin1String("@RO:"))) {
            // Whatever the user answers, nothing was opened.
            serverPrompt(reply);
            return false;
        }
        wasReadonly = true;
        reply[2] = QStringLiteral("Routine ") + rtnName + QStringLiteral(" from ") + environment
                 + QStringLiteral(" is not available for editing, for the following reason:") + Crlf2
                 + refusal.mid(4) + Crlf2 + QStringLiteral("Do you want to open it read-only?");
        if (!serverPrompt(reply) || !session.isCurrent())
            return false;
        return ShowRoutine(rtnName, environment, 0, QStringLiteral("+1"), true, rtnType, objRtn);
    }
    dispatch(reply);
    return false;
}

// --- all documents --------------------------------------------------------------------------

bool RoutineNavigator::SaveAll()
{
    bool result = true;
    // A save may show a box, under which the session can end: the documents left to save
    // are then preserved copies of it, which no server takes any more.
    const LinkSession session(m_link);
    for (const RoutineDocPtr &doc : m_routines.documents()) {
        if (session.lapsed())
            return false;
        Routine *r = asRoutine(doc);
        if (!r || !r->Modified())
            continue;
        bool saved = false;
        try {
            saved = r->SaveDoc();
        } catch (const VantrelError &e) {
            reportError(e);
        }
        if (!saved)
            result = false;
    }
    return result;
}

void RoutineNavigator::ClearAllTips()
{
    for (const RoutineDocPtr &doc : m_routines.documents())
        if (Routine *r = asRoutine(doc))
            r->ClearTip();
}
