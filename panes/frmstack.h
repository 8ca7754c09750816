#pragma once

#include "paneform.h"

class QTreeWidget;

// The stack pane: one row per level of the suspended process's call stack.
class frmStack : public PaneForm
{
    Q_OBJECT
public:
    explicit frmStack(QWidget *parent = nullptr);

    QTreeWidget *Stack() const { return m_stack; }

    // The main window calls these on every assignment of its session state: the top
    // level's current-line mark shows only while the process is suspended.
    void ClearCurrentLineMarker();
    void SetCurrentLineMarker();
    // Forgets every level; called when a session ends.
    void ResetStack();

protected:
    QHeaderView *columnHeader() const override;

private:
    QTreeWidget *m_stack;   // columns "Lvl", "Line", "Routine"
};
