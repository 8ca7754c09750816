#include "frmstack.h"

#include "imainwindow.h"
#include "memento.h"
#include "routine.h"
#include "routines.h"
#include "stacklevel.h"

#include <QHeaderView>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <memory>

namespace {

enum Column { LevelColumn = 0, LineColumn = 1, RoutineColumn = 2 };

// Line-flag bits of a routine document that belong to this pane.
constexpr int StackMark = 1;     // a level stands on the line
constexpr int CurrentMark = 2;   // the top level's line while suspended
constexpr int BothMarks = StackMark | CurrentMark;

constexpr int LevelRole = Qt::UserRole;

const QString OrderAttribute = QStringLiteral("Order");
const QString Xecute = QStringLiteral("*Xecute");

// Rows sort by their level number: as text "10" would stand before "9".
class LevelItem : public QTreeWidgetItem
{
public:
    explicit LevelItem(int level)
        : QTreeWidgetItem(QTreeWidgetItem::UserType)
    {
        setText(LevelColumn, QString::number(level));
        setData(LevelColumn, LevelRole, level);
    }

    bool operator<(const QTreeWidgetItem &other) const override
    {
        return data(LevelColumn, LevelRole).toInt() < other.data(LevelColumn, LevelRole).toInt();
    }
};

int levelOfRow(const QTreeWidgetItem *row)
{
    return row ? row->data(LevelColumn, LevelRole).toInt() : -1;
}

QString locationKey(int line, const QString &rtn)
{
    return QLatin1Char('+') + QString::number(line) + QLatin1Char('^') + rtn;
}

bool isXecute(const StackLevel &level)
{
    return level.Rtn.startsWith(QLatin1Char('@'));
}

} // namespace

frmStack::frmStack(QWidget *parent)
    : PaneForm(parent)
    , m_stack(new QTreeWidget(this))
    , m_placeholder(std::make_shared<StackLevel>())
{
    setObjectName(QStringLiteral("frmStack"));
    setWindowTitle(QStringLiteral("Stack"));
    m_stack->setObjectName(QStringLiteral("Stack"));
    m_stack->setHeaderLabels({QStringLiteral("Lvl"), QStringLiteral("Line"), QStringLiteral("Routine")});
    m_stack->headerItem()->setToolTip(
        LevelColumn, QStringLiteral("Stack level number, relative to Vantrel's start level. Click to reverse order"));
    m_stack->headerItem()->setToolTip(
        RoutineColumn, QStringLiteral("Blank entry indicates value unchanged from preceding stack level"));
    m_stack->setRootIsDecorated(false);
    m_stack->setUniformRowHeights(true);
    m_stack->setAllColumnsShowFocus(true);
    m_stack->setSelectionMode(QAbstractItemView::SingleSelection);
    // The pane sorts itself: a header click reverses the order only on "Lvl".
    m_stack->setSortingEnabled(false);
    m_stack->header()->setSectionsClickable(true);
    m_stack->header()->setSortIndicatorShown(true);
    m_stack->header()->setSortIndicator(LevelColumn, Qt::AscendingOrder);
    // A tree view keeps its first column in place for the branch lines; this list has
    // none, and every column's place is the user's ("ColSeq" names them all).
    m_stack->header()->setFirstSectionMovable(true);
    if (IMainWindow *main = mainWindow())
        m_stack->setFont(main->dialogFont());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_stack, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { onCurrentRowChanged(current); });
    connect(m_stack, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { onRowClicked(item); });
    connect(m_stack->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (column == LevelColumn)
            reverseOrder();
        else
            sortRows();   // the header moved its sort arrow to the column clicked
    });
    connect(m_stack->header(), &QHeaderView::sectionDoubleClicked, this, [this](int column) {
        if (column >= 0)
            m_stack->resizeColumnToContents(column);
    });
}

frmStack::~frmStack() = default;

void frmStack::setRoutines(Routines *routines)
{
    m_routines = routines;
}

void frmStack::setListEnabled(bool enabled)
{
    m_stack->setEnabled(enabled);
}

StackLevelPtr frmStack::level(int number) const
{
    if (number < 1 || number > LevelNumber())
        return nullptr;
    return m_levels[size_t(number - 1)];
}

std::shared_ptr<Routine> frmStack::routineOf(const StackLevel &level) const
{
    const QString key = level.EnvRtn();
    if (key.isEmpty())
        return nullptr;
    Routines &routines = m_routines ? *m_routines : Routines::instance();
    return Routine::from(routines.Locate(key));
}

// --- levels arriving ------------------------------------------------------------------------

void frmStack::Update(const StackLevelPtr &level, bool treatAsTop)
{
    if (!level || level->Number < 1 || level->Number > MaxLevel)
        return;
    const int n = level->Number;
    {
        // Rows selected, added or removed here are not the user's choice.
        const QSignalBlocker blocker(m_stack);
        const int count = LevelNumber();
        if (n > count)
            grow(count, n);
        else if (n < count && treatAsTop)
            shrink(count, n, *level);

        if (!level->Rtn.isEmpty()) {
            if (const auto routine = routineOf(*level)) {
                if (n > routine->HighWaterMark() || treatAsTop)
                    routine->setHighWaterMark(n);
            }
        }
        replaceLevel(n, level);
        fillCells(n);
        // The level above compares its routine with this one, which has just changed.
        fillRoutineCell(n + 1);
        // A level reported without a place has nothing to mark, select or show.
        if (level->Rtn.isEmpty())
            return;
        MarkLevel(n, treatAsTop ? BothMarks : StackMark, 0);
        selectLevel(n);
    }
    if (treatAsTop)
        ShowLevel(n, false);
}

void frmStack::grow(int count, int n)
{
    if (count >= 1)
        MarkLevel(count, 0, CurrentMark);
    QList<QTreeWidgetItem *> rows;
    rows.reserve(n - count);
    for (int i = count + 1; i <= n; ++i)
        rows.append(new LevelItem(i));
    m_stack->addTopLevelItems(rows);
    m_levels.resize(size_t(n), m_placeholder);
    sortRows();
    m_stack->resizeColumnToContents(LevelColumn);
}

void frmStack::shrink(int count, int n, const StackLevel &incoming)
{
    for (int i = count; i > n; --i) {
        const StackLevelPtr old = m_levels.back();
        if (const auto routine = routineOf(*old)) {
            MarkLevel(i, 0, BothMarks);
            if (incoming.EnvRtn() != old->EnvRtn())
                ReleaseRoutine(*routine, i);
        }
        if (!old->Rtn.isEmpty())
            forgetMarksOf(i);
        m_levels.pop_back();
    }
    // All rows out at once and the kept ones back: taken one by one, every row removed
    // made the next one current and laid the whole list out again, so a server that
    // reported level 32,767 and then level 1 held the task for some twenty seconds.
    const int selected = currentLevel();
    QList<QTreeWidgetItem *> kept, dropped;
    for (QTreeWidgetItem *row : m_stack->invisibleRootItem()->takeChildren())
        (levelOfRow(row) <= n ? kept : dropped).append(row);
    qDeleteAll(dropped);
    m_stack->addTopLevelItems(kept);
    if (selected > 0)
        selectLevel(std::min(selected, n));
    m_stack->resizeColumnToContents(LevelColumn);
}

void frmStack::replaceLevel(int n, const StackLevelPtr &incoming)
{
    const StackLevelPtr old = m_levels[size_t(n - 1)];
    const bool routineChanged = old->EnvRtn() != incoming->EnvRtn();
    const bool placeChanged = routineChanged || old->Label != incoming->Label || old->Offset != incoming->Offset;
    if (const auto routine = routineOf(*old)) {
        if (placeChanged)
            MarkLevel(n, 0, BothMarks);
        if (routineChanged)
            ReleaseRoutine(*routine, n);
    }
    // A mark left from a document that has since closed must not name the new record.
    if (placeChanged && !old->Rtn.isEmpty())
        forgetMarksOf(n);
    m_levels[size_t(n - 1)] = incoming;
}

void frmStack::forgetMarksOf(int n)
{
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        if (it.value() == n)
            it = m_marks.erase(it);
        else
            ++it;
    }
}

// --- markers and documents --------------------------------------------------------------------

int frmStack::lineOf(const Routine &routine, const StackLevel &level)
{
    return routine.LineOfLabel(level.Label + QLatin1Char('+') + QString::number(level.Offset));
}

void frmStack::commandColumns(Routine &routine, int line, StackLevel &level)
{
    // A position in the line names the command it falls in; zero or less names the
    // command by its number, negated.
    const int command = level.CharPos > 0 ? routine.CommandOfPos(line, level.CharPos)
                                          : int(std::min<qint64>(-qint64(level.CharPos), INT_MAX));
    int start = 0, end = 0;
    routine.RangeOfCommand(line, command, start, end);
    level.StartCol = start;
    level.EndCol = end;
}

void frmStack::MarkLevel(int n, int flagsToSet, int flagsToClear)
{
    const StackLevelPtr lvl = level(n);
    if (!lvl || lvl->Rtn.isEmpty())
        return;
    const auto routine = routineOf(*lvl);
    if (!routine)
        return;
    const int line = lineOf(*routine, *lvl);
    if (line == 0)
        return;
    const QString key = locationKey(line, lvl->Rtn);
    if (flagsToSet & StackMark) {
        const int owner = m_marks.value(key, 0);
        if (owner != 0 && owner != n)
            MarkLevel(owner, 0, BothMarks);
        m_marks.insert(key, n);
        commandColumns(*routine, line, *lvl);
    } else if (flagsToClear & StackMark) {
        const auto it = m_marks.find(key);
        if (it != m_marks.end()) {
            // Another level stands on the line and keeps its mark.
            if (it.value() != n)
                return;
            m_marks.erase(it);
        }
    }
    routine->SetLineFlags(line, flagsToSet, flagsToClear);
}

void frmStack::ReleaseRoutine(Routine &routine, int n)
{
    const QString key = routine.Key();
    int lowestOther = 0, highestBelow = 0;
    for (int m = 1; m <= LevelNumber(); ++m) {
        if (m == n || m_levels[size_t(m - 1)]->EnvRtn() != key)
            continue;
        if (lowestOther == 0)
            lowestOther = m;
        if (m < n)
            highestBelow = m;
    }
    if (routine.LowWaterMark() == n) {
        if (lowestOther == 0) {
            Routines &routines = m_routines ? *m_routines : Routines::instance();
            routines.Free(key, false);
            return;
        }
        // A level that came to this routine after it was opened still shows it: the
        // document now goes with the lowest of those.
        routine.setLowWaterMark(lowestOther);
    }
    if (routine.HighWaterMark() == n)
        routine.setHighWaterMark(highestBelow);
}

void frmStack::ClearCurrentLineMarker()
{
    if (LevelNumber() >= 1)
        MarkLevel(LevelNumber(), 0, CurrentMark);
}

void frmStack::SetCurrentLineMarker()
{
    if (LevelNumber() >= 1)
        MarkLevel(LevelNumber(), CurrentMark, 0);
}

void frmStack::ResetStack()
{
    for (int i = LevelNumber(); i >= 1; --i)
        MarkLevel(i, 0, BothMarks);
    const QSignalBlocker blocker(m_stack);
    m_levels.clear();
    m_marks.clear();
    m_stack->clear();
}

bool frmStack::IsInStack(const QString &rtn, const QString &env)
{
    if (rtn.isEmpty())
        return false;
    return std::any_of(m_levels.begin(), m_levels.end(),
                       [&](const StackLevelPtr &l) { return l->Rtn == rtn && l->Env == env; });
}

StackLevelPtr frmStack::LevelAtLoc(int line, const QString &rtn)
{
    const int n = m_marks.value(locationKey(line, rtn), 0);
    return n ? level(n) : nullptr;
}

// --- showing a level ------------------------------------------------------------------------

void frmStack::ShowLevel(int levelNumber, bool activate)
{
    if (m_showing)
        return;
    m_showing = true;
    const auto done = qScopeGuard([this] { m_showing = false; });

    StackLevelPtr lvl = level(levelNumber);
    if (!lvl || lvl->Rtn.isEmpty())
        return;
    std::shared_ptr<Routine> routine = routineOf(*lvl);
    const bool hiddenEmpty = routine && !routine->Visible() && routine->Brand().isEmpty();
    if (!routine || hiddenEmpty) {
        IMainWindow *main = mainWindow();
        if (!main || main->MBusy())
            return;
        const QString rtn = lvl->Rtn, env = lvl->Env;
        if (!main->ShowRoutine(rtn, env, hiddenEmpty ? levelNumber : 0, QStringLiteral("+1"), true, 1))
            return;
        // Fetching the routine lets the server's messages in, and they may have changed
        // the stack.
        reopenLevelsOf(rtn, env);
        lvl = level(levelNumber);
        if (!lvl || lvl->Rtn != rtn || lvl->Env != env)
            return;
        routine = routineOf(*lvl);
        if (!routine)
            return;
    }

    routine->Activate(activate);
    const int line = lineOf(*routine, *lvl);
    if (line == 0)
        return;
    if (lvl->StartCol < 1)
        commandColumns(*routine, line, *lvl);
    const int start = std::max(lvl->StartCol, 1);
    routine->PositionAt(line, start, std::max(lvl->EndCol - start + 1, 0));
}

// A document opened again has none of the markers of the levels that stand in it.
void frmStack::reopenLevelsOf(const QString &rtn, const QString &env)
{
    const int selected = currentLevel();
    const std::vector<StackLevelPtr> levels = m_levels;
    const int count = int(levels.size());
    for (int i = 1; i <= count; ++i) {
        const StackLevelPtr &l = levels[size_t(i - 1)];
        if (l->Rtn == rtn && l->Env == env && l->Number == i)
            Update(l, i == count);
    }
    if (selected > 0) {
        const QSignalBlocker blocker(m_stack);
        selectLevel(selected);
    }
}

// --- the grid -------------------------------------------------------------------------------

// Rows are always sorted by level, so the row of a level is found by position; the search
// is only a guard.
QTreeWidgetItem *frmStack::rowOf(int n) const
{
    const int count = m_stack->topLevelItemCount();
    const int index = m_order == OrderAscending ? n - 1 : count - n;
    if (index >= 0 && index < count && levelOfRow(m_stack->topLevelItem(index)) == n)
        return m_stack->topLevelItem(index);
    for (int i = 0; i < count; ++i) {
        if (levelOfRow(m_stack->topLevelItem(i)) == n)
            return m_stack->topLevelItem(i);
    }
    return nullptr;
}

void frmStack::fillCells(int n)
{
    QTreeWidgetItem *row = rowOf(n);
    const StackLevelPtr lvl = level(n);
    if (!row || !lvl)
        return;
    QString line;
    if (!lvl->Rtn.isEmpty() && !isXecute(*lvl)) {
        line = lvl->Label;
        if (lvl->Offset > 0)
            line += QLatin1Char('+') + QString::number(lvl->Offset);
    }
    row->setText(LineColumn, line);
    fillRoutineCell(n);
}

// Blank means "the same routine as the level below", so the cell follows that level.
void frmStack::fillRoutineCell(int n)
{
    QTreeWidgetItem *row = rowOf(n);
    const StackLevelPtr lvl = level(n);
    if (!row || !lvl)
        return;
    QString text = lvl->Rtn;
    if (isXecute(*lvl))
        text = Xecute;
    else if (n > 1 && level(n - 1)->Rtn == lvl->Rtn)
        text.clear();
    row->setText(RoutineColumn, text);
}

void frmStack::selectLevel(int n)
{
    if (QTreeWidgetItem *row = rowOf(n)) {
        m_stack->setCurrentItem(row);
        m_stack->scrollToItem(row);
    }
}

int frmStack::currentLevel() const
{
    return levelOfRow(m_stack->currentItem());
}

void frmStack::sortRows()
{
    const Qt::SortOrder order = m_order == OrderAscending ? Qt::AscendingOrder : Qt::DescendingOrder;
    m_stack->sortItems(LevelColumn, order);
    m_stack->header()->setSortIndicator(LevelColumn, order);
}

void frmStack::reverseOrder()
{
    const int selected = currentLevel();
    m_order = m_order == OrderAscending ? OrderDescending : OrderAscending;
    const QSignalBlocker blocker(m_stack);
    sortRows();
    if (selected > 0)
        selectLevel(selected);
}

void frmStack::onCurrentRowChanged(QTreeWidgetItem *current)
{
    if (!current)
        return;
    const int lvl = levelOfRow(current);
    ShowLevel(lvl, false);
    emit levelSelected(lvl);
    // Showing the routine gave its code window the focus; the user is still in the list.
    m_stack->setFocus();
}

void frmStack::onRowClicked(QTreeWidgetItem *item)
{
    if (item)
        ShowLevel(levelOfRow(item), false);
}

// --- settings -------------------------------------------------------------------------------

QHeaderView *frmStack::columnHeader() const
{
    return m_stack->header();
}

void frmStack::saveOwnSettings(Memento &memento) const
{
    memento.write(OrderAttribute, qint32(m_order));
}

void frmStack::restoreOwnSettings(const Memento &memento)
{
    qint32 order = 0;
    if (!memento.readInt(OrderAttribute, order) || (order != OrderAscending && order != OrderDescending))
        return;
    m_order = order;
    const int selected = currentLevel();
    const QSignalBlocker blocker(m_stack);
    sortRows();
    if (selected > 0)
        selectLevel(selected);
}
