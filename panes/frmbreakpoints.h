#pragma once

#include "paneform.h"

class QTreeWidget;

// The breakpoint pane: the breakpoints of the session, one row each, which are also
// their only store.
class frmBreakpoints : public PaneForm
{
    Q_OBJECT
public:
    explicit frmBreakpoints(QWidget *parent = nullptr);

    QTreeWidget *BPList() const { return m_bpList; }

protected:
    QHeaderView *columnHeader() const override;

private:
    QTreeWidget *m_bpList;   // columns: enabled check box, "Line", "Routine", "Cmd", "Delay", "Condition"
};
