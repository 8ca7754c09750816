#pragma once

#include "imementoorigin.h"
#include "serverbrowsedialog.h"
#include "source.h"
#include "sources.h"

#include <vector>

class ColumnFit;
class QAction;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The server Open dialog: picks routines of the session's server to open, by browsing
// the namespace tree and the item list, by typing a name, or from the recent list. The
// main window creates it once and runs it with DoIt; modFileOpen opens what it returns.
//
// A typed name (no pattern in the name box) is checked with the server ("SIE") before
// the dialog closes; a selection in the list is taken as it is, and an item the server
// offers only read-only is opened read-only after the user agrees. The recent list holds
// what was opened, newest first; its first 20 rows are kept in the memento "FileOpen"
// with the pattern history and the list's view.
class frmFileOpen : public ServerBrowseDialog, public IMementoOrigin
{
    Q_OBJECT
public:
    static constexpr int SavedRecentRows = 20;

    explicit frmFileOpen(QWidget *parent = nullptr);
    ~frmFileOpen() override;

    // Shows the dialog modally over the main window; returns the chosen items (empty when
    // cancelled or not shown) and sets readOnly when "Open Read-only" chose them. On
    // entry readOnly true offers only read-only opening.
    Sources DoIt(bool &readOnly);
    void DoIt(Sources &chosen, bool &readOnly) { chosen = DoIt(readOnly); }
    bool Cancelled() const { return m_cancelled; }

    // Turns the current choice into the chosen list; false keeps the dialog open.
    bool ValidateChosen(bool readOnlyRequest);
    const Sources &chosen() const { return m_chosen; }

    // Puts each item at the top of the recent list (the last item ends up first),
    // replacing a row of the same name, location and type, and tells the main window.
    void AddToRecent(const Sources &items);
    // Index 0 or less: every recent item in row order; n > 0: only the n-th.
    void GetRecent(int index, Sources &sources) const;
    // Replaces the recent list, first item at the top, without telling the main window.
    void setRecent(std::vector<SourcePtr> items);
    int recentCount() const;

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

    // Tabs: "Server" and "Recent".
    QString currentTabKey() const;
    void selectTab(const QString &key);

    QTabWidget *tabMain() const { return m_tabMain; }
    QWidget *picTabRecent() const { return m_picTabRecent; }
    QTreeWidget *sftRecent() const { return m_sftRecent; }
    QPushButton *cmdOpenEdit() const { return m_cmdOpenEdit; }
    QPushButton *cmdOpenReadonly() const { return m_cmdOpenReadonly; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }
    QMenu *mnuPopSvrL() const { return m_mnuPopSvrL; }
    QMenu *mnuPopRecent() const { return m_mnuPopRecent; }

    // The buttons and menu entries, as a click runs them.
    void cmdOpenEdit_Click();
    void cmdOpenReadonly_Click();
    void cmdCancel_Click();
    void lvwSvr_ItemClick(int index);
    void lvwSvr_DblClick(int index);
    void sftRecent_DblClick();
    // Prepares the list's menu for a right click at pos (lvwSvr's pixels), as shown.
    void prepareSvrListMenu(const QPoint &pos);
    // Prepares the recent menu for a right click at pos (sftRecent viewport's pixels).
    void prepareRecentMenu(const QPoint &pos);

    void reject() override;

protected:
    void nodeChosen(bool namespaceNode) override;
    void nameTextReleased(bool wasPattern, bool nowPattern) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    // A choice is made: the dialog hides with it.
    void choose(bool readOnly);
    void setDefaultButton(QPushButton *button);
    void cboSvrItems_GotFocus();
    void tabMain_Click();
    void sftRecent_SelectionChange();
    void focusActivePage();
    void addRecentRow(const Source &item, int at);
    QTreeWidgetItem *recentRowItem(int row) const;
    static QString recentPicture(int type, const QString &platform);

    QTabWidget *m_tabMain = nullptr;
    QWidget *m_picTabRecent = nullptr;
    QTreeWidget *m_sftRecent = nullptr;
    ColumnFit *m_recentFit = nullptr;   // the recent list's column widths
    QPushButton *m_cmdOpenEdit = nullptr;
    QPushButton *m_cmdOpenReadonly = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QMenu *m_mnuPopSvrL = nullptr;
    QAction *m_mnuPopSvrLEdit = nullptr;
    QAction *m_mnuPopSvrLReadonly = nullptr;
    QAction *m_mnuPopSvrLSep1 = nullptr;
    QMenu *m_mnuPopSvrLView = nullptr;
    QList<QAction *> m_viewActions;   // "Large Icons", "Small Icons", "List", "Details"
    QMenu *m_mnuPopRecent = nullptr;
    QAction *m_mnuPopRecentEdit = nullptr;
    QAction *m_mnuPopRecentReadonly = nullptr;

    bool m_cancelled = true;       // no valid choice made in this run
    bool m_readOnly = false;       // on entry the caller's request, on exit the choice
    Sources m_chosen;              // what ValidateChosen built
    QString m_tabKey;              // the page last shown
};
