#pragma once

#include "navigationhistory.h"
#include "routines.h"

#include <QString>
#include <QStringList>

#include <functional>

class IDocLink;
class Routine;
class VantrelError;

// The one place that turns "show routine R of namespace N at this line" into an open
// document: read-only for stack levels, breakpoints and jumps, or for editing with the
// server's edit lock. It owns the navigation history the Back commands walk.
//
// Server requests are transactions on the link with the default time-out. A reply of the
// awaited code, or a server prompt ("SIM"), is acknowledged once it has been handled, in
// the session the request was made in (a LinkSession): handling may show a box, under
// which that session can end and the next server connect; nothing of the old one then
// reaches the new one, and the operation reports False. A
// reply of any other code is handed to `dispatch` as if it had arrived on its own and is
// not acknowledged here (the dispatcher acknowledges what it handles); the operation
// then reports False.
//
// What it needs of the main window comes through docServices(): `host` for MBusy and
// ServerPrompt, `stack` for IsInStack; without them the session counts as idle, server
// prompts go to Module1::ServerPrompt and nothing is on the stack. Boxes go through the
// program's user prompt. No exception leaves a member: an error while filing a document
// is shown to the user and reported as False with no document.
class RoutineNavigator
{
public:
    using Dispatch = std::function<void(const QStringList &message)>;

    RoutineNavigator(IDocLink &link, Routines &routines, Dispatch dispatch = {});

    void setDispatch(Dispatch dispatch) { m_dispatch = std::move(dispatch); }

    // Jumps to "label+offset^routine^namespace" (an empty label+offset is "+1"), first
    // recording the active document's caret line when recordIt is set. The routine is
    // looked for as `startingType` (1 INT, 2 MAC, 3 INC), or when that is 0 as the active
    // document's type; a MAC routine the server does not have is looked for as INT.
    void ShowAtTag(const QString &target, bool recordIt, bool editable, int startingType = 0);

    // Shows the routine read-only, fetching it when no usable copy is open. A document open
    // for editing is switched or copied after asking (level 0) or copied without asking
    // (a stack level). `target` is the initial line of a newly fetched document only.
    bool ShowRoutine(const QString &rtnName, const QString &environment, int levelNumber,
                     const QString &target, bool activate, int rtnType, RoutineDocPtr &objRtn);

    // Opens the routine for editing. A server refusal that still allows reading becomes an
    // offer to open it read-only; wasReadonly tells the caller that this happened.
    bool EditRoutine(const QString &rtnName, const QString &environment, bool &wasReadonly,
                     int rtnType, RoutineDocPtr &objRtn);

    // Saves every modified open document; False when any save failed, every save still tried.
    bool SaveAll();
    void ClearAllTips();

    // Back: takes the newest place from the history and shows it, in the routine type it
    // was recorded in. False when the history is empty.
    bool GoBack();

    NavigationHistory &history() { return m_history; }
    const NavigationHistory &history() const { return m_history; }

private:
    QStringList transact(const QStringList &request);
    void dispatch(const QStringList &reply);
    bool busy() const;
    bool serverPrompt(QStringList &fields);
    void reportError(const VantrelError &error);

    // Files the document a "SIG" reply carries: 1 type, 2 routine, 3 namespace,
    // 4 version-control status, 5 text.
    RoutineDocPtr addFromReply(const QStringList &reply, const QString &rtnName,
                               const QString &environment, int rtnType, bool readOnly,
                               const QString &initialLine);
    // Refreshes an open read-only document with "SIR"; False when it was not refreshed.
    bool refresh(Routine &doc, const QString &rtnName, const QString &environment, int rtnType,
                 RoutineDocPtr &objRtn);
    bool fetchReadOnly(const QString &rtnName, const QString &environment, int levelNumber,
                       const QString &target, int rtnType, RoutineDocPtr &objRtn);
    bool fetchForEditing(const QString &rtnName, const QString &environment, bool &wasReadonly,
                         int rtnType, RoutineDocPtr &objRtn);
    // Asks whether a document open for editing may be shown read-only; nothing is changed.
    bool askReadOnly(const Routine &doc, const QString &environment);
    void goToLine(const QString &key, const QString &line);

    IDocLink &m_link;              // the session link, through the documents' adapter
    Routines &m_routines;          // the open documents
    Dispatch m_dispatch;           // the main window's message dispatcher
    NavigationHistory m_history;   // places the user jumped away from
};
