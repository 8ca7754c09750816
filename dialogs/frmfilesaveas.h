#pragma once

#include "docservices.h"
#include "imementoorigin.h"
#include "serverbrowsedialog.h"

class IDocLink;
class QMenu;
class QPushButton;
class Routine;

// The server Save As dialog: gives a routine document a name, a namespace and an item type
// on the session's server and saves it there. Created once with the main window and shown
// modally by DoIt, which the document's own save calls for a routine without a namespace
// and the code window's "FlSaveAs" for any routine. It browses the server as the Open
// dialog does; its namespace nodes carry the marker "AN" instead of a data value.
//
// Saving under another identity asks the server first ("SIN" on the routine's link): its
// consent takes the new item's lock, a refusal is answered by "SIU" releasing it again.
// After a rename the lock on the old item is released. Saving under the routine's own
// name, namespace and type is the document's plain save and asks nothing.
class frmFileSaveAs : public ServerBrowseDialog, public IMementoOrigin, public ISaveAsDialog
{
    Q_OBJECT
public:
    // The tip text that marks a tree node as a namespace to save into.
    static constexpr const char *NamespaceMarker = "AN";

    explicit frmFileSaveAs(QWidget *parent = nullptr);
    ~frmFileSaveAs() override;

    // Runs the dialog for the routine; true when nothing was saved. Asked while it is
    // already shown (the routine's save inside this dialog's own save), it returns true at
    // once rather than opening itself a second time.
    bool DoIt(Routine &rtn) override;
    bool Cancelled() const { return m_cancel; }
    bool isRunning() const { return m_running; }

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

    QPushButton *cmdSave() const { return m_cmdSave; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }
    QMenu *mnuPopSvrL() const { return m_mnuPopSvrL; }

    void cmdSave_Click();
    void cmdCancel_Click();
    void lvwSvr_ItemClick(int index);
    void lvwSvr_DblClick(int index);

    // The bar position (twips) that keeps both cells at least 1000 twips wide in a
    // splitter of that width, given the cell widths of the layout just made; the position
    // unchanged when both are wide enough. Applied in order, as the layout would: a
    // narrow tree first, then a list left narrow by that.
    static double minimumCellPosition(double splitterWidth, double barPosition, double barWidth);

public slots:
    void reject() override;

protected:
    bool loadsLocations() const override { return false; }
    bool isNamespaceNode(const QTreeWidgetItem *node) const override;
    void markNamespaceNode(QTreeWidgetItem *node, const QString &ns, const QString &description) override;
    void markRoot(QTreeWidgetItem *root, const QTreeWidgetItem *match) override;
    int typeEntryAfterFill() const override;
    bool listingNeedsLoadedLists() const override { return false; }
    void proposeName() override;
    void beforeNodeChoice() override;
    void nodeChosen(bool namespaceNode) override;
    void nameTextReleased(bool wasPattern, bool nowPattern) override;
    void patternChosen() override;
    QString sftSvr_CellTip(const QTreeWidgetItem *node) const override;
    void linkClosed() override;
    // The tree and the list keep at least 1000 twips each; the list sits a pixel lower.
    void SplitterSvr_OnResize() override;
    void SplitterSvr_OnSplitterDblClick() override;
    void showEvent(QShowEvent *event) override;

private:
    void buildButtons();
    void buildMenus();
    // The save steps for a chosen identity; the cancel flag tells the outcome. Returns the
    // control that takes the focus when the dialog stays open.
    QWidget *saveChosen(const QString &name, const QString &ns, int type);
    // The "SIN" exchange on the routine's link; true on the server's consent. A refused
    // lock is released in `session` only.
    bool askServer(const LinkSession &session, IDocLink &link, const QString &name, const QString &ns, int type);
    void recordRecent(IDocLink &link, const QString &name, const QString &ns, int type);

    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QMenu *m_mnuPopSvrL = nullptr;      // the list's view menu on a right click
    QMenu *m_mnuPopRecent = nullptr;    // kept with the Open dialog's entries; unused here
    Routine *m_rtn = nullptr;           // the document being saved, while DoIt runs
    bool m_cancel = true;               // nothing saved in this opening yet
    bool m_running = false;             // DoIt is under way: a nested call must not reopen it
    bool m_placing = false;             // the splitter handler is moving the bar itself
    bool m_splitterPlaced = false;      // the bar has had its first position
};
