// The main window's session state, listening and accepting.
#include "frmmdi.h"

#include "addin.h"
#include "command.h"
#include "commandmanager.h"
#include "frmfileopen.h"
#include "frmfilesaveas.h"
#include "frmguide.h"
#include "frmimmediate.h"
#include "frmsplash.h"
#include "frmstack.h"
#include "frmvars.h"
#include "iforeground.h"
#include "inputguard.h"
#include "ipanestate.h"
#include "isentrybooking.h"
#include "mdihost.h"
#include "mlink.h"
#include "module1.h"
#include "msgbox.h"
#include "paneform.h"
#include "programsettings.h"
#include "routine.h"
#include "routinenavigator.h"
#include "socketx.h"
#include "statusbar.h"
#include "vantrelerror.h"
#include "vbtimer.h"

#include <QApplication>
#include <QMdiArea>
#include <QPalette>
#include <QSet>

#include <functional>

// --- the session state --------------------------------------------------------------------------

bool frmMDI::MBusy() const
{
    return m_state < 0 || (m_link && m_link->InTransact());
}

void frmMDI::setMState(int state)
{
    if (state != m_state) {
        m_state = state;
        applyStateChange(state);
    }
    refreshState(state);
}

void frmMDI::applyStateChange(int state)
{
    if (m_tmrWindowSwitch->interval() == 0)
        return;
    if (!MBusy()) {
        m_tmrWindowSwitch->setEnabled(false);
        BringToFore();
    } else if (state != -6) {
        // Starts the interval afresh.
        m_tmrWindowSwitch->setEnabled(false);
        m_tmrWindowSwitch->setEnabled(true);
    }
}

void frmMDI::refreshState(int state)
{
    const bool busy = MBusy();
    StatusPanel *panel = m_status->statePanel();
    panel->setPanelText(QString());
    panel->setToolTip(QString());
    panel->setPicture(busy ? QStringLiteral("Busy") : QStringLiteral("Stopped"));
    switch (state) {
    case -6: StatusText(QStringLiteral("Fetching variables")); break;
    case -4: StatusText(QStringLiteral("Application fast-forwarding")); break;
    case -3: StatusText(QStringLiteral("Application running")); break;
    case -2: StatusText(QStringLiteral("Connected with ") + m_link->HostIP()); break;
    case 1: StatusText(QStringLiteral("Application suspended")); break;
    case 2: StatusText(QStringLiteral("Connected with Vantrel shell at ") + m_link->HostIP()); break;
    case 3: StatusText(QStringLiteral("Processing server-initiated disconnect request")); break;
    default: break;
    }
    if (frmStack *stack = stackPane()) {
        if (busy)
            stack->ClearCurrentLineMarker();
        else
            stack->SetCurrentLineMarker();
    }
    if (frmVars *vars = varsPane())
        vars->setListEnabled(!busy);
    if (frmImmediate *immediate = immediatePane())
        immediate->NoteSessionState();
    if (state != -2) {
        const int index = state == 2 ? 1 : 0;
        for (IPaneState *pane : m_panes)
            pane->Notify(index);
    }
    if (m_cmdMgr)
        m_cmdMgr->invalidate();
}

void frmMDI::BringToFore()
{
    quint64 window = 0;
    const qint64 pid = Module1::ForegroundProcessId(window);
    // A process id of 0 means none was remembered: nothing to come forward over.
    if (m_foregroundPid == 0 || pid != m_foregroundPid)
        return;
    m_switchBackWindow = window;
    // There is no foreground lock time-out to lift here; activating is all there is.
    foreground().activate(this);
}

// --- listening and accepting -----------------------------------------------------------------------

void frmMDI::StatusText(const QString &text)
{
    m_status->messagePanel()->setPanelText(text);
}

QString frmMDI::statusText() const
{
    return m_status->messagePanel()->panelText();
}

void frmMDI::Listen()
{
    if (!ensureLoaded())
        return;
    if (!isVisible())
        show();
    // While the splash is up the window only shows: listening starts when it goes.
    if (frmSplash *splash = frmSplash::current()) {
        splash->ClearIfReady();
        return;
    }
    const int port = SocketX::unfoldPort(m_listen->LocalPort());
    if (port == 0) {
        MsgBox(QStringLiteral("No listening port was obtained"), MsgBoxStyle::Critical, QStringLiteral("Vantrel"));
        unloadAndEnd(1);
        return;
    }
    if (m_listen->State() == SocketX::Closed) {
        m_listen->Open();
        if (m_listen->Listen() != 0) {
            MsgBox(QStringLiteral("Unable to listen on port %1\r\r%2").arg(port).arg(m_listen->ErrorText()),
                   MsgBoxStyle::Critical, QStringLiteral("Vantrel"));
            unloadAndEnd(1);
            return;
        }
    } else if (m_listen->State() != SocketX::Listening) {
        MsgBox(QStringLiteral("Listening socket was in unexpected state: ") + m_listen->StateText(),
               MsgBoxStyle::Critical, QStringLiteral("Vantrel"));
        unloadAndEnd(1);
        return;
    }
    m_booking->Listening(true);
    const QString address = m_booking->LocalAddress();
    StatusText(QStringLiteral("Listening on port %1").arg(port)
               + (address.isEmpty() ? QStringLiteral(" (local address lookup failed)")
                                    : QStringLiteral(" at ") + address));
    m_status->statePanel()->setPicture(QStringLiteral("Listening"));
}

void frmMDI::mtcpListen_Accept(int handle)
{
    // A second server while a session runs is not taken: its connection is dropped
    // when this turn of the event loop ends, and the socket listens on. A session whose
    // link died under a message box still runs until its end has been handled to the end
    // (its edited routines preserved, the user told, the panes cleared): the clean-up
    // would otherwise run over the next session. The next server comes after that.
    if (m_link->IsConnected() || m_link->EndPending())
        return;
    m_booking->Listening(false);
    try {
        m_link->Accept(handle, SocketX::unfoldPort(m_listen->LocalPort()));
    } catch (const VantrelError &e) {
        StatusText(e.text());
        m_booking->Listening(true);
        return;
    }
    quint64 window = 0;
    if (!Module1::ForegroundIsOurs(window) && m_foregroundPid == 0) {
        m_foregroundWindow = window;
        m_foregroundPid = Module1::ForegroundProcessId(window);
    }
    frmGuide::unloadCurrent();
    if (isMinimized())
        showNormal();
}

void frmMDI::MLink_OnConnect()
{
    m_booking->Listening(false);
    m_fileOpen->Reset();
    m_fileSaveAs->Reset();
    setMState(-2);
    UpdateRecent();
}

namespace {

// Handles every open routine once, however the collection changes under the walk:
// closing one document can close hidden others, and taking one out can promote its
// frozen copy into the collection, which then needs handling too.
void forEachOpenRoutine(const std::function<void(const RoutineDocPtr &doc)> &handle)
{
    QSet<const IRoutineDoc *> handled;
    for (bool more = true; more;) {
        more = false;
        for (const RoutineDocPtr &doc : Routines::instance().documents()) {
            if (handled.contains(doc.get()) || !Routines::instance().Locate(doc->Key()))
                continue;
            handled.insert(doc.get());
            more = true;
            handle(doc);
        }
    }
}

} // namespace

void frmMDI::MLink_BeforeClose()
{
    if (auto active = Routine::from(Routines::instance().Active()))
        active->Activate(false);
    // The documents close while the link is still up, so that the server hears "SIU".
    forEachOpenRoutine([](const RoutineDocPtr &doc) {
        if (doc->ReadOnly())
            Routines::instance().Free(doc->Key(), true);
        else
            Routines::instance().Remove(doc->Key(), false, true);
    });
}

void frmMDI::MLink_OnClose()
{
    QStringList preservedNames;
    forEachOpenRoutine([&](const RoutineDocPtr &doc) {
        const QString key = doc->Key();
        if (doc->ReadOnly()) {
            Routines::instance().Free(key, true);
        } else if (doc->Modified()) {
            // Typed text must outlive the link: even a routine preserved by an earlier
            // drop is kept again, under a key of its own.
            if (RoutineDocPtr taken = Routines::instance().Extract(key, false)) {
                preserve(taken);
                auto routine = Routine::from(taken);
                preservedNames << (routine ? routine->DisplayName() : taken->Rtn())
                                      + (taken->Env().isEmpty() ? QStringLiteral(" (new)")
                                                                : QStringLiteral(" from ") + taken->Env());
            }
        } else {
            Routines::instance().Remove(key, false, true);
        }
    });
    if (!preservedNames.isEmpty())
        MsgBox(abruptEndText(preservedNames), MsgBoxStyle::Exclamation, QStringLiteral("Vantrel Server Disconnected Abruptly"));
    EndSessionCleanup();
    setMState(-1);
    UpdateRecent();
    setWindowTitle(QStringLiteral("Vantrel"));
    m_foregroundPid = 0;
    Listen();
}

void frmMDI::preserve(const RoutineDocPtr &doc)
{
    QString key = doc->Key();
    for (int n = 2; m_preserved.contains(key); ++n)
        key = doc->Key() + QLatin1Char('#') + QString::number(n);
    m_preserved.add(doc, key);
    doc->setReadOnly(true);
    if (auto routine = Routine::from(doc))
        routine->setHighWaterMark(0);
}

QString frmMDI::abruptEndText(const QStringList &displayNames)
{
    QString text = QStringLiteral("The following modified ")
                   + (displayNames.size() == 1
                          ? QStringLiteral("routine has been preserved as a read-only document:")
                          : QStringLiteral("routines have been preserved as read-only documents:"))
                   + QLatin1Char('\r');
    for (const QString &name : displayNames)
        text += QStringLiteral("\r\t") + name;
    text += QStringLiteral("\r\rTo reapply the changes to a routine:\r\r"
                           "1)\tRe-establish the connection.\r"
                           "2)\tRe-open the routine if it already exists.\r"
                           "3)\tUse Copy and Paste, taking account of any other changes\r"
                           "\tthat may have occurred in the intervening period.\r"
                           "4)\tSave the results of your editing.\r"
                           "5)\tClose the read-only document containing the original preserved changes.");
    return text;
}

bool frmMDI::Disconnect(bool canCancel)
{
    static const QString busyAdvice = QStringLiteral(
        "\rIt might be busy processing application code.\r"
        "In this situation it is recommended you initiate disconnection from the server side if possible.\r\r");
    Routines &routines = Routines::instance();
    // A question waits for the user while the server may drop the link: its session's
    // end is then handled on its own (edited routines preserved), and neither a save
    // nor a close may reach whatever link comes next.
    const LinkSession session(*m_link);
    const bool connected = m_link->IsConnected();
    const auto sessionGone = [&] { return connected && !session.isCurrent(); };
    bool result = true;
    if (!routines.AnyModified(true)) {
        if (MBusy() && routines.AnyLocksHeld(true)) {
            Module1::ForceForeground(this);
            result = MsgBox(QStringLiteral("Server is not currently able to release routine locks immediately.")
                                + busyAdvice + QStringLiteral("Continue with this disconnect anyway?"),
                            MsgBoxStyle::YesNoQuestionDefaultNo, QString()) == MsgBoxStyle::AnswerYes;
        }
    } else {
        Module1::ForceForeground(this);
        if (!MBusy()) {
            const int answer = MsgBox(QStringLiteral("Save modified routine(s) before disconnecting?"),
                                      (canCancel ? MsgBoxStyle::YesNoCancel : MsgBoxStyle::YesNo) + MsgBoxStyle::Question, QString());
            if (sessionGone())
                return true;
            if (answer == MsgBoxStyle::AnswerCancel) {
                result = false;
            } else if (answer == MsgBoxStyle::AnswerYes && !m_navigator->SaveAll()) {
                result = MsgBox(QStringLiteral("Not all modified routines were saved. Continue with disconnect "
                                               "anyway, and lose changes?"),
                                MsgBoxStyle::YesNoQuestionDefaultNo, QString()) == MsgBoxStyle::AnswerYes;
            }
        } else {
            result = MsgBox(QStringLiteral("Server is not currently able to save your modified routine(s)")
                                + (routines.AnyLocksHeld(true)
                                       ? QStringLiteral(",\rnor to release routine locks immediately.")
                                       : QStringLiteral("."))
                                + busyAdvice + QStringLiteral("Continue with this disconnect anyway, and lose changes?"),
                            MsgBoxStyle::YesNoQuestionDefaultNo, QString()) == MsgBoxStyle::AnswerYes;
        }
    }
    if (sessionGone())
        return true;
    if (result) {
        StatusText(QStringLiteral("Disconnecting..."));
        m_link->Disconnect();
    }
    return result;
}

void frmMDI::EndSessionCleanup()
{
    forEachOpenRoutine([](const RoutineDocPtr &doc) {
        auto routine = Routine::from(doc);
        if (!routine)
            return;
        routine->setHighWaterMark(0);
        // Loaded only for the stack: the stack is gone.
        if (routine->LowWaterMark() > 0)
            Routines::instance().Free(doc->Key(), false);
    });
    if (frmStack *stack = stackPane())
        stack->ResetStack();
    if (frmVars *vars = varsPane())
        vars->Clear();
    if (Command *breakCommand = m_cmdMgr->command(QStringLiteral("DbgBreak")))
        breakCommand->setStateValue(0);
}

LinkSession frmMDI::currentSession() const
{
    return LinkSession(*m_link);
}

void frmMDI::StatusPanelClick(StatusPanel *panel)
{
    if (!panel || panel->key() != QLatin1String("State"))
        return;
    ProgramSettings &settings = programSettings();
    if (settings.CommandCounter) {
        panel->setPanelText(QString());
        panel->setBevel(StatusPanel::NoBevel);
        currentSession().Send({QStringLiteral("CC"), QStringLiteral("-1")});
        settings.CommandCounter = false;
    } else {
        panel->setBevel(StatusPanel::Inset);
        currentSession().Send({QStringLiteral("CC"), QStringLiteral("0")});
        settings.CommandCounter = true;
    }
}

// --- the documents' host -------------------------------------------------------------------------

bool frmMDI::ServerPrompt(QStringList &fields)
{
    return Module1::ServerPrompt(fields);
}

int frmMDI::documentWindowCount() const
{
    return m_mdi->windowCount();
}

bool frmMDI::anyDocumentWindowVisible() const
{
    return m_mdi->anyWindowVisible();
}

bool frmMDI::documentTabsShown() const
{
    return m_mdi->tabsVisible();
}

void frmMDI::startRelayoutTimer()
{
    m_tmrJiggle->setEnabled(true);
}

bool frmMDI::mainWindowMinimised() const
{
    return isMinimized();
}

void frmMDI::restoreMainWindow()
{
    showNormal();
}

bool frmMDI::applicationActive() const
{
    quint64 window = 0;
    return Module1::ForegroundIsOurs(window);
}

bool frmMDI::Linewise() const
{
    return programSettings().Linewise;
}

bool frmMDI::SwitchToReportOnSaveError() const
{
    return programSettings().SwitchToReportOnSaveError;
}

void frmMDI::begin()
{
    if (m_transactDepth++ == 0) {
        if (!m_inputGuard)
            m_inputGuard = new InputGuard(this);
        m_inputGuard->waitStarts();
        // Switching the window off takes the keyboard from the widget that had it, and
        // switching it on does not give it back: the user's next keys would go nowhere.
        m_focusBeforeTransact = QApplication::focusWidget();
        setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void frmMDI::end()
{
    if (m_transactDepth == 0)
        return;
    if (--m_transactDepth == 0) {
        QApplication::restoreOverrideCursor();
        setEnabled(true);
        QWidget *focus = m_focusBeforeTransact;
        m_focusBeforeTransact = nullptr;
        // Only while nothing else took it meanwhile (a box the reply raised, a window
        // the transaction opened).
        if (focus && !QApplication::focusWidget() && focus->isVisible() && focus->isEnabled())
            focus->setFocus(Qt::OtherFocusReason);
        // What the user gave the window meanwhile is still queued and comes now that it
        // is on again; the guard drops it as it arrives.
        m_inputGuard->waitEnds();
    }
}
