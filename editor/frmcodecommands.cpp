// The code window's part in the command routing: which of the shared commands it enables
// and presses while it is the active child, and how it carries them out.
#include "frmcode.h"

#include "activeeditordocument.h"
#include "command.h"
#include "commandcategory.h"
#include "commandmanager.h"
#include "commandui.h"
#include "frmgoto.h"
#include "frmundolist.h"
#include "imainwindow.h"
#include "linedata.h"
#include "routine.h"
#include "sourceview.h"
#include "systemprobe.h"
#include "userprompt.h"
#include "vantrelerror.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QSet>

namespace {

bool is(const QString &id, const char *name)
{
    return id == QLatin1String(name);
}

// The commands this window carries out. Others it may enable (EdBlk, the View
// commands) but leaves to the next router when they run.
const QSet<QString> &commandsWithAction()
{
    static const QSet<QString> ids = {
        QStringLiteral("BmkToggle"), QStringLiteral("BmkFirst"), QStringLiteral("BmkPrevious"),
        QStringLiteral("BmkNext"), QStringLiteral("BmkLast"), QStringLiteral("BmkClearAll"),
        QStringLiteral("BlkCollapse"), QStringLiteral("BlkExpand"), QStringLiteral("BlkCollapseAll"),
        QStringLiteral("BlkExpandAll"), QStringLiteral("DbgToggle"), QStringLiteral("DbgRunTo"),
        QStringLiteral("EdUndo"), QStringLiteral("EdRedo"), QStringLiteral("EdCut"), QStringLiteral("EdCopy"),
        QStringLiteral("EdPaste"), QStringLiteral("EdDelete"), QStringLiteral("EdFind"),
        QStringLiteral("EdFindNext"), QStringLiteral("EdReplace"), QStringLiteral("EdGoto"),
        QStringLiteral("FlPrint"), QStringLiteral("FlSave"), QStringLiteral("FlSaveAs"),
    };
    return ids;
}

bool sessionBusy()
{
    if (IMainWindow *main = mainWindow())
        return main->MBusy();
    IDocumentHost *host = docServices().host;
    return host && host->MBusy();
}

// The manager keeps the answer up to date with the clipboard, so a refresh every quarter
// second need not ask the clipboard itself.
bool clipboardHasText(const Command &cmd)
{
    if (auto *manager = qobject_cast<CommandManager *>(cmd.parent()))
        return manager->clipboardHasText();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

// A disabled button the tool bar has just pressed pops up again.
void releasePress(Command &cmd)
{
    if (!is(cmd.id(), "EdGoto") && (cmd.style() & 3) == Command::PressStyle)
        cmd.setStateValue(0);
}

} // namespace

frmCode::CommandRule frmCode::commandRule(const Command &cmd) const
{
    CommandRule rule;
    if (!m_routine || m_unloaded)
        return rule;
    const QString id = cmd.id();
    const QString category = cmd.category() ? cmd.category()->name() : QString();
    const bool wine = SystemProbe::isWine();
    const bool writable = !m_doc.ReadOnly();
    const int caret = m_view->CaretLine();

    if (category == QLatin1String("Bookmarks")) {
        rule.applies = rule.decided = true;
        if (is(id, "BmkToggle"))
            rule.state = (m_doc.GetLineData(caret, LineData::kControlSlot) & LineData::kBookmark) ? 1 : 0;
        else
            rule.enabled = m_doc.NumBookmarks() > 0;
    } else if (category == QLatin1String("Blocks")) {
        rule.applies = rule.decided = true;
        if (is(id, "BlkCollapse"))
            rule.enabled = blockCommandEnabled(false);
        else if (is(id, "BlkExpand"))
            rule.enabled = blockCommandEnabled(true);
        else
            rule.enabled = CodeCollapsing();
    } else if (category == QLatin1String("Edit")) {
        rule.applies = rule.decided = true;
        const bool selection = m_view->HasSelection();
        if (is(id, "EdUndo"))
            rule.enabled = (wine || m_doc.CanUndo()) && writable;
        else if (is(id, "EdRedo"))
            rule.enabled = (wine || m_doc.CanRedo()) && writable;
        else if (is(id, "EdCut") || is(id, "EdDelete"))
            rule.enabled = (selection || wine) && writable;
        else if (is(id, "EdCopy"))
            rule.enabled = selection || wine;
        else if (is(id, "EdPaste"))
            rule.enabled = (clipboardHasText(cmd) || wine) && writable;
        else if (is(id, "EdReplace"))
            rule.enabled = writable;
        else if (is(id, "EdBlk"))
            rule.enabled = CodeCollapsing();
    } else if (category == QLatin1String("File")) {
        if (is(id, "FlSave")) {
            rule.applies = rule.decided = true;
            rule.enabled = m_doc.Modified() && !m_frozen && !sessionBusy();
        } else if (is(id, "FlSaveAs")) {
            // Without the server's Save As dialog there is nothing to run.
            rule.applies = rule.decided = true;
            rule.enabled = !m_frozen && !sessionBusy() && docServices().saveAs;
        } else if (is(id, "FlPrint")) {
            rule.applies = rule.decided = true;
        }
    } else if (category == QLatin1String("Debug")) {
        if (is(id, "DbgToggle")) {
            rule.applies = rule.decided = true;
            if (!(m_routine->GetLineFlags(caret + 1) & LineData::kBreakpoint))
                rule.state = 0;
            else
                rule.state = m_routine->BPAtCmdOnLine(0, 0) ? 1 : 2;
        }
    } else if (category == QLatin1String("View")) {
        rule.applies = true;
    }
    return rule;
}

void frmCode::UpdateUI(Command &cmd, bool &stopRouting)
{
    try {
        const CommandRule rule = commandRule(cmd);
        if (!rule.applies)
            return;
        cmd.setEnabled(rule.enabled);
        if (rule.state >= 0)
            cmd.setStateValue(rule.state);
        if (rule.decided)
            stopRouting = true;
    } catch (const std::exception &e) {
        // The engine could not say which command the caret is on; the next refresh asks again.
        qWarning("frmCode: %s not refreshed: %s", qPrintable(cmd.id()), e.what());
    }
}

void frmCode::Handle(Command &cmd, CommandUI *context, bool &stopRouting)
{
    if (!m_routine || m_unloaded || !commandsWithAction().contains(cmd.id()))
        return;
    stopRouting = true;
    try {
        const CommandRule rule = commandRule(cmd);
        if (rule.applies) {
            cmd.setEnabled(rule.enabled);
            if (rule.state >= 0)
                cmd.setStateValue(rule.state);
        }
        if (rule.decided && !rule.enabled) {
            releasePress(cmd);
            return;
        }
        carryOut(cmd, context);
    } catch (const VantrelError &e) {
        tellUser(e.text(), QString(), IUserPrompt::Icon::Critical);
    } catch (const std::exception &e) {
        qWarning("frmCode: %s failed: %s", qPrintable(cmd.id()), e.what());
    }
}

void frmCode::carryOut(Command &cmd, CommandUI *context)
{
    const QString id = cmd.id();
    const int caret = m_view->CaretLine();
    auto caretToLine = [this](int line) {
        if (line >= 0)
            m_view->SetCaret(0, line);
    };

    if (is(id, "BmkToggle")) {
        m_doc.ToggleBookmark(caret);
    } else if (is(id, "BmkFirst")) {
        // The search wraps round: after the last line comes the first.
        caretToLine(m_doc.NextBookmark(m_doc.NumLines() - 1));
    } else if (is(id, "BmkPrevious")) {
        caretToLine(m_doc.PrevBookmark(caret));
    } else if (is(id, "BmkNext")) {
        caretToLine(m_doc.NextBookmark(caret));
    } else if (is(id, "BmkLast")) {
        caretToLine(m_doc.PrevBookmark(0));
    } else if (is(id, "BmkClearAll")) {
        m_doc.ClearAllBookmarks();
    } else if (is(id, "BlkCollapse")) {
        // A block's extent is known only once its lines are parsed.
        finishParse();
        m_view->CollapseBlock();
    } else if (is(id, "BlkExpand")) {
        m_view->ExpandBlock();
    } else if (is(id, "BlkCollapseAll")) {
        finishParse();
        m_view->CollapseAllBlocks();
    } else if (is(id, "BlkExpandAll")) {
        m_view->ExpandAllBlocks();
    } else if (is(id, "DbgToggle")) {
        m_routine->ToggleBreakpoint(0, 0);
    } else if (is(id, "DbgRunTo")) {
        IMainWindow *main = mainWindow();
        if (main && main->MState() == 1)
            RunToCursor();
        else
            releasePress(cmd);
    } else if (is(id, "EdUndo")) {
        if (context) {
            SourceDocument *doc = activeEditorDocument();
            frmUndoList::dropDown(doc ? doc : &m_doc, context->screenRect());
        } else {
            m_doc.Undo();
        }
    } else if (is(id, "EdRedo")) {
        m_doc.Redo();
    } else if (is(id, "EdCut")) {
        m_view->ExecuteCommand(SourceView::CmdCut);
    } else if (is(id, "EdCopy")) {
        m_view->ExecuteCommand(SourceView::CmdCopy);
    } else if (is(id, "EdPaste")) {
        m_view->ExecuteCommand(SourceView::CmdPaste);
    } else if (is(id, "EdDelete")) {
        m_view->ExecuteCommand(SourceView::CmdDelete);
    } else if (is(id, "EdFind")) {
        m_view->Find();
    } else if (is(id, "EdFindNext")) {
        m_view->FindNext();
    } else if (is(id, "EdReplace")) {
        m_view->Replace();
    } else if (is(id, "EdGoto")) {
        if (context && context->combo()) {
            gotoFromBox(context);
        } else if (frmGoto *dialog = frmGoto::instance(); !dialog->isVisible()) {
            if (IMainWindow *main = mainWindow())
                main->ClearAllTips();
            dialog->exec();
        }
    } else if (is(id, "FlPrint")) {
        // The print dialog is modal: the main window takes no input meanwhile. It is not
        // disabled as well, since that would disable the dialog the editor parents.
        cmd.setStateValue(1);
        QPointer<frmCode> self(this);
        PrintSource();
        if (self)
            focusEditor();
        cmd.setStateValue(0);
    } else if (is(id, "FlSave")) {
        cmd.setStateValue(1);
        m_routine->SaveDoc();
        cmd.setStateValue(0);
    } else if (is(id, "FlSaveAs")) {
        cmd.setStateValue(1);
        if (ISaveAsDialog *saveAs = docServices().saveAs)
            saveAs->DoIt(*m_routine);
        cmd.setStateValue(0);
    }
}

void frmCode::gotoFromBox(CommandUI *context)
{
    QComboBox *combo = context->combo();
    const QString place = combo->currentText();
    if (m_routine->GotoLine(place, 1, -1)) {
        focusEditor();
        return;
    }
    Beep();
    if (QLineEdit *edit = combo->lineEdit())
        edit->setSelection(0, int(edit->text().size()));
}

// Command 0 would stand for the caret's command, on whatever line: no item acts then.
void frmCode::PopupToggleBreakpoint()
{
    if (!m_routine || m_menuLine < 1 || m_menuCommand < 1)
        return;
    try {
        m_routine->ToggleBreakpoint(m_menuLine, m_menuCommand);
    } catch (const VantrelError &e) {
        tellUser(e.text(), QString(), IUserPrompt::Icon::Critical);
    }
}

void frmCode::PopupToggleBreakpointState()
{
    if (!m_routine || m_menuLine < 1 || m_menuCommand < 1)
        return;
    try {
        m_routine->ToggleBreakpointState(m_menuLine, m_menuCommand);
    } catch (const VantrelError &e) {
        tellUser(e.text(), QString(), IUserPrompt::Icon::Critical);
    }
}
