// What the code window does when something happens in its editor, its document, its
// lexer or its status bar: caret and pointer, keys, edits that move lines, the parse.
#include "frmcode.h"

#include "codestatusbar.h"
#include "codestatuspanel.h"
#include "docservices.h"
#include "entercarryover.h"
#include "imainwindow.h"
#include "linedata.h"
#include "lineedits.h"
#include "routine.h"
#include "sourceview.h"

#include <QGuiApplication>

#include <optional>

namespace {

// The wait cursor while many lines move, taken back however the handler ends.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

void runCommand(const char *id)
{
    if (IMainWindow *main = mainWindow())
        main->executeCommand(QLatin1String(id));
}

} // namespace

// --- caret --------------------------------------------------------------------------------

void frmCode::SourceView1_CaretMove(int &column, int &line)
{
    const int lines = m_doc.NumLines();
    if (line + 1 == lines && column > m_doc.GetLineLength(line))
        column = m_doc.GetLineLength(line);
    ShowCaretPosition(column, line);

    if (line != m_flaggedLine && !m_doc.ReadOnly()) {
        if (m_flaggedLine >= 0 && m_flaggedLine < lines)
            m_doc.changeLineFlags(m_flaggedLine, 0, LineData::kCaretLine);
        m_doc.changeLineFlags(line, LineData::kCaretLine, 0);
        m_flaggedLine = line;
    }

    if (line >= 0 && line < lines && (m_doc.GetLineData(line, LineData::kFlagSlot) & LineData::kBreakpoint)
        && m_routine) {
        const QString place = m_routine->LabelPlusOffsetOfLine(line + 1);
        const int plus = place.indexOf(QLatin1Char('+'));
        const QString label = plus < 0 ? place : place.left(plus);
        const int offset = plus < 0 ? 0 : place.mid(plus + 1).toInt();
        if (IBreakpointsPane *pane = docServices().breakpoints) {
            pane->ShowBP(m_routine->Env(), m_routine->Rtn(), label, offset);
            m_view->SetFocus();
        }
    }
}

void frmCode::ShowCaretPosition(int column, int line)
{
    if (!m_routine)
        return;
    m_status->panel(QStringLiteral("Pos"))
        ->setPanelText(QStringLiteral("Line ") + m_routine->LabelPlusOffsetOfLine(line + 1)
                       + QStringLiteral(" (%1) Char %2 ").arg(line + 1).arg(column + 1));
}

// --- pointer ------------------------------------------------------------------------------

void frmCode::SourceView1_MouseDown(int &button, int &shift, int &x, int &y)
{
    PointerRecord &p = m_pointer;
    m_view->DeviceToDocPos(x + 3, y, p.hitColumn, p.hitLine);
    if (m_view->HasSelection()) {
        m_view->GetSelection(p.selStartColumn, p.selStartLine, p.selEndColumn, p.selEndLine);
        if (p.selStartLine > p.selEndLine) {
            std::swap(p.selStartLine, p.selEndLine);
            std::swap(p.selStartColumn, p.selEndColumn);
        } else if (p.selStartLine == p.selEndLine && p.selStartColumn > p.selEndColumn) {
            std::swap(p.selStartColumn, p.selEndColumn);
        }
    } else {
        p.selStartColumn = p.selEndColumn = m_view->CaretColumn();
        p.selStartLine = p.selEndLine = m_view->CaretLine();
    }
    p.button = button;
    p.shift = shift;

    if (button != 2)
        return;
    // A right-click inside the selection keeps it for the menu's clipboard items.
    const int column = p.hitColumn - 1, line = p.hitLine - 1;
    const bool inside = m_view->HasSelection() && p.hitColumn >= 1 && line >= p.selStartLine
                        && line <= p.selEndLine && !(line == p.selStartLine && column < p.selStartColumn)
                        && !(line == p.selEndLine && column >= p.selEndColumn);
    if (!inside) {
        if (p.hitColumn < 1)
            p.hitColumn = 1;
        m_view->SetCaret(p.hitColumn - 1, p.hitLine - 1);
    }
}

void frmCode::SourceView1_Click()
{
    PointerRecord &p = m_pointer;
    if (p.hitLine == 0)
        return;
    if (p.button == 1 && p.hitColumn == -1) {
        // The line-selection strip, unless the line heads a collapsed block.
        if (m_doc.GetLineData(p.hitLine - 1, LineData::kControlSlot) & LineData::kBlockCollapsed)
            return;
        if (p.shift == 0) {
            m_view->SetSelection(0, p.hitLine - 1, 0, p.hitLine);
            return;
        }
        if (p.hitLine - 1 > p.selStartLine) {
            p.selEndColumn = 0;
            p.selEndLine = p.hitLine;
        } else {
            p.selStartColumn = 0;
            p.selStartLine = p.hitLine - 1;
        }
        m_view->SetSelection(p.selStartColumn, p.selStartLine, p.selEndColumn, p.selEndLine);
    } else if (p.button == 1 && p.hitColumn == 0 && m_routine && LineHasCommand(p.hitLine)) {
        m_routine->ToggleBreakpoint(p.hitLine, 1);
    }
}

void frmCode::SourceView1_MouseMove(int &, int &, int &x, int &y)
{
    askTip(x, y);
}

void frmCode::SourceView1_MouseUp(int &button, int &, int &x, int &y)
{
    if (button == 2)
        ShowContextMenu(x, y);
}

// --- keys ---------------------------------------------------------------------------------

void frmCode::SourceView1_KeyDown(int &keyCode, int shift)
{
    IMainWindow *main = mainWindow();
    if (main && main->goToBoxActive()) {
        main->goToBoxKeyDown(keyCode);
        keyCode = 0;
        return;
    }
    const int key = keyCode;
    if (key == 117 && shift == 2) {
        if (main)
            main->NextChild();
    } else if (key == 117 && shift == 3) {
        if (main)
            main->PreviousChild();
    } else if (key == 115 && shift == 2) {
        CloseButton();
    } else if (key == 123 && shift == 0) {
        QString target, display;
        JumpTarget(target, display);
        if (target.isEmpty())
            beep();
        else if (main)
            main->ShowAtTag(target, true, false);
    } else if (key == 45 && shift == 2) {
        runCommand("EdCopy");
    } else if (key == 45 && shift == 1) {
        runCommand("EdPaste");
    } else if (key == 46 && shift == 1) {
        runCommand("EdCut");
    } else if (key == 187 && shift == 2) {
        runCommand("BlkExpand");
    } else if (key == 189 && shift == 2) {
        runCommand("BlkCollapse");
    } else if (key == 9 && (shift & 2) && !(shift & 4)) {
        // Ctrl+Tab switches windows. Taken here rather than as a typed character:
        // Ctrl+Shift+Tab types none.
        if (main) {
            if (shift & 1)
                main->PreviousChild();
            else
                main->NextChild();
        }
    } else {
        return;
    }
    keyCode = 0;
}

void frmCode::SourceView1_KeyPress(int &keyAscii)
{
    IMainWindow *main = mainWindow();
    if (main && main->goToBoxActive()) {
        main->goToBoxKeyPress(keyAscii);
        keyAscii = 0;
        return;
    }
    switch (keyAscii) {
    case 1: {
        const int last = m_doc.NumLines() - 1;
        m_view->SetSelection(0, 0, m_doc.GetLineLength(last), last);
        keyAscii = 0;
        break;
    }
    // Ctrl+C, F, G, N, O, P, V, X are the main window's commands; their characters
    // must not reach the text.
    case 3: case 6: case 7: case 14: case 15: case 16: case 22: case 24:
        keyAscii = 0;
        break;
    case 13:
        if (!m_doc.ReadOnly()) {
            enterCarryOver();
            keyAscii = 0;
        }
        break;
    default:
        break;
    }
}

void frmCode::enterCarryOver()
{
    // Enter replaces a selection, as typing does; the break goes where it was.
    if (m_view->HasSelection()) {
        int c1, l1, c2, l2;
        m_view->GetSelection(c1, l1, c2, l2);
        if (l1 > l2 || (l1 == l2 && c1 > c2)) {
            std::swap(c1, c2);
            std::swap(l1, l2);
        }
        m_doc.Delete(c1, l1, c2, l2);
        m_view->SetCaret(c1, l1);
    }
    const int line = m_view->CaretLine();
    const EnterCarryOver::Plan plan = EnterCarryOver::plan(m_doc.GetLine(line), m_view->CaretColumn());
    int l1 = line, l2 = line;
    m_doc.InsertOverwrite(plan.replaceStart, l1, plan.replaceEnd, l2, plan.lineBreak);
    if (!plan.prefix.isEmpty())
        m_doc.Insert(1, line + 1, plan.prefix);
    const int startTab = plan.lineBreak.endsWith(QLatin1Char('\t')) ? 1 : 0;
    m_view->SetCaret(startTab + int(plan.prefix.size()), line + 1);
    // The line left behind ends a dotted block differently now: colour it again.
    if (plan.prefix.contains(QLatin1Char('.'))) {
        m_lex.FlushCache(line, line);
        m_doc.UpdateViews(2, line, line);
    }
}

void frmCode::SourceView1_KeyUp(int &keyCode, int)
{
    ClearTip();
    if (keyCode == 93) {
        int x = 0, y = 0;
        m_view->DocToDevice(m_view->CaretColumn(), m_view->CaretLine(), x, y);
        ShowContextMenu(x, y);
    }
}

void frmCode::SourceView1_BeforeCommand(int &command)
{
    if (command != SourceView::CmdToggleOvertype)
        return;
    if (m_doc.ReadOnly()) {
        command = 0;
        return;
    }
    const bool wasOvertype = m_view->Overtype();
    m_status->panel(QStringLiteral("Overwrite"))->setPanelText(wasOvertype ? QStringLiteral("INS ")
                                                                           : QStringLiteral("OVR "));
    m_view->SetCaretStyle(wasOvertype ? 0 : 1);
}

// --- the document -------------------------------------------------------------------------

void frmCode::SourceView1_ModifiedChange()
{
    m_status->panel(QStringLiteral("Modified"))
        ->setPanelText(m_doc.Modified() ? QStringLiteral("Modified ") : QString());
    RefreshCaption();
}

void frmCode::SourceView1_TextInserted(int c1, int l1, int c2, int l2)
{
    // Many lines at once can take a while (breakpoints and the engine's copy follow).
    std::optional<WaitCursor> wait;
    if (l2 > l1)
        wait.emplace();
    LineEdits::textInserted(m_routine, m_lex, c1, l1, c2, l2);
}

void frmCode::SourceView1_TextDeleted(int c1, int l1, int c2, int l2)
{
    LineEdits::textDeleted(m_routine, m_lex, c1, l1, c2, l2);
}

void frmCode::mobjLex_LabelRevised(int line, const QString &oldLabel, const QString &newLabel)
{
    if (m_routine)
        m_routine->OnLabelRevised(line + 1, oldLabel, newLabel);
}

// --- status bar ---------------------------------------------------------------------------

void frmCode::sbrStatus_PanelClick(const QString &key)
{
    if (key == QLatin1String("Wrap"))
        setLineWrap(!LineWrap());
    else if (key == QLatin1String("Parse"))
        setRichSource(!RichSource());
    else if (key == QLatin1String("Blocks"))
        setCodeCollapsing(!CodeCollapsing());
    else if (key == QLatin1String("Pos"))
        runCommand("EdGoto");
    else if (key == QLatin1String("Overwrite") && m_status->panel(key)->panelEnabled())
        m_view->ExecuteCommand(SourceView::CmdToggleOvertype);
}
