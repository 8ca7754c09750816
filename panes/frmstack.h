#pragma once

#include "debugpanes.h"
#include "docservices.h"
#include "paneform.h"

#include <QHash>
#include <QString>
#include <QTreeWidget>

#include <memory>
#include <vector>

class Routine;
class Routines;

// The stack pane: one row per level of the suspended process's call stack, with the
// level's number, its line and its routine.
//
// It holds the levels the server reported (level 1 the outermost), keeps the margin
// markers of the code windows in step with them (bit 1 on every line a level stands on,
// bit 2 on the top level's line while the process is suspended) and gives back the
// routine documents that were opened only for the stack once no level shows them.
//
// Only a selection the user makes raises levelSelected; rows the pane selects itself
// while levels arrive raise nothing, or every reported level would fetch variables.
class frmStack : public PaneForm, public IStackPane, public IStackLevels
{
    Q_OBJECT
public:
    // Directions of the "Lvl" column, as the saved "Order" setting holds them.
    static constexpr int OrderAscending = 3;
    static constexpr int OrderDescending = 2;
    // Level numbers are 16-bit on the wire; anything outside 1..MaxLevel is ignored.
    static constexpr int MaxLevel = 32767;

    explicit frmStack(QWidget *parent = nullptr);
    ~frmStack() override;

    QTreeWidget *Stack() const { return m_stack; }
    // The documents the levels are looked up in; null goes back to Routines::instance().
    void setRoutines(Routines *routines);
    // Off while the variables pane fetches a level, so the level cannot change under it.
    void setListEnabled(bool enabled);

    // IStackLevels
    void Update(const StackLevelPtr &level, bool treatAsTop) override;
    void ShowLevel(int levelNumber, bool activate) override;
    // Clears every level's markers and forgets every level; called when a session ends.
    void ResetStack() override;

    // IStackPane
    bool IsInStack(const QString &rtn, const QString &env) override;
    StackLevelPtr LevelAtLoc(int line, const QString &rtn) override;

    // The number of levels held.
    int LevelNumber() const { return int(m_levels.size()); }
    // Level `number` (1-based) as held, the shared empty record for a level not reported
    // yet; null outside 1..LevelNumber().
    StackLevelPtr level(int number) const;
    int Order() const { return m_order; }

    // The main window calls these on every assignment of its session state: the top
    // level's current-line mark shows only while the process is suspended.
    void ClearCurrentLineMarker();
    void SetCurrentLineMarker();

signals:
    // The user picked a level; its routine is already shown there.
    void levelSelected(int level);

protected:
    QHeaderView *columnHeader() const override;
    void saveOwnSettings(Memento &memento) const override;
    void restoreOwnSettings(const Memento &memento) override;

private:
    std::shared_ptr<Routine> routineOf(const StackLevel &level) const;
    void MarkLevel(int n, int flagsToSet, int flagsToClear);
    void ReleaseRoutine(Routine &routine, int n);
    // Works out the first and last column of the level's command on `line`.
    static void commandColumns(Routine &routine, int line, StackLevel &level);
    static int lineOf(const Routine &routine, const StackLevel &level);

    void grow(int count, int n);
    void shrink(int count, int n, const StackLevel &incoming);
    void replaceLevel(int n, const StackLevelPtr &incoming);
    void forgetMarksOf(int n);
    void reopenLevelsOf(const QString &rtn, const QString &env);

    QTreeWidgetItem *rowOf(int n) const;
    void fillCells(int n);
    void fillRoutineCell(int n);
    void selectLevel(int n);
    int currentLevel() const;
    void sortRows();
    void reverseOrder();
    void onCurrentRowChanged(QTreeWidgetItem *current);
    void onRowClicked(QTreeWidgetItem *item);

    QTreeWidget *m_stack;                   // columns "Lvl", "Line", "Routine"
    Routines *m_routines = nullptr;         // null: the process-wide collection
    std::vector<StackLevelPtr> m_levels;    // item i - 1 is level i
    // Location key "+" line "^" routine name -> the level whose marker owns that line, so
    // that clearing one of two levels on a line leaves the other's mark standing.
    QHash<QString, int> m_marks;
    const StackLevelPtr m_placeholder;      // every level the server has not reported yet
    int m_order = OrderAscending;
    bool m_showing = false;                 // ShowLevel runs: reopening a routine updates
                                            // the levels again, which would show it again
};
