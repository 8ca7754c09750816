// Editing the two lists: the entry row, the cell editor's keys, commits against the row
// as it was when its edit began, and the keys and clicks on the grids.

#include "frmbreakpoints.h"

#include "gridcontrol.h"
#include "imainwindow.h"
#include "mlink.h"
#include "routine.h"
#include "routines.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QToolTip>

void frmBreakpoints::AddBlankBPRow()
{
    Breakpoint bp;
    bp.Enabled = true;
    bp.Cmd = -1;
    WriteBPRow(bp, -1);
}

void frmBreakpoints::AddBlankWPRow()
{
    Watchpoint wp;
    wp.Enabled = true;
    WriteWPRow(wp, -1, false);
}

void frmBreakpoints::InsertBlankBPRow(int position)
{
    const int row = m_bpList->insertRow(position);
    m_bpList->setCurrentRowIndex(row);
    Breakpoint bp;
    bp.Enabled = true;
    bp.Cmd = 1;
    WriteBPRow(bp, row);
    EditBPCell(row, BPLine, false);
}

void frmBreakpoints::InsertBlankWPRow(int position)
{
    const int row = m_wpList->insertRow(position);
    m_wpList->setCurrentRowIndex(row);
    Watchpoint wp;
    wp.Enabled = true;
    WriteWPRow(wp, row, false);
    EditWPCell(row, WPExpression, false);
}

void frmBreakpoints::EditBPCell(int row, int col, bool keepHeld)
{
    if (!keepHeld) {
        m_heldBP = BPOfRow(row);
        m_edited = false;
    }
    m_enterPressed = false;
    // Deferred: the call may come while the previous editor is still closing.
    m_bpList->editCellLater(row, col);
}

void frmBreakpoints::EditWPCell(int row, int col, bool keepHeld)
{
    if (!keepHeld) {
        m_heldWP = WPOfRow(row);
        m_edited = false;
    }
    m_wpList->editCellLater(row, col);
}

void frmBreakpoints::refuse(int row, int col, const QString &text)
{
    m_bpList->setText(row, col, text);
    // The held copy is what the server has; a new one taken from the half-edited row
    // would make the next commit withdraw a breakpoint the server never had.
    EditBPCell(row, col, true);
}

bool frmBreakpoints::CommitBPRow(int &row)
{
    Breakpoint bp = BPOfRow(row);
    const bool blank = isBlank(bp);
    const bool heldBlank = isBlank(m_heldBP);
    if (row == m_bpList->rowCount() - 1) {
        if (blank)
            return true;
        AddBlankBPRow();
    } else if (blank) {
        removeBPRow(row);
        --row;
    }
    if (!m_edited)
        return true;
    if (blank) {
        DeleteBP(std::make_shared<Breakpoint>(m_heldBP), false);
        return true;
    }
    if (heldBlank)
        bp.Enabled = true;
    if (bp.Cmd < 0)
        bp.Cmd = 1;
    if (bp.Line.isEmpty()) {
        refuse(row, BPLine, m_heldBP.Line);
        return false;
    }
    if (bp.Rtn.isEmpty()) {
        refuse(row, BPRoutine, m_heldBP.Rtn);
        return false;
    }
    if (bp.Env.isEmpty()) {
        if (MLink *link = mainWindow() ? mainWindow()->link() : nullptr) {
            link->CheckEnv();
            bp.Env = link->Env();
        }
    }
    if (Routine *routine = routineOf(bp)) {
        // Line 0 is no line; the document would read it as the caret's line and move the
        // breakpoint there.
        const int line = routine->LineOfLabel(bp.Line);
        if (line < 1) {
            refuse(row, BPLine, m_heldBP.Line);
            return false;
        }
        bp.Line = routine->LabelPlusOffsetOfLine(line);
    }
    // Looked up on a copy: a typed command 0 must not take another row's command.
    Breakpoint probe = bp;
    int dup = FindBPRow(probe, 0);
    if (dup == row) {
        probe = bp;
        dup = FindBPRow(probe, row + 1);
    }
    DeleteBP(std::make_shared<Breakpoint>(m_heldBP), false);
    bp.ConditionError.clear();
    WriteBPRow(bp, row);
    m_heldBP = bp;
    if (dup >= 0) {
        // The row just written carries the breakpoint; the duplicate goes without a message.
        removeBPRow(dup);
        if (dup < row)
            --row;
    }
    return true;
}

bool frmBreakpoints::CommitWPRow(int &row)
{
    Watchpoint wp = WPOfRow(row);
    const bool blank = wp.Expression.isEmpty();
    const bool heldBlank = m_heldWP.Expression.isEmpty();
    if (row == m_wpList->rowCount() - 1) {
        if (blank)
            return true;
        AddBlankWPRow();
    } else if (blank) {
        removeWPRow(row);
        --row;
    }
    if (!m_edited)
        return true;
    if (blank) {
        DeleteWP(std::make_shared<Watchpoint>(m_heldWP), false);
        return true;
    }
    if (heldBlank)
        wp.Enabled = true;
    wp.Value.clear();
    wp.ValueIsError = false;
    WriteWPRow(wp, row, false);
    m_heldWP = wp;
    return true;
}

bool frmBreakpoints::validateBPCell(int, int col, QString &text)
{
    if (col != BPCmd && col != BPDelay)
        return true;
    if (text.isEmpty()) {
        if (col == BPCmd)
            text = QStringLiteral("1");
        return true;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    // The server takes 16-bit numbers; a larger one is refused rather than wrapped.
    if (!ok || value > 32767)
        return false;
    text = col == BPDelay && value == 0 ? QString() : QString::number(value);
    return true;
}

bool frmBreakpoints::tabMove(bool watchpoints, bool back)
{
    GridControl *grid = watchpoints ? m_wpList : m_bpList;
    const int row = grid->editRow();
    const int col = grid->editColumn();
    QHeaderView *header = grid->header();
    const int last = grid->columnCount() - 1;
    int pos = header->visualIndex(col);
    // The walk wraps round the display positions and passes over the check box column
    // wherever the user dragged it (it is never edited), so in the usual order it runs
    // between position 1 and the last.
    for (int i = 0; i <= last; ++i) {
        pos = back ? (pos <= 0 ? last : pos - 1) : (pos >= last ? 0 : pos + 1);
        const int target = header->logicalIndex(pos);
        if (target != 0 && grid->columnEditable(target))
            break;
    }
    const int target = header->logicalIndex(pos);
    if (!grid->endEdit(true, false)) {
        if (grid->editor())
            grid->editor()->setText(grid->editText(row, col));
        return true;
    }
    if (watchpoints)
        EditWPCell(row, target, true);
    else
        EditBPCell(row, target, true);
    return true;
}

bool frmBreakpoints::arrowOrInsert(bool watchpoints, int key)
{
    GridControl *grid = watchpoints ? m_wpList : m_bpList;
    const int start = grid->editRow();
    const int col = grid->editColumn();
    if ((key == Qt::Key_Up && start <= 0) || (key == Qt::Key_Down && start >= grid->rowCount() - 1))
        return true;
    // The pane commits the row itself, so the grid must not raise a commit of its own.
    if (!grid->endEdit(true, false)) {
        if (grid->editor())
            grid->editor()->setText(grid->editText(start, col));
        return true;
    }
    const int id = grid->rowId(start);
    int row = start;
    if (!(watchpoints ? CommitWPRow(row) : CommitBPRow(row)))
        return true;   // the refusal reopened the editor on the offending cell
    const bool removed = grid->rowOfId(id) < 0;
    int target = row;
    if (key == Qt::Key_Up)
        target = removed ? row : row - 1;
    else if (key == Qt::Key_Down)
        target = row + 1;
    else
        target = removed ? row + 1 : row;
    target = std::clamp(target, 0, grid->rowCount() - 1);
    if (key == Qt::Key_Insert) {
        if (watchpoints)
            InsertBlankWPRow(target);
        else
            InsertBlankBPRow(target);
        return true;
    }
    grid->setCurrentRowIndex(target);
    if (watchpoints)
        EditWPCell(target, col, false);
    else
        EditBPCell(target, col, false);
    return true;
}

bool frmBreakpoints::bpEditKeyDown(int key, Qt::KeyboardModifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        m_enterPressed = true;
        const int row = m_bpList->editRow(), col = m_bpList->editColumn();
        if (!m_bpList->endEdit(true, true)) {
            m_enterPressed = false;
            if (m_bpList->editor())
                m_bpList->editor()->setText(m_bpList->editText(row, col));
        }
        return true;
    }
    case Qt::Key_Tab:
        return tabMove(false, false);
    case Qt::Key_Backtab:
        return tabMove(false, true);
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Insert:
        return arrowOrInsert(false, key);
    default:
        return false;
    }
}

bool frmBreakpoints::wpEditKeyDown(int key, Qt::KeyboardModifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_wpList->endEdit(true, true);
        return true;
    case Qt::Key_Tab:
        return tabMove(true, false);
    case Qt::Key_Backtab:
        return tabMove(true, true);
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Insert:
        return arrowOrInsert(true, key);
    default:
        return false;
    }
}

void frmBreakpoints::bpPostEdit(bool accepted, int row, int)
{
    if (accepted) {
        if (!CommitBPRow(row))
            return;
    } else if (row >= 0) {
        if (row < m_bpList->rowCount() - 1 && isBlank(m_heldBP)) {
            removeBPRow(row);
            row = -1;
        } else {
            // Cells stored by Tab moves were never committed: the row goes back to what the
            // server has, and the entry row back to blank.
            Breakpoint held = m_heldBP;
            WriteBPRow(held, row, nullptr, true);
        }
    }
    if (accepted && !m_enterPressed)
        return;
    m_enterPressed = false;
    const int id = row >= 0 ? m_bpList->rowId(row) : 0;
    const QScopedValueRollback<bool> quiet(m_selectingInCode, true);
    m_bpList->clearSelection();
    sortBPList();
    const int at = m_bpList->rowOfId(id);
    if (at >= 0)
        m_bpList->selectOnly(at);
}

void frmBreakpoints::wpPostEdit(bool accepted, int row, int)
{
    if (accepted) {
        CommitWPRow(row);
    } else if (row >= 0) {
        if (row < m_wpList->rowCount() - 1 && m_heldWP.Expression.isEmpty()) {
            removeWPRow(row);
        } else {
            Watchpoint held = m_heldWP;
            WriteWPRow(held, row, true);
        }
    }
}

void frmBreakpoints::toggleRow(bool watchpoints, int row)
{
    if (watchpoints) {
        Watchpoint wp = WPOfRow(row);
        wp.Enabled = !wp.Enabled;
        WriteWPRow(wp, row, false);
    } else {
        Breakpoint bp = BPOfRow(row);
        bp.Enabled = !bp.Enabled;
        WriteBPRow(bp, row);
    }
}

void frmBreakpoints::toggleAll(bool watchpoints)
{
    GridControl *grid = watchpoints ? m_wpList : m_bpList;
    const QList<int> selected = grid->selectedRows();
    const int first = selected.isEmpty() ? 0 : selected.first();
    const bool state = grid->number(first, 0) == 0;
    for (int row = 0; row < grid->rowCount(); ++row)
        if ((grid->number(row, 0) != 0) != state)
            toggleRow(watchpoints, row);
}

bool frmBreakpoints::gridKeyDown(bool watchpoints, QKeyEvent *event)
{
    GridControl *grid = watchpoints ? m_wpList : m_bpList;
    switch (event->key()) {
    case Qt::Key_Delete:
        for (QList<int> selected = grid->selectedRows(); !selected.isEmpty(); selected = grid->selectedRows()) {
            const int row = selected.first();
            const int id = grid->rowId(row);
            if (row < grid->rowCount() - 1) {
                if (watchpoints)
                    DeleteWP(std::make_shared<Watchpoint>(WPOfRow(row)), true);
                else
                    DeleteBP(std::make_shared<Breakpoint>(BPOfRow(row)), true);
            }
            // A row the lookup did not remove is let go, or the loop would never end.
            const int still = grid->rowOfId(id);
            if (still >= 0)
                grid->topLevelItem(still)->setSelected(false);
        }
        return true;
    case Qt::Key_Insert: {
        const int current = grid->currentRowIndex();
        const int at = current < 0 ? grid->rowCount() - 1 : current;
        if (watchpoints)
            InsertBlankWPRow(at);
        else
            InsertBlankBPRow(at);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const int current = grid->currentRowIndex();
        if (current < 0)
            return false;
        const int col = grid->header()->logicalIndex(1);
        if (watchpoints)
            EditWPCell(current, col, false);
        else
            EditBPCell(current, col, false);
        return true;
    }
    case Qt::Key_Space: {
        if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
            return false;
        const int current = grid->currentRowIndex();
        const bool state = current >= 0 ? grid->number(current, 0) == 0 : false;
        if (grid->selectedRows().isEmpty() && current >= 0)
            grid->topLevelItem(current)->setSelected(true);
        const QList<int> selected = grid->selectedRows();
        // Every selected row is written, also one already in that state, last row first.
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            if (watchpoints) {
                Watchpoint wp = WPOfRow(*it);
                wp.Enabled = state;
                WriteWPRow(wp, *it, false);
            } else {
                Breakpoint bp = BPOfRow(*it);
                bp.Enabled = state;
                WriteBPRow(bp, *it);
            }
        }
        return true;
    }
    default:
        return false;
    }
}

void frmBreakpoints::showSelectedBreakpoint()
{
    const QList<int> selected = m_bpList->selectedRows();
    if (selected.isEmpty() || m_selectingInCode)
        return;
    QWidget *focus = QApplication::focusWidget();
    const Breakpoint bp = BPOfRow(selected.first());
    if (bp.Rtn.isEmpty())
        return;
    Routine *routine = routineOf(bp);
    if (!routine) {
        // Not open: the main window opens it for viewing, unless the session is busy.
        IMainWindow *main = mainWindow();
        if (!main || main->MBusy()
            || !main->ShowRoutine(bp.Rtn, bp.Env, 0, QStringLiteral("+1"), true, 1))
            return;
        routine = routineOf(bp);
        if (!routine)
            return;
    }
    routine->Activate(false);
    const int line = routine->LineOfLabel(bp.Line);
    if (line > 0)
        routine->GotoLine(QLatin1Char('+') + QString::number(line), routine->PosOfCommand(line, bp.Cmd), 0);
    if (focus == m_bpList) {
        // Showing the routine made the main window the active one. A floating pane is a
        // window of its own, and its list would keep the focus only inside that window
        // while the user's next arrow went to the code window.
        m_bpList->activateWindow();
        setFocus();
        m_bpList->setFocus();
    }
}

QString frmBreakpoints::headerTip(bool watchpoints, int col, int rowCount)
{
    static const char *const bpTips[] = {
        "Double-click column header to disable or enable all code breakpoints",
        "Line reference as tag, tag+offset or +offset",
        "Routine name",
        "Command number within line",
        "Number of times to ignore this breakpoint",
        "Expression that must evaluate True (non-zero) to make breakpoint effective"};
    static const char *const wpTips[] = {
        "Double-click column header to disable or enable all data breakpoints",
        "Expression to monitor, breaking when its value changes",
        "Value of expression",
        "Previous value of expression"};
    const int count = watchpoints ? 4 : 6;
    if (col < 0 || col >= count || (col == 0 && rowCount < 2))
        return QString();
    return QString::fromLatin1(watchpoints ? wpTips[col] : bpTips[col]);
}

QString frmBreakpoints::cellTip(bool watchpoints, int row, int col) const
{
    if (!watchpoints) {
        const QString error = col == BPCondition ? m_bpList->hidden(row, col) : QString();
        return error.isEmpty() ? QString() : QStringLiteral("Error when condition was last tested: ") + error;
    }
    if (m_wpList->picture(row, col) != QLatin1String("Error") || m_wpList->text(row, col).isEmpty())
        return QString();
    return QStringLiteral("Error when expression was evaluated: ") + m_wpList->text(row, col);
}

bool frmBreakpoints::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_bpList || !m_wpList)
        return PaneForm::eventFilter(watched, event);
    for (GridControl *grid : {m_bpList, m_wpList}) {
        const bool watchpoints = grid == m_wpList;
        // The editor's keys are the cell's: the key preview is off while a cell is edited.
        if (grid->editor() && watched == grid->editor()
            && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
            return false;
        if (watched == grid && event->type() == QEvent::KeyPress) {
            if (PaneForm::eventFilter(watched, event))
                return true;
            return gridKeyDown(watchpoints, static_cast<QKeyEvent *>(event));
        }
        if (event->type() == QEvent::ToolTip
            && (watched == grid->viewport() || watched == grid->header()->viewport())) {
            auto *help = static_cast<QHelpEvent *>(event);
            QString tip;
            if (watched == grid->viewport()) {
                QTreeWidgetItem *item = grid->itemAt(help->pos());
                if (item)
                    tip = cellTip(watchpoints, grid->indexOfTopLevelItem(item), grid->columnAt(help->pos().x()));
            } else {
                tip = headerTip(watchpoints, grid->header()->logicalIndexAt(help->pos()), grid->rowCount());
            }
            if (tip.isEmpty())
                return PaneForm::eventFilter(watched, event);
            QToolTip::showText(help->globalPos(), tip, grid);
            return true;
        }
    }
    return PaneForm::eventFilter(watched, event);
}
