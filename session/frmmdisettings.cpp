// The main window's settings, timers, keys and command routing.
#include "frmmdi.h"

#include "commandmanager.h"
#include "frmattach.h"
#include "frmconnect.h"
#include "frmfileopen.h"
#include "frmstack.h"
#include "panedock.h"
#include "paneform.h"
#include "serverlocation.h"
#include "frmimmediate.h"
#include "frmvars.h"
#include "frmbreakpoints.h"
#include "command.h"
#include "commandcategory.h"
#include "iforeground.h"
#include "mainmenus.h"
#include "mdihost.h"
#include "memento.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "modfileopen.h"
#include "module1.h"
#include "programsettings.h"
#include "routine.h"
#include "routinenavigator.h"
#include "userprompt.h"
#include "vantrelerror.h"
#include "sources.h"
#include "vbtimer.h"
#include "vbkeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>

namespace {

const QString LayoutKey = QStringLiteral("@Layout");

// CodeFont.Charset of the OEM character set: the dialog font then takes the code
// font's name rather than its character set.
constexpr int OemCharset = 255;

struct KeyCommand
{
    int keyCode;
    int shift;           // 0 none, 1 Shift, 2 Ctrl, 3 Ctrl+Shift
    const char *id;
    bool run;            // pressed (state value 1) before it is executed
};

const KeyCommand KeyDownTable[] = {
    {113, 0, "BmkNext", false},     {113, 1, "BmkPrevious", false},
    {113, 2, "BmkToggle", false},   {113, 3, "BmkClearAll", false},
    {114, 0, "EdFindNext", false},
    {116, 0, "DbgGo", true},        {116, 1, "DbgGoFast", true},
    {118, 0, "DbgLinewise", false}, {118, 1, "DbgBonE", false},
    {119, 0, "DbgStepIn", true},    {119, 1, "DbgStepOver", true},
    {119, 2, "DbgRunTo", true},     {119, 3, "DbgStepOut", true},
    {120, 0, "DbgToggle", false},
};

struct CharCommand
{
    int keyAscii;
    const char *id;
};

const CharCommand KeyPressTable[] = {
    {3, "EdCopy"},  {6, "EdFind"},  {7, "EdGoto"},   {8, "EdReplace"},
    {14, "FlNew"},  {15, "FlOpen"}, {16, "FlPrint"}, {19, "FlSave"},
    {22, "EdPaste"}, {24, "EdCut"}, {26, "EdUndo"},
};

} // namespace

// --- settings ------------------------------------------------------------------------------------

void frmMDI::restoreMemento(const Memento &m)
{
    ProgramSettings &s = programSettings();
    m_settingsRestored = true;
    s.ChildMaxed = true;
    m.readBool(QStringLiteral("ChildMaxed"), s.ChildMaxed);
    Routine::setChildMaxed(s.ChildMaxed);
    m.readBool(QStringLiteral("BreakOnError"), s.BreakOnError);
    m.readBool(QStringLiteral("StepLinewise"), s.StepLinewise);
    m.readBool(QStringLiteral("CommandCounter"), s.CommandCounter);
    m.readBool(QStringLiteral("ShowGuideAtStartup"), s.ShowGuideAtStartup);

    qint32 interval = 0;
    if (m.readInt(QStringLiteral("AutoSwitchInterval"), interval))
        m_tmrWindowSwitch->setInterval(interval);

    m.readBool(QStringLiteral("CodeWrap"), m_codeWrap);
    m.readBool(QStringLiteral("ViewRich"), m_viewRich);
    m.readBool(QStringLiteral("ViewBlocks"), m_viewBlocks);
    for (const char *name : {"mnuViewWrap", "mnuViewRich", "mnuViewBlocks"}) {
        if (QAction *item = menuItem(QLatin1String(name)))
            item->setChecked(*viewTick(QLatin1String(name)));
    }

    s.SwitchToReportOnSaveError = true;
    m.readBool(QStringLiteral("SwitchToReportOnSaveError"), s.SwitchToReportOnSaveError);

    if (m.readInt(QStringLiteral("KeepAliveInterval"), interval) && interval >= 0)
        m_tmrKeepAlive->setInterval(interval >= 1 && interval <= 4999 ? 5000 : interval);

    bool tabsVisible = true;
    if (m.readBool(QStringLiteral("DocumentTabs.Visible"), tabsVisible) && !tabsVisible)
        m_mdi->setTabsVisible(false);
    qint32 edge = 0;
    if (m.readInt(QStringLiteral("DocumentTabs.Edge"), edge))
        m_mdi->setTabsEdge(edge);

    QByteArray nameBytes;
    if (m.readBytes(QStringLiteral("CodeFont.Name"), nameBytes) && !nameBytes.isEmpty()) {
        const QString name = QString::fromUtf16(reinterpret_cast<const char16_t *>(nameBytes.constData()),
                                                nameBytes.size() / 2);
        if (!name.isEmpty()) {
            s.codeFont.setFamily(name);
            double size = 0;
            if (m.readDouble(QStringLiteral("CodeFont.Size"), size) && size > 0)
                s.codeFont.setPointSizeF(size);
            qint32 charset = 0;
            if (m.readInt(QStringLiteral("CodeFont.Charset"), charset))
                m_codeFontCharset = charset;
            if (m_codeFontCharset == OemCharset)
                s.dialogFont.setFamily(s.codeFont.family());
            else
                m_dialogFontCharset = m_codeFontCharset;
        }
    }

    if (MementoPtr layout = m.readMemento(LayoutKey)) {
        QByteArray bytes;
        if (layout->readBytes(QStringLiteral("Geometry"), bytes))
            restoreGeometry(bytes);
        if (layout->readBytes(QStringLiteral("State"), bytes))
            restoreState(bytes);
    }
}

MementoPtr frmMDI::saveMemento()
{
    const ProgramSettings &s = programSettings();
    auto m = std::make_shared<Memento>();
    // The documents keep the state the last code window was hidden in.
    programSettings().ChildMaxed = Routine::ChildMaxed();
    m->write(QStringLiteral("ChildMaxed"), s.ChildMaxed);
    m->write(QStringLiteral("BreakOnError"), s.BreakOnError);
    m->write(QStringLiteral("StepLinewise"), s.StepLinewise);
    m->write(QStringLiteral("CommandCounter"), s.CommandCounter);
    m->write(QStringLiteral("ShowGuideAtStartup"), s.ShowGuideAtStartup);
    m->write(QStringLiteral("AutoSwitchInterval"), qint32(m_tmrWindowSwitch->interval()));
    m->write(QStringLiteral("KeepAliveInterval"), qint32(m_tmrKeepAlive->interval()));
    m->write(QStringLiteral("CodeWrap"), m_codeWrap);
    m->write(QStringLiteral("ViewRich"), m_viewRich);
    m->write(QStringLiteral("ViewBlocks"), m_viewBlocks);
    m->write(QStringLiteral("DocumentTabs.Visible"), m_mdi->tabsVisible());
    m->write(QStringLiteral("DocumentTabs.Edge"), qint32(m_mdi->tabsEdge()));
    m->write(QStringLiteral("SwitchToReportOnSaveError"), s.SwitchToReportOnSaveError);
    const QString family = s.codeFont.family();
    m->write(QStringLiteral("CodeFont.Name"),
             QByteArray(reinterpret_cast<const char *>(family.utf16()), family.size() * 2));
    m->write(QStringLiteral("CodeFont.Size"), s.codeFont.pointSizeF());
    m->write(QStringLiteral("CodeFont.Charset"), qint32(qint16(m_codeFontCharset)));

    auto layout = std::make_shared<Memento>();
    layout->write(QStringLiteral("Geometry"), saveGeometry());
    layout->write(QStringLiteral("State"), saveState());
    m->writeMemento(LayoutKey, layout);
    return m;
}

// --- timers ----------------------------------------------------------------------------------------

void frmMDI::tmrJiggle_Timer()
{
    m_tmrJiggle->setEnabled(false);
    if (isMinimized())
        return;
    m_mdi->relayout();
}

void frmMDI::tmrKeepAlive_Timer()
{
    if (!MBusy())
        currentSession().Send({QStringLiteral("PING")});
}

void frmMDI::tmrWindowSwitch_Timer()
{
    m_tmrWindowSwitch->setEnabled(false);
    quint64 window = 0;
    if (Module1::ForegroundIsOurs(window) && m_switchBackWindow != 0)
        foreground().activateForeign(m_switchBackWindow);
}

// --- keys --------------------------------------------------------------------------------------------

// Each physical key press reaches here once (the child windows forward it once), so a
// key acts on its first call.
void frmMDI::PreviewKeyDown(int &KeyCode, int &Shift)
{
    if (Shift < 0 || Shift > 3)
        return;
    for (const KeyCommand &k : KeyDownTable) {
        if (k.keyCode == KeyCode && k.shift == Shift) {
            KeyCode = 0;
            runKeyCommand(QString::fromLatin1(k.id), k.run);
            return;
        }
    }
}

void frmMDI::PreviewKeyPress(int &KeyAscii)
{
    for (const CharCommand &k : KeyPressTable) {
        if (k.keyAscii == KeyAscii) {
            KeyAscii = 0;
            runKeyCommand(QString::fromLatin1(k.id), false);
            return;
        }
    }
}

bool frmMDI::isCommandKey(const QKeyEvent *event)
{
    return !commandForKey(event).isEmpty();
}

QString frmMDI::commandForKey(const QKeyEvent *event)
{
    const int keyCode = VbKeys::virtualKey(event);
    const int shift = VbKeys::shiftState(event->modifiers());
    for (const KeyCommand &k : KeyDownTable) {
        if (k.keyCode == keyCode && k.shift == shift)
            return QString::fromLatin1(k.id);
    }
    const int ascii = VbKeys::controlKeyAscii(event);
    for (const CharCommand &k : KeyPressTable) {
        if (ascii != 0 && k.keyAscii == ascii)
            return QString::fromLatin1(k.id);
    }
    return QString();
}

QList<QPair<QKeySequence, QString>> frmMDI::commandKeys()
{
    // The tables hold the codes the key handlers compare: function keys as virtual key
    // codes (F1 is 112), control characters as Ctrl and the letter they come from.
    constexpr int VkF1 = 112;
    QList<QPair<QKeySequence, QString>> keys;
    for (const KeyCommand &k : KeyDownTable) {
        Qt::KeyboardModifiers modifiers;
        if (k.shift & 1)
            modifiers |= Qt::ShiftModifier;
        if (k.shift & 2)
            modifiers |= Qt::ControlModifier;
        keys.append({QKeySequence(QKeyCombination(modifiers, Qt::Key(Qt::Key_F1 + k.keyCode - VkF1))),
                     QString::fromLatin1(k.id)});
    }
    for (const CharCommand &k : KeyPressTable)
        keys.append({QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(Qt::Key_A + k.keyAscii - 1))),
                     QString::fromLatin1(k.id)});
    return keys;
}

void frmMDI::runKeyCommand(const QString &id, bool runCommand)
{
    Command *cmd = m_cmdMgr->command(id);
    if (!cmd)
        return;
    m_cmdMgr->refresh(*cmd);
    if (!cmd->enabled()) {
        QApplication::beep();
        return;
    }
    if (runCommand)
        cmd->setStateValue(1);
    m_cmdMgr->execute(*cmd);
}

void frmMDI::executeCommand(const QString &id)
{
    if (Command *cmd = m_cmdMgr->command(id)) {
        m_cmdMgr->refresh(*cmd);
        m_cmdMgr->execute(*cmd);
    }
}

// Code windows and docked panes never block the menus; only a floating tool form of
// the window (the tool-bar customisation, for one) does while it is shown.
bool frmMDI::CommandsBlocked() const
{
    const auto tools = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : tools) {
        if (w->isWindow() && w->isVisible() && w->property("vantrelToolForm").toBool())
            return true;
    }
    return false;
}

void frmMDI::UpdateRecent()
{
    const QString prefix = MakeLocation(m_link->HostIP(), QString());
    Sources recent;
    if (m_fileOpen)
        m_fileOpen->GetRecent(0, recent);
    int filled = 0;
    int position = 0;
    for (const SourcePtr &item : recent) {
        ++position;
        if (filled == 9)
            break;
        if (!item || !item->Path.startsWith(prefix))
            continue;
        ++filled;
        QAction *entry = m_recentItems.value(filled);
        if (!entry)
            break;
        QString caption = QStringLiteral("&%1 %2 from %3").arg(filled).arg(item->DisplayName(),
                                                                       item->Path.mid(prefix.size()));
        if (item->ReadOnly)
            caption += QStringLiteral(" (Read)");
        entry->setText(caption);
        entry->setData(QString::number(position));
        MainMenus::setTag(entry, QString::number(position));
        entry->setVisible(true);
        if (filled == 1)
            m_recentItems.value(0)->setVisible(true);
    }
    if (filled == 0 && !m_recentItems.isEmpty())
        m_recentItems.value(0)->setVisible(false);
    for (int i = filled + 1; i < m_recentItems.size(); ++i)
        m_recentItems.value(i)->setVisible(false);
}

// --- command routing --------------------------------------------------------------------------------

void frmMDI::Handle(Command &cmd, CommandUI *, bool &stopRouting)
{
    stopRouting = true;
    if (!cmd.enabled()) {
        // A disabled button the tool bar has just pressed pops up again.
        if (cmd.id() != QLatin1String("EdGoto") && (cmd.style() & 3) == 2)
            cmd.setStateValue(0);
        return;
    }
    const QString id = cmd.id();
    ProgramSettings &s = programSettings();
    if (id == QLatin1String("DbgDisconnect")) {
        Disconnect(true);
    } else if (id == QLatin1String("DbgConnect")) {
        ClearAllTips();
        cmd.setStateValue(1);
        m_connect->DoIt();
        cmd.setStateValue(0);
    } else if (id == QLatin1String("DbgAttach")) {
        cmd.setStateValue(1);
        m_attach->DoIt();
        cmd.setStateValue(0);
    } else if (id == QLatin1String("DbgGo")) {
        if (m_state == 1) {
            setMState(-3);
            currentSession().Send({QStringLiteral("GO"), QStringLiteral("0")});
        }
    } else if (id == QLatin1String("DbgGoFast")) {
        if (m_state == 1 || m_state == -3) {
            currentSession().Send({QStringLiteral("GO"), m_state == 1 ? QStringLiteral("1") : QStringLiteral("2")});
            setMState(-4);
        }
    } else if (id == QLatin1String("DbgBreak")) {
        // While an immediate command's output streams in, Break ends that output; the
        // server's process is suspended and has nothing else to break.
        if (m_state == frmImmediate::ExecutingState) {
            if (frmImmediate *immediate = immediatePane())
                immediate->StopOutput();
            cmd.setStateValue(0);
            return;
        }
        currentSession().Send({QStringLiteral("BRK")});
        StatusText(QStringLiteral("Break requested"));
    } else if (id == QLatin1String("DbgStepIn") || id == QLatin1String("DbgStepOver")) {
        if (m_state == 1) {
            const bool in = id == QLatin1String("DbgStepIn");
            setMState(-3);
            currentSession().Send({QString(in ? "STPin" : "STPover") + (s.Linewise ? "L" : "")});
            StatusText(QString(in ? "Stepping in" : "Stepping over") + (s.Linewise ? " (linewise)" : ""));
        }
    } else if (id == QLatin1String("DbgStepOut")) {
        if (m_state == 1) {
            setMState(-3);
            currentSession().Send({QStringLiteral("STPout")});
            StatusText(QStringLiteral("Stepping out"));
        }
    } else if (id == QLatin1String("DbgBonE")) {
        s.BreakOnError = !s.BreakOnError;
        currentSession().Send({QStringLiteral("BonE"), s.BreakOnError ? QStringLiteral("-1") : QStringLiteral("0")});
    } else if (id == QLatin1String("DbgLinewise")) {
        s.StepLinewise = !s.StepLinewise;
        s.Linewise = s.StepLinewise;
        if (frmStack *stack = stackPane()) {
            stack->ClearCurrentLineMarker();
            stack->SetCurrentLineMarker();
        }
    } else if (id == QLatin1String("VwImmediate") || id == QLatin1String("VwStack")
               || id == QLatin1String("VwVars") || id == QLatin1String("VwBPs")) {
        showPane(id);
    } else if (id == QLatin1String("FlNew")) {
        QString rtn, env, text, initialLine = QStringLiteral("+1");
        bool readOnly = false;
        try {
            if (RoutineDocPtr doc = Routines::instance().Add(m_docLink.get(), rtn, env, text, readOnly,
                                                             initialLine, 1, 0)) {
                if (auto *routine = dynamic_cast<Routine *>(doc.get()))
                    routine->Activate(true);
            }
        } catch (const VantrelError &e) {
            tellUser(e.text(), QString(), IUserPrompt::Icon::Critical);
        }
    } else if (id == QLatin1String("FlOpen")) {
        // Pressed while the dialog is up; it is modal, so this call returns after it closes.
        cmd.setStateValue(1);
        modFileOpen::FileOpen();
        cmd.setStateValue(0);
    } else if (id == QLatin1String("FlSaveAll")) {
        cmd.setStateValue(1);
        m_navigator->SaveAll();
        cmd.setStateValue(0);
    } else {
        stopRouting = false;
    }
}

void frmMDI::showPane(const QString &id)
{
    if (id == QLatin1String("VwVars")) {
        frmVars *vars = varsPane();
        if (!vars)
            return;
        // A pane that was closed missed the stops meanwhile: it fetches its level afresh.
        if (vars->dock()->isHidden()) {
            vars->ShowMe();
            vars->setFocus();
            if (QWidget *list = vars->SelectedList())
                list->setFocus();
            vars->Update(0, QString());
        } else {
            vars->setFocus();
        }
        return;
    }
    PaneForm *pane = nullptr;
    QWidget *list = nullptr;
    if (id == QLatin1String("VwStack")) {
        pane = stackPane();
        list = stackPane() ? stackPane()->Stack() : nullptr;
    } else if (id == QLatin1String("VwBPs")) {
        pane = breakpointsPane();
        list = breakpointsPane() ? breakpointsPane()->SelectedList() : nullptr;
    } else {
        if (frmImmediate *immediate = immediatePane())
            immediate->ShowExecute();
        return;
    }
    if (!pane)
        return;
    if (pane->dock()->isHidden())
        pane->ShowMe();
    pane->setFocus();
    if (list)
        list->setFocus();
}

void frmMDI::UpdateUI(Command &cmd, bool &stopRouting)
{
    stopRouting = true;
    const ProgramSettings &s = programSettings();
    const QString id = cmd.id();
    const QString category = cmd.category() ? cmd.category()->name() : QString();
    bool enabled = true;
    if (category == QLatin1String("File")) {
        enabled = m_state != -1;
        if (id == QLatin1String("FlOpen"))
            enabled = enabled && !MBusy();
        else if (id == QLatin1String("FlSaveAll"))
            enabled = enabled && !MBusy() && Routines::instance().AnyModified(false);
        else if (id != QLatin1String("FlNew"))
            enabled = false;
    } else if (category == QLatin1String("Debug")) {
        enabled = m_state != -1;
        const bool connected = m_link->IsConnected();
        if (id == QLatin1String("DbgStepIn") || id == QLatin1String("DbgStepOver")
            || id == QLatin1String("DbgStepOut") || id == QLatin1String("DbgRunTo")) {
            enabled = enabled && (m_state == 1 || s.isWine);
            if (m_state != -3 && m_state != -4)
                cmd.setStateValue(0);
        } else if (id == QLatin1String("DbgGo")) {
            enabled = enabled && (m_state == 1 || s.isWine);
            if (m_state != -3)
                cmd.setStateValue(0);
        } else if (id == QLatin1String("DbgGoFast")) {
            enabled = enabled && (m_state == 1 || m_state == -3 || s.isWine);
            if (m_state != -4)
                cmd.setStateValue(0);
        } else if (id == QLatin1String("DbgBreak")) {
            enabled = enabled && ((m_state == -3 && cmd.stateValue() != 1)
                                  || m_state == frmImmediate::ExecutingState || s.isWine);
        } else if (id == QLatin1String("DbgToggle")) {
            enabled = false;
        } else if (id == QLatin1String("DbgBonE")) {
            enabled = !(connected && !m_link->HasFeature(8));
            cmd.setStateValue(enabled && s.BreakOnError ? 1 : 0);
        } else if (id == QLatin1String("DbgLinewise")) {
            if (connected && !m_link->HasFeature(16)) {
                enabled = false;
                cmd.setStateValue(1);
            } else if (connected && m_link->ProtocolVersion() < 1) {
                enabled = false;
                cmd.setStateValue(0);
            } else {
                enabled = true;
                cmd.setStateValue(s.StepLinewise ? 1 : 0);
            }
        } else if (id == QLatin1String("DbgConnect")) {
            // Not while an attach waits: its session may arrive any moment.
            enabled = m_state == -1 && !(m_attach && m_attach->tmrStatus.isActive());
        } else if (id == QLatin1String("DbgAttach")) {
            enabled = m_attach && m_attach->IsAvailable() && m_state == -1 && !m_attach->tmrStatus.isActive();
        }
    } else if (category == QLatin1String("View")) {
        enabled = true;
    } else {
        enabled = false;
    }
    cmd.setEnabled(enabled);
}

// --- the code font -----------------------------------------------------------------------------------

void frmMDI::applyCodeFont(const QFont &font, int charset)
{
    programSettings().codeFont = font;
    m_codeFontCharset = charset;
    if (m_menus && m_menus->immediatePane().setIOFont)
        m_menus->immediatePane().setIOFont(font);
    // Frozen copies are still shown while their stack levels last, and preserved ones
    // until they are saved or closed: they take the font too.
    Routines &routines = Routines::instance();
    std::vector<RoutineDocPtr> documents = routines.documents();
    for (const RoutineDocPtr &doc : routines.documents()) {
        if (RoutineDocPtr frozen = routines.frozenItem(doc->Key()))
            documents.push_back(frozen);
    }
    for (const RoutineDocPtr &kept : m_preserved)
        documents.push_back(kept);
    for (const RoutineDocPtr &doc : documents) {
        if (auto routine = Routine::from(doc))
            routine->setFont(font);
    }
}
