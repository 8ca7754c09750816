// What the message dispatcher does in the main window.
#include "frmmdi.h"

#include "command.h"
#include "commandmanager.h"
#include "frmbreakpoints.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "isentrybooking.h"
#include "mlink.h"
#include "modfileopen.h"
#include "routine.h"
#include "routinenavigator.h"
#include "serverlocation.h"
#include "sources.h"
#include "statusbar.h"

void frmMDI::refreshMState(int state)
{
    m_state = state;
    refreshState(state);
}

void frmMDI::setCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void frmMDI::setStatePanelText(const QString &text)
{
    m_status->statePanel()->setPanelText(text);
}

void frmMDI::setCommandState(const QString &id, int value)
{
    if (Command *command = m_cmdMgr ? m_cmdMgr->command(id) : nullptr)
        command->setStateValue(value);
}

void frmMDI::openItem(int type, const QString &name, const QString &ns, bool readOnly)
{
    // The server names an item of its own, so it opens as one chosen in the Open dialog
    // would, and joins the recent items.
    Sources items;
    if (SourcePtr item = items.Add(type, name, MakeLocation(m_link->HostIP(), ns), QString(), m_link->Brand()))
        item->ReadOnly = readOnly;
    modFileOpen::OpenSources(&items);
}

bool frmMDI::EditRoutine(const QString &name, const QString &ns, bool &wasReadOnly, int type,
                         QString &displayName)
{
    RoutineDocPtr shown;
    const bool opened = m_navigator->EditRoutine(name, ns, wasReadOnly, type, shown);
    if (auto routine = Routine::from(shown))
        displayName = routine->DisplayName();
    return opened;
}

bool frmMDI::ShowRoutine(const QString &name, const QString &ns, int type, QString &displayName)
{
    RoutineDocPtr shown;
    const bool opened = m_navigator->ShowRoutine(name, ns, 0, QStringLiteral("+1"), true, type, shown);
    if (auto routine = Routine::from(shown))
        displayName = routine->DisplayName();
    return opened;
}

QString frmMDI::LocalAddress() const
{
    return m_booking ? m_booking->LocalAddress() : QString();
}

quint16 frmMDI::SentryPort() const
{
    return m_booking ? m_booking->SentryPort() : 0;
}

void frmMDI::closeXecuteRoutines()
{
    // A snapshot: closing one document changes the collection.
    for (const RoutineDocPtr &doc : Routines::instance().documents()) {
        if (doc->Rtn().startsWith(QLatin1Char('@')) && Routines::instance().Locate(doc->Key()))
            Routines::instance().Remove(doc->Key(), false, false);
    }
}

void frmMDI::setTip(const QString &tipKey, const QString &tipText)
{
    if (auto active = Routine::from(Routines::instance().Active()))
        active->SetTip(tipKey, tipText);
}

void frmMDI::report(const QString &text)
{
    if (frmImmediate *pane = immediatePane()) {
        pane->AppendReport(text);
        pane->ShowReport();
    }
}

void frmMDI::breakpointReport(const QStringList &message)
{
    if (frmBreakpoints *pane = breakpointsPane())
        pane->OnReport(message);
}

void frmMDI::showBreakpoint(const QString &env, const QString &rtn, const QString &label, int offset)
{
    if (frmBreakpoints *pane = breakpointsPane())
        pane->ShowBP(env, rtn, label, offset);
}

void frmMDI::setBreakpointsOnServer()
{
    if (frmBreakpoints *pane = breakpointsPane())
        pane->SetBPsOnServer();
}

IVarsPane *frmMDI::vars()
{
    return varsPane();
}

IStackLevels *frmMDI::stack()
{
    return stackPane();
}
