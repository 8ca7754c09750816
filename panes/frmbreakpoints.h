#pragma once

#include "breakpoint.h"
#include "docservices.h"
#include "paneform.h"
#include "watchpoint.h"

#include <QStringList>

#include <vector>

class GridControl;
class Routine;
class Routines;
class QTabWidget;
class QTreeWidget;

// The breakpoint pane: the session's code breakpoints (tab "BP", grid BPList) and data
// watchpoints (tab "WP", grid WPList), one row each. The rows are the only store: every
// record handed out is a new copy of a row, and every change comes back through SetBP,
// DeleteBP or DeleteWP, which rewrite the rows and tell the server through the main
// window's link ("BP", "WP+", "WP-"; dropped by the link while disconnected and sent
// again by SetBPsOnServer after the next greeting).
//
// A row's identifier is the grid's, issued when the row is made and never reused; writing
// a record into a row gives the record that identifier, so an edited row is withdrawn and
// set again on the server under the same one. The last row of each grid is always the
// blank entry row.
//
// The main window registers the pane as docServices().breakpoints and hands it the
// server's "BPU"/"WPU" reports through OnReport; it acknowledges them itself.
class frmBreakpoints : public PaneForm, public IBreakpointsPane
{
    Q_OBJECT
public:
    explicit frmBreakpoints(QWidget *parent = nullptr);
    ~frmBreakpoints() override;

    QTreeWidget *BPList() const;
    QTreeWidget *WPList() const;
    GridControl *bpGrid() const { return m_bpList; }
    GridControl *wpGrid() const { return m_wpList; }
    QTabWidget *TabStrip() const { return m_tabs; }

    // The open documents whose line markers follow the rows; the process-wide collection
    // unless a test gives its own.
    void setRoutines(Routines *routines) { m_routines = routines; }

    // IBreakpointsPane
    std::vector<BreakpointPtr> BPs(const QString &rtn) override;
    void SetBP(const BreakpointPtr &bp) override;
    void DeleteBP(const BreakpointPtr &bp, bool lookup) override;
    void ShowBP(const QString &env, const QString &rtn, const QString &label, int offset) override;

    std::vector<WatchpointPtr> WPs();
    void UpdateBP(int id, const QString &conditionError, int delay);
    void UpdateWP(int id, const QString &value, bool valueIsError);
    void DeleteWP(const WatchpointPtr &wp, bool lookup);
    void SetBPsOnServer();
    QTreeWidget *SelectedList() const;

    // A "BPU" or "WPU" message as the link delivers it, field 0 the code. "BPU" with 3
    // fields has no delay, with 4 it has one; other counts, unknown codes and unknown
    // identifiers change nothing. Numbers that do not convert read as 0.
    void OnReport(const QStringList &message);

    // The comparison of the Routine column: name, then line * 256 + command; blank rows
    // (empty text, number below 2) go last and are equal among themselves.
    static int compareRows(const QString &text1, const QString &text2, qint64 value1, qint64 value2);
    // Tip texts; empty when the grid's own tip stands.
    static QString headerTip(bool watchpoints, int col, int rowCount);
    QString cellTip(bool watchpoints, int row, int col) const;

protected:
    QHeaderView *columnHeader() const override;
    void saveOwnSettings(Memento &memento) const override;
    void restoreOwnSettings(const Memento &memento) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setDefaultColumnWidths();
    enum BPColumn { BPCheck, BPLine, BPRoutine, BPCmd, BPDelay, BPCondition };
    enum WPColumn { WPCheck, WPExpression, WPValue, WPPrevious };

    // Rows and records.
    static bool isBlank(const Breakpoint &bp);
    Breakpoint BPOfRow(int row) const;
    Watchpoint WPOfRow(int row) const;
    // `record` is what the document keeps for its marker (a copy of bp when null);
    // a quiet write only changes the cells.
    void WriteBPRow(Breakpoint &bp, int row, const BreakpointPtr &record = nullptr, bool quiet = false);
    void WriteWPRow(Watchpoint &wp, int row, bool quiet);
    int FindBPRow(Breakpoint &bp, int start) const;
    void sortBPList();
    void updateTabImage(bool watchpoints);
    void removeBPRow(int row);
    void removeWPRow(int row);
    Routine *routineOf(const Breakpoint &bp) const;
    void send(const QStringList &fields);

    // Editing.
    void AddBlankBPRow();
    void AddBlankWPRow();
    void InsertBlankBPRow(int position);
    void InsertBlankWPRow(int position);
    bool CommitBPRow(int &row);
    bool CommitWPRow(int &row);
    void EditBPCell(int row, int col, bool keepHeld);
    void EditWPCell(int row, int col, bool keepHeld);
    bool validateBPCell(int row, int col, QString &text);
    bool bpEditKeyDown(int key, Qt::KeyboardModifiers mods);
    bool wpEditKeyDown(int key, Qt::KeyboardModifiers mods);
    void bpPostEdit(bool accepted, int row, int col);
    void wpPostEdit(bool accepted, int row, int col);
    bool gridKeyDown(bool watchpoints, QKeyEvent *event);
    void toggleRow(bool watchpoints, int row);
    void toggleAll(bool watchpoints);
    void showSelectedBreakpoint();
    bool tabMove(bool watchpoints, bool back);
    bool arrowOrInsert(bool watchpoints, int key);
    void refuse(int row, int col, const QString &text);

    QTabWidget *m_tabs = nullptr;
    GridControl *m_bpList = nullptr;   // 0 check box, "Line", "Routine", "Cmd", "Delay", "Condition"
    GridControl *m_wpList = nullptr;   // 0 check box, "Expression", "Value", "Previous"
    Routines *m_routines = nullptr;
    Breakpoint m_heldBP;         // the row being edited as it was before the edit
    Watchpoint m_heldWP;
    bool m_edited = false;       // an editor opened since the held copy was taken
    bool m_enterPressed = false; // Enter ended the breakpoint edit: re-sort and select
    bool m_selectingInCode = false; // a selection the pane makes is not the user's choice
};
