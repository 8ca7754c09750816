// The main window's session state, listening and accepting.
#include "frmmdi.h"

#include "addin.h"
#include "command.h"
#include "commandmanager.h"
#include "frmfileopen.h"
#include "frmfilesaveas.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "paneform.h"
#include "iforeground.h"
#include "ipanestate.h"
#include "isentrybooking.h"
#include "mdihost.h"
#include "mlink.h"
#include "module1.h"
#include "msgbox.h"
#include "programsettings.h"
#include "socketx.h"
#include "statusbar.h"
#include "vantrelerror.h"
#include "vbtimer.h"

#include <QApplication>
#include <QMdiArea>
#include <QPalette>

namespace {
constexpr int StyleCritical = 16;
}

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
    if (state == 1) {
        if (frmImmediate *immediate = immediatePane()) {
            const QColor window = QApplication::palette().color(QPalette::Base);
            if (immediate->ioBackground() != window)
                immediate->setIOBackground(window);
        }
    }
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
    const int port = SocketX::unfoldPort(m_listen->LocalPort());
    if (port == 0) {
        MsgBox(QStringLiteral("No listening port was obtained"), StyleCritical, QStringLiteral("Vantrel"));
        unloadAndEnd(1);
        return;
    }
    if (m_listen->State() == SocketX::Closed) {
        m_listen->Open();
        if (m_listen->Listen() != 0) {
            MsgBox(QStringLiteral("Unable to listen on port %1\r\r%2").arg(port).arg(m_listen->ErrorText()),
                   StyleCritical, QStringLiteral("Vantrel"));
            unloadAndEnd(1);
            return;
        }
    } else if (m_listen->State() != SocketX::Listening) {
        MsgBox(QStringLiteral("Listening socket was in unexpected state: ") + m_listen->StateText(),
               StyleCritical, QStringLiteral("Vantrel"));
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
    // when this turn of the event loop ends, and the socket listens on.
    if (m_link->IsConnected())
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

void frmMDI::MLink_OnClose()
{
    EndSessionCleanup();
    setMState(-1);
    UpdateRecent();
    setWindowTitle(QStringLiteral("Vantrel"));
    m_foregroundPid = 0;
    Listen();
}

bool frmMDI::Disconnect(bool)
{
    StatusText(QStringLiteral("Disconnecting..."));
    m_link->Disconnect();
    return true;
}

void frmMDI::EndSessionCleanup()
{
    if (frmStack *stack = stackPane())
        stack->ResetStack();
    if (frmVars *vars = varsPane())
        vars->Clear();
    if (Command *breakCommand = m_cmdMgr->command(QStringLiteral("DbgBreak")))
        breakCommand->setStateValue(0);
}

void frmMDI::StatusPanelClick(StatusPanel *panel)
{
    if (!panel || panel->key() != QLatin1String("State"))
        return;
    ProgramSettings &settings = programSettings();
    if (settings.CommandCounter) {
        panel->setPanelText(QString());
        panel->setBevel(StatusPanel::NoBevel);
        m_link->Send({QStringLiteral("CC"), QStringLiteral("-1")});
        settings.CommandCounter = false;
    } else {
        panel->setBevel(StatusPanel::Inset);
        m_link->Send({QStringLiteral("CC"), QStringLiteral("0")});
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
    }
}
