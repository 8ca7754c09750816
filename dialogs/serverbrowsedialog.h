#pragma once

#include "linksession.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <optional>

class ItemListView;
class MLink;
class QComboBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class Splitter;

// The browsing half of the server file dialogs (Open and Save As): a tree of the
// server's namespaces (and, for Open, version-control locations), a paged listing of
// the chosen namespace's items filtered by type and name pattern, and the exchange with
// the server that feeds them over the session's link.
//
// The exchange, as a dialog run goes:
//   openExchange()   "+", the namespace check ("!NS"), on the first run after Reset the
//                    tree ("!NSL", "!VLL") and the type combo, then the node choice:
//                    "NSS" ns and the first page request "SIL" req type "" pattern "25".
//   (shown)          each "NS" or "SIL" page that arrives is acknowledged with one empty
//                    message; pages of a superseded listing (another request number)
//                    are acknowledged and dropped; a page with a next key asks for the
//                    next page with the same request number, type and pattern.
//   closeExchange()  one empty message per request still unanswered, the namespace
//                    restore ("!NSS" initial namespace), "-".
// Every reply is acknowledged in exactly one place: here. The main window's dispatcher
// neither acts on "NS"/"SIL" nor acknowledges them.
//
// The link is the main window's (mainWindow()->link()); its events are connected while
// the dialog runs and disconnected by closeExchange(). Single thread. The handlers never throw.
//
// The subclass decides what differs through the protected hooks (namespace-node marker,
// whether locations and descriptions are read, the type chosen after filling, the name
// proposal, the buttons).
class ServerBrowseDialog : public QDialog
{
    Q_OBJECT
public:
    // Tree node roles (column 0). The node's level is its depth in the tree.
    enum NodeRoles : int {
        NodeDataRole = Qt::UserRole + 1,   // int: 1 the node stands for a namespace or location
        NodeTagRole,                       // QString: the namespace or location it switches to
        NodeTipRole,                       // QString: the tip text as stored ("AN" is a marker)
    };

    static constexpr int PageSize = 25;
    static constexpr int MaxPatterns = 8;    // history entries besides "*"

    explicit ServerBrowseDialog(QWidget *parent = nullptr);
    ~ServerBrowseDialog() override;

    // The next openExchange reloads the tree and the type combo.
    void Reset();
    bool listsLoaded() const { return m_listsLoaded; }

    // The link the exchange runs on: the main window's.
    MLink *link() const;

    // --- the exchange ---------------------------------------------------------------
    // The opening steps: false when the namespace check failed ("Failed to get initial
    // namespace" told, "-" sent, nothing borrowed) or there is no connected link.
    bool openExchange();
    // The closing steps; does nothing when no exchange is open.
    void closeExchange();
    bool exchangeOpen() const { return m_exchangeOpen; }
    // The middle of a run: clears the main window's tips and shows the dialog modally
    // (runModal) unless the link closed during the opening steps; then the closing
    // steps. The dialog's result, or -1 when it was not shown.
    int runExchangeModal();

    void LoadServerTree();
    void sftSvr_SelectionChange();
    // One page; an empty start key starts a new listing.
    void ListServerItems(const QString &startKey);
    // column -1: the column that shows a sort arrow (the last such), else the first.
    void SetListSort(int column = -1);
    void lvwSvr_ColumnClick(int column);

    void MLinkEvents_OnMessage(const QStringList &fields);
    void MLinkEvents_OnClose();

    // --- state ---------------------------------------------------------------------
    QString initialNamespace() const { return m_initialNamespace; }
    int requestNumber() const { return m_requestNumber; }
    int outstanding() const { return m_outstanding; }
    QString currentPattern() const { return m_currentPattern; }
    void setCurrentPattern(const QString &pattern) { m_currentPattern = pattern; }
    QTreeWidgetItem *rootNode() const { return m_rootNode; }
    // The selected tree node (null when none) and its tag.
    QTreeWidgetItem *selectedNode() const;
    QString selectedNamespace() const;
    // Item data of the selected type entry; the first entry's when none is selected, 0
    // when the combo is empty.
    int selectedItemType() const;

    // The pattern history, newest first ("*" excluded).
    QStringList patternHistory() const;
    // Files a pattern as the newest entry ("*" is never filed).
    void filePattern(const QString &pattern);
    // Replaces the history: patterns newest first, at most MaxPatterns kept.
    void setPatternHistory(const QStringList &patterns);

    // --- pure rules ------------------------------------------------------------------
    // An empty text counts as "*"; a text holding ";", "?" or "*" is a pattern.
    static bool isPattern(const QString &text);
    // On "CACHE", a name ending in ".int", ".mac" or ".inc" (any case) gives type 1, 2 or 3
    // and loses the ending; otherwise both stay.
    static void SplitItemType(const QString &brand, int &type, QString &name);
    // A list field: its first character separates the rest; "" gives no elements.
    static QStringList splitList(const QString &field);
    // "$H" days,seconds as a date-time; invalid when the text holds no comma or a part
    // is not a number.
    static QDateTime horologDate(const QString &detail);

    struct ItemFlags
    {
        int type = 0;          // c And 15
        bool ghosted = false;  // c And 16: read-only only
        QString status;        // the tip: "", "Unregistered", "Registered", "Checked out"
        QString iconKey;       // "CACHE" type or "Default", then ".0".."3"
    };
    // Decodes a flag character. A missing flag (null character) gives fallbackType with
    // no status; a type with no icon gets the "Default" icon with the same suffix.
    static ItemFlags decodeFlag(QChar flag, const QString &brand, int fallbackType);

    // --- controls --------------------------------------------------------------------
    QWidget *picTabSvr() const { return m_picTabSvr; }
    QTreeWidget *sftSvr() const { return m_sftSvr; }
    ItemListView *lvwSvr() const { return m_lvwSvr; }
    QComboBox *cboSvrItems() const { return m_cboSvrItems; }
    QComboBox *cboSvrItemTypes() const { return m_cboSvrItemTypes; }
    QLabel *lblSvrItems() const { return m_lblSvrItems; }
    QLabel *lblSvrItemTypes() const { return m_lblSvrItemTypes; }
    Splitter *SplitterSvr() const { return m_splitterSvr; }

protected:
    // --- what Open and Save As do differently ----------------------------------------
    // Open reads descriptions (NSL field 3) and asks "!VLL" from protocol 5 on; namespace
    // nodes get data value 1. Save As does neither and marks its namespace nodes with
    // the tip "AN".
    virtual bool loadsLocations() const { return true; }
    // Whether a node stands for a namespace (or location) that choosing it switches to.
    virtual bool isNamespaceNode(const QTreeWidgetItem *node) const;
    // Fills a new namespace node (text and level already set).
    virtual void markNamespaceNode(QTreeWidgetItem *node, const QString &ns, const QString &description);
    // Opening step 7: the root stands for the node that matches the initial namespace
    // (match), or for nothing (null).
    virtual void markRoot(QTreeWidgetItem *root, const QTreeWidgetItem *match);
    // The type entry to select after filling the combo; -1 selects none. Default: the
    // last entry.
    virtual int typeEntryAfterFill() const;
    // Whether a listing waits for the lists to be loaded (Open: yes).
    virtual bool listingNeedsLoadedLists() const { return true; }
    // Opening step 6: what goes into the name box. Default: the current pattern, "*"
    // when there is none.
    virtual void proposeName();
    // After step 7, before the node choice runs (Save As selects the routine's namespace).
    virtual void beforeNodeChoice() {}
    // The node choice's enabling: the base enables the boxes and shows the list exactly
    // when namespaceNode; the subclass sets its buttons.
    virtual void nodeChosen(bool namespaceNode);
    // The name box's text changed by a key release: wasPattern/nowPattern tell how the
    // current pattern changed (the base has already set it).
    virtual void nameTextReleased(bool wasPattern, bool nowPattern);
    // An entry of the pattern list was chosen: the base has set the current pattern and
    // starts the new listing after this returns.
    virtual void patternChosen() {}
    // The tip the tree shows for a node. Default: its stored tip.
    virtual QString sftSvr_CellTip(const QTreeWidgetItem *node) const;
    // The link closed while shown; the base has dropped the events. Default: reject().
    virtual void linkClosed();

    // Adds a tree node under the last node one level up (the root at level 0).
    QTreeWidgetItem *addNode(const QString &text, int level);
    // Selects a node without running the node choice.
    void selectNodeQuietly(QTreeWidgetItem *node);
    // Searches the tree after the root for a namespace node whose text is ns.
    QTreeWidgetItem *findNamespaceNode(const QString &ns) const;
    // After every layout of the splitter: the tree goes into the primary cell, the list
    // into the secondary one.
    virtual void SplitterSvr_OnResize();
    // A double click on the bar puts it at a third of the splitter's width.
    virtual void SplitterSvr_OnSplitterDblClick();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildBrowsePage();
    void connectLink(MLink *link);
    void disconnectLink();
    void acknowledge();
    void send(const QStringList &message);
    void receivePage(const QStringList &fields);
    void fillTypeCombo();
    void cboSvrItems_KeyUp();
    void cboSvrItems_Enter();
    void cboSvrItems_Click(int index);
    void cboSvrItemTypes_Click(int index);
    void continueListing(int request, const QString &startKey);

    QWidget *m_picTabSvr = nullptr;
    QLabel *m_lblSvrItems = nullptr;
    QComboBox *m_cboSvrItems = nullptr;
    QLabel *m_lblSvrItemTypes = nullptr;
    QComboBox *m_cboSvrItemTypes = nullptr;
    Splitter *m_splitterSvr = nullptr;
    QTreeWidget *m_sftSvr = nullptr;
    ItemListView *m_lvwSvr = nullptr;

    MLink *m_link = nullptr;                       // the link of the open exchange
    std::optional<LinkSession> m_session;          // its session: what the exchange sends goes only there
    QList<QMetaObject::Connection> m_linkEvents;   // dropped by closeExchange
    bool m_exchangeOpen = false;                   // "+" went out and "-" has not yet
    quint64 m_exchangeGeneration = 0;              // a posted continuation of an earlier run is void
    QString m_initialNamespace;                    // restored at close
    int m_requestNumber = 0;                       // numbers new listings; continuations keep it
    int m_outstanding = 0;                         // "NSS"/"SIL" sent whose reply is not yet acked
    QString m_currentPattern;                      // empty while the name box holds a plain name
    int m_listingType = 0;                         // the type of the current listing
    QString m_listingPattern;                      // the pattern of the current listing
    bool m_listsLoaded = false;                    // the tree and the type combo are filled
    QTreeWidgetItem *m_rootNode = nullptr;         // "Active Connection"
    QList<QTreeWidgetItem *> m_lastAtLevel;        // the parent for the next node one level down
};
