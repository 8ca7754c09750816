#include "frmbreakpoints.h"

#include "fieldconversion.h"

#include "columnlayout.h"
#include "gridcontrol.h"
#include "imainwindow.h"
#include "mlink.h"
#include "routine.h"
#include "routines.h"

#include <QApplication>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>


namespace {

const QString Checked = QStringLiteral("Checked");
const QString Unchecked = QStringLiteral("Unchecked");
const QString Error = QStringLiteral("Error");

MLink *sessionLink()
{
    return mainWindow() ? mainWindow()->link() : nullptr;
}

} // namespace

bool frmBreakpoints::isBlank(const Breakpoint &bp)
{
    return bp.Line.isEmpty() && bp.Rtn.isEmpty();
}

frmBreakpoints::frmBreakpoints(QWidget *parent)
    : PaneForm(parent)
{
    // Made here, not in the initialiser list: the key preview already sees the children
    // being added, and must find the grids null until they exist.
    m_tabs = new QTabWidget(this);
    m_bpList = new GridControl({QString(), QStringLiteral("Line"), QStringLiteral("Routine"),
                                QStringLiteral("Cmd"), QStringLiteral("Delay"), QStringLiteral("Condition")});
    m_wpList = new GridControl({QString(), QStringLiteral("Expression"), QStringLiteral("Value"),
                                QStringLiteral("Previous")});
    setObjectName(QStringLiteral("frmBreakpoints"));
    setWindowTitle(QStringLiteral("Breakpoints"));
    m_tabs->setObjectName(QStringLiteral("TabStrip"));
    m_bpList->setObjectName(QStringLiteral("BPList"));
    m_wpList->setObjectName(QStringLiteral("WPList"));
    m_tabs->addTab(m_bpList, QStringLiteral("&Code"));
    m_tabs->addTab(m_wpList, QStringLiteral("D&ata"));
    if (mainWindow()) {
        m_bpList->setFont(mainWindow()->dialogFont());
        m_wpList->setFont(mainWindow()->dialogFont());
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    setDefaultColumnWidths();
    m_bpList->setEntryHint(QStringLiteral("Double-click here to add a breakpoint"));
    m_wpList->setEntryHint(QStringLiteral("Double-click here to add a watchpoint"));

    m_bpList->setColumnEditable(BPCheck, false);
    m_wpList->setColumnEditable(WPCheck, false);
    m_wpList->setColumnEditable(WPValue, false);
    m_wpList->setColumnEditable(WPPrevious, false);
    // Filtering through validators also holds for pasted text, which a key filter misses.
    const QString nameChars = QStringLiteral("A-Za-z0-9%\\x{80}-\\x{FFFF}");
    m_bpList->setColumnValidator(BPLine, new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[%1+]*").arg(nameChars))));
    m_bpList->setColumnValidator(BPRoutine, new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[%1.]*").arg(nameChars))));
    m_bpList->setColumnValidator(BPCmd, new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}"))));
    m_bpList->setColumnValidator(BPDelay, new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}"))));

    m_bpList->validateCell = [this](int row, int col, QString &text) { return validateBPCell(row, col, text); };
    m_bpList->editKeyDown = [this](int key, Qt::KeyboardModifiers mods) { return bpEditKeyDown(key, mods); };
    m_wpList->editKeyDown = [this](int key, Qt::KeyboardModifiers mods) { return wpEditKeyDown(key, mods); };
    for (GridControl *grid : {m_bpList, m_wpList}) {
        const bool watchpoints = grid == m_wpList;
        connect(grid, &GridControl::editStarted, this, [this] { m_edited = true; });
        connect(grid, &GridControl::checkClicked, this,
                [this, watchpoints](int row) { toggleRow(watchpoints, row); });
        connect(grid, &GridControl::cellDoubleClicked, this, [this, grid, watchpoints](int row, int col) {
            if (col <= 0 || !grid->columnEditable(col))
                return;
            if (watchpoints)
                EditWPCell(row, col, false);
            else
                EditBPCell(row, col, false);
        });
        connect(grid->header(), &QHeaderView::sectionDoubleClicked, this, [this, grid, watchpoints](int col) {
            if (col == 0 && grid->rowCount() >= 1)
                toggleAll(watchpoints);
        });
        grid->installEventFilter(this);
        grid->viewport()->installEventFilter(this);
        grid->header()->viewport()->installEventFilter(this);
    }
    connect(m_bpList, &GridControl::postEdit, this, &frmBreakpoints::bpPostEdit);
    connect(m_wpList, &GridControl::postEdit, this, &frmBreakpoints::wpPostEdit);
    connect(m_bpList, &QTreeWidget::itemSelectionChanged, this, &frmBreakpoints::showSelectedBreakpoint);

    AddBlankBPRow();
    AddBlankWPRow();
}

frmBreakpoints::~frmBreakpoints()
{
    // Closing the window takes the focus from an open cell editor, which would commit the
    // cell into a pane that is half gone.
    for (GridControl *grid : {m_bpList, m_wpList}) {
        grid->disconnect(this);
        grid->validateCell = nullptr;
        grid->editKeyDown = nullptr;
    }
    m_bpList->selectionModel()->disconnect(this);
}

// Wide enough for typical contents and no wider, so that the condition, the reason most
// breakpoints are edited, is in view at the pane's usual width; a saved layout replaces
// these. The last column takes what is left.
void frmBreakpoints::setDefaultColumnWidths()
{
    const auto fit = [](GridControl *grid, int col, const QString &sample) {
        const QFontMetrics fm(grid->font());
        const int heading = fm.horizontalAdvance(grid->headerItem()->text(col));
        grid->header()->resizeSection(col, std::max(heading, fm.horizontalAdvance(sample)) + 2 * fm.averageCharWidth() + 4);
    };
    // The check column holds only the 16-pixel check picture.
    for (GridControl *grid : {m_bpList, m_wpList})
        grid->header()->resizeSection(0, 16 + 12);
    fit(m_bpList, BPLine, QStringLiteral("LABEL+99"));
    fit(m_bpList, BPRoutine, QStringLiteral("ROUTINE8"));
    fit(m_bpList, BPCmd, QStringLiteral("99"));
    fit(m_bpList, BPDelay, QStringLiteral("999"));
    fit(m_wpList, WPExpression, QStringLiteral("^GLOBAL(\"SUB\")"));
    fit(m_wpList, WPValue, QStringLiteral("VALUE OF IT"));
}

QTreeWidget *frmBreakpoints::BPList() const
{
    return m_bpList;
}

QTreeWidget *frmBreakpoints::WPList() const
{
    return m_wpList;
}

QHeaderView *frmBreakpoints::columnHeader() const
{
    return m_bpList->header();
}

void frmBreakpoints::saveOwnSettings(Memento &memento) const
{
    ColumnLayout::save(*m_wpList->header(), memento, QStringLiteral("W"));
}

void frmBreakpoints::restoreOwnSettings(const Memento &memento)
{
    ColumnLayout::restore(*m_wpList->header(), memento, QStringLiteral("W"));
}

// --- rows and records -----------------------------------------------------------------

Routine *frmBreakpoints::routineOf(const Breakpoint &bp) const
{
    Routines &routines = m_routines ? *m_routines : Routines::instance();
    return dynamic_cast<Routine *>(routines.Item(bp.EnvRtn()).get());
}

void frmBreakpoints::send(const QStringList &fields)
{
    if (MLink *link = sessionLink())
        LinkSession(*link).Send(fields);
}

Breakpoint frmBreakpoints::BPOfRow(int row) const
{
    Breakpoint bp;
    bp.ID = m_bpList->rowId(row);
    bp.Rtn = m_bpList->text(row, BPRoutine);
    bp.Env = m_bpList->hidden(row, BPRoutine);
    bp.Line = m_bpList->text(row, BPLine);
    const QString cmd = m_bpList->text(row, BPCmd);
    bp.Cmd = cmd.isEmpty() ? int(m_bpList->number(row, BPCmd)) : FieldConversion::toInteger(cmd);
    bp.Delay = FieldConversion::toInteger(m_bpList->text(row, BPDelay));
    // The cell may show "???" for an error on an empty condition; that is no condition.
    bp.Condition = m_bpList->editText(row, BPCondition);
    bp.ConditionError = m_bpList->hidden(row, BPCondition);
    bp.Enabled = m_bpList->number(row, BPCheck) != 0;
    return bp;
}

Watchpoint frmBreakpoints::WPOfRow(int row) const
{
    Watchpoint wp;
    wp.ID = m_wpList->rowId(row);
    wp.Enabled = m_wpList->number(row, WPCheck) != 0;
    wp.Expression = m_wpList->text(row, WPExpression);
    wp.Value = m_wpList->text(row, WPValue);
    wp.ValueIsError = m_wpList->picture(row, WPValue) == Error;
    wp.OldValue = m_wpList->text(row, WPPrevious);
    wp.OldValueIsError = m_wpList->picture(row, WPPrevious) == Error;
    return wp;
}

static QStringList bpFields(const Breakpoint &bp, bool enabled)
{
    return {QStringLiteral("BP"), enabled ? QStringLiteral("+") : QStringLiteral("-"), bp.Line, bp.Rtn,
            QString::number(bp.Cmd), QString::number(bp.ID), QString::number(bp.Delay), bp.Condition};
}

void frmBreakpoints::WriteBPRow(Breakpoint &bp, int row, const BreakpointPtr &record, bool quiet)
{
    const bool blank = isBlank(bp);
    if (row < 0)
        row = m_bpList->appendRow();
    bp.ID = m_bpList->rowId(row);
    m_bpList->setNumber(row, BPCheck, bp.Enabled ? -1 : 0);
    m_bpList->setText(row, BPLine, bp.Line);
    m_bpList->setText(row, BPRoutine, bp.Rtn);
    m_bpList->setHidden(row, BPRoutine, bp.Env);
    m_bpList->setNumber(row, BPCmd, bp.Cmd);
    m_bpList->setText(row, BPCmd, bp.Cmd >= 0 ? QString::number(bp.Cmd) : QString());
    m_bpList->setText(row, BPCondition, bp.Condition);
    m_bpList->setEditText(row, BPCondition, bp.Condition);
    UpdateBP(bp.ID, bp.ConditionError, bp.Delay);
    if (blank) {
        m_bpList->setPicture(row, BPCheck, QString());
        m_bpList->setNumber(row, BPRoutine, 0);
        return;
    }
    m_bpList->setPicture(row, BPCheck, bp.Enabled ? Checked : Unchecked);
    Routine *routine = routineOf(bp);
    const int line = routine ? routine->LineOfLabel(bp.Line) : 0;
    m_bpList->setNumber(row, BPRoutine, qint64(line) * 256 + bp.Cmd);
    if (quiet)
        return;
    if (line > 0)
        routine->BPSet(record ? record : std::make_shared<Breakpoint>(bp), line);
    send(bpFields(bp, bp.Enabled));
    updateTabImage(false);
}

void frmBreakpoints::WriteWPRow(Watchpoint &wp, int row, bool quiet)
{
    const bool blank = wp.Expression.isEmpty();
    if (row < 0)
        row = m_wpList->appendRow();
    wp.ID = m_wpList->rowId(row);
    m_wpList->setNumber(row, WPCheck, wp.Enabled ? -1 : 0);
    m_wpList->setText(row, WPExpression, wp.Expression);
    m_wpList->setText(row, WPValue, wp.Value);
    m_wpList->setPicture(row, WPValue, wp.ValueIsError ? Error : QString());
    m_wpList->setText(row, WPPrevious, wp.OldValue);
    m_wpList->setPicture(row, WPPrevious, wp.OldValueIsError ? Error : QString());
    if (blank) {
        m_wpList->setPicture(row, WPCheck, QString());
        return;
    }
    if (quiet)
        return;
    m_wpList->setPicture(row, WPCheck, wp.Enabled ? Checked : Unchecked);
    if (wp.Enabled)
        send({QStringLiteral("WP+"), QString::number(wp.ID), wp.Expression});
    else
        send({QStringLiteral("WP-"), QString::number(wp.ID)});
    updateTabImage(true);
}

int frmBreakpoints::FindBPRow(Breakpoint &bp, int start) const
{
    for (int row = start; row < m_bpList->rowCount(); ++row) {
        row = m_bpList->findRow(row, BPLine, bp.Line);
        if (row < 0)
            return -1;
        if (m_bpList->hidden(row, BPRoutine) == bp.Env && m_bpList->text(row, BPRoutine) == bp.Rtn
            && (bp.Cmd == 0 || m_bpList->number(row, BPCmd) == bp.Cmd)) {
            bp.Cmd = int(m_bpList->number(row, BPCmd));
            return row;
        }
    }
    return -1;
}

int frmBreakpoints::compareRows(const QString &text1, const QString &text2, qint64 value1, qint64 value2)
{
    const bool blank1 = text1.isEmpty() && value1 < 2;
    const bool blank2 = text2.isEmpty() && value2 < 2;
    // Two blank rows are equal: anything else is no ordering, and sorting with it is undefined.
    if (blank1 || blank2)
        return blank1 == blank2 ? 0 : (blank1 ? 1 : -1);
    if (text1 != text2)
        return text1 < text2 ? -1 : 1;
    return value1 < value2 ? -1 : (value1 > value2 ? 1 : 0);
}

void frmBreakpoints::sortBPList()
{
    m_bpList->sortRows(BPRoutine, &frmBreakpoints::compareRows);
}

void frmBreakpoints::updateTabImage(bool watchpoints)
{
    GridControl *grid = watchpoints ? m_wpList : m_bpList;
    const int tab = watchpoints ? 1 : 0;
    QString name;
    if (grid->rowCount() >= 2) {
        name = Unchecked;
        // Blank rows are enabled from birth but set nothing; the entry row is not always
        // last while a new row is being sorted in.
        for (int row = 0; row < grid->rowCount(); ++row)
            if (grid->number(row, 0) != 0 && (!grid->text(row, 1).isEmpty() || !grid->text(row, 2).isEmpty()))
                name = Checked;
    }
    m_tabs->tabBar()->setTabData(tab, name);
    m_tabs->setTabIcon(tab, GridControl::pictureIcon(name));
}

void frmBreakpoints::removeBPRow(int row)
{
    m_bpList->removeRow(row);
    updateTabImage(false);
}

void frmBreakpoints::removeWPRow(int row)
{
    m_wpList->removeRow(row);
    updateTabImage(true);
}

// --- public members -------------------------------------------------------------------

std::vector<BreakpointPtr> frmBreakpoints::BPs(const QString &rtn)
{
    std::vector<BreakpointPtr> copies;
    for (int row = m_bpList->rowCount() - 2; row >= 0; --row) {
        Breakpoint bp = BPOfRow(row);
        if (rtn.isEmpty() || bp.Rtn == rtn)
            copies.push_back(std::make_shared<Breakpoint>(bp));
    }
    return copies;
}

std::vector<WatchpointPtr> frmBreakpoints::WPs()
{
    std::vector<WatchpointPtr> copies;
    for (int row = m_wpList->rowCount() - 2; row >= 0; --row)
        copies.push_back(std::make_shared<Watchpoint>(WPOfRow(row)));
    return copies;
}

void frmBreakpoints::UpdateBP(int id, const QString &conditionError, int delay)
{
    // A report may come for a row deleted since; identifiers are never reused, so it
    // finds nothing and is dropped.
    const int row = m_bpList->rowOfId(id);
    if (row < 0)
        return;
    if (conditionError.isEmpty()) {
        m_bpList->setHidden(row, BPCondition, QString());
        m_bpList->setPicture(row, BPCondition, QString());
    } else {
        m_bpList->setHidden(row, BPCondition, conditionError);
        if (m_bpList->text(row, BPCondition).isEmpty())
            m_bpList->setText(row, BPCondition, QStringLiteral("???"));
        m_bpList->setPicture(row, BPCondition, Error);
    }
    if (delay > -1)
        m_bpList->setText(row, BPDelay, delay > 0 ? QString::number(delay) : QString());
}

void frmBreakpoints::UpdateWP(int id, const QString &value, bool valueIsError)
{
    const int row = m_wpList->rowOfId(id);
    if (row < 0)
        return;
    Watchpoint wp = WPOfRow(row);
    if (value != wp.Value || valueIsError != wp.ValueIsError) {
        wp.OldValue = wp.Value;
        wp.OldValueIsError = wp.ValueIsError;
        wp.Value = value;
        wp.ValueIsError = valueIsError;
    }
    WriteWPRow(wp, row, true);
}

void frmBreakpoints::SetBP(const BreakpointPtr &bp)
{
    if (!bp || isBlank(*bp))
        return;
    const int row = FindBPRow(*bp, 0);
    WriteBPRow(*bp, row, bp);
    sortBPList();
}

void frmBreakpoints::ShowBP(const QString &env, const QString &rtn, const QString &label, int offset)
{
    Breakpoint request;
    request.Env = env;
    request.Rtn = rtn;
    request.Line = offset > 0 ? label + QLatin1Char('+') + QString::number(offset) : label;
    const int row = FindBPRow(request, 0);
    if (row < 0)
        return;
    QWidget *focus = QApplication::focusWidget();
    if (m_tabs->currentIndex() != 0)
        m_tabs->setCurrentIndex(0);
    if (!m_bpList->topLevelItem(row)->isSelected()) {
        const QScopedValueRollback<bool> quiet(m_selectingInCode, true);
        m_bpList->selectOnly(row);
    }
    m_bpList->scrollToItem(m_bpList->topLevelItem(row));
    if (focus)
        focus->setFocus();
}

void frmBreakpoints::DeleteBP(const BreakpointPtr &bp, bool lookup)
{
    if (!bp)
        return;
    if (lookup) {
        const int row = FindBPRow(*bp, 0);
        if (row >= 0 && row < m_bpList->rowCount() - 1) {
            // The server knows the breakpoint under its row's identifier.
            bp->ID = m_bpList->rowId(row);
            m_bpList->removeRow(row);
        }
    }
    if (!bp->Line.isEmpty() && !bp->Rtn.isEmpty()) {
        send(bpFields(*bp, false));
        if (Routine *routine = routineOf(*bp))
            routine->BPDelete(bp);
    }
    updateTabImage(false);
}

void frmBreakpoints::DeleteWP(const WatchpointPtr &wp, bool lookup)
{
    if (!wp)
        return;
    if (lookup) {
        const int row = m_wpList->rowOfId(wp->ID);
        if (row >= 0 && row < m_wpList->rowCount() - 1)
            m_wpList->removeRow(row);
    }
    send({QStringLiteral("WP-"), QString::number(wp->ID)});
    updateTabImage(true);
}

void frmBreakpoints::SetBPsOnServer()
{
    // A row inserted and not filled yet is no breakpoint; sent, it would be one with an
    // empty line and routine.
    for (const BreakpointPtr &bp : BPs(QString()))
        if (bp->Enabled && !isBlank(*bp))
            send(bpFields(*bp, true));
    for (const WatchpointPtr &wp : WPs())
        if (wp->Enabled && !wp->Expression.isEmpty())
            send({QStringLiteral("WP+"), QString::number(wp->ID), wp->Expression});
}

QTreeWidget *frmBreakpoints::SelectedList() const
{
    return m_tabs->currentIndex() == 0 ? static_cast<QTreeWidget *>(m_bpList) : m_wpList;
}

void frmBreakpoints::OnReport(const QStringList &message)
{
    const QString code = message.value(0);
    if (code == QLatin1String("BPU")) {
        if (message.size() == 3)
            UpdateBP(FieldConversion::toLong(message[1]), message[2], -1);
        else if (message.size() == 4)
            UpdateBP(FieldConversion::toLong(message[1]), message[2], FieldConversion::toInteger(message[3]));
    } else if (code == QLatin1String("WPU") && message.size() == 4) {
        UpdateWP(FieldConversion::toLong(message[1]), message[2], FieldConversion::toFlag(message[3]));
    }
}
