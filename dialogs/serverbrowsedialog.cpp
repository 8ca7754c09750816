#include "serverbrowsedialog.h"

#include "dialoghost.h"
#include "imainwindow.h"
#include "itemicons.h"
#include "itemlistview.h"
#include "lv.h"
#include "mlink.h"
#include "msgbox.h"
#include "splitter.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

const QString Cache = QStringLiteral("CACHE");

// The first day of the server's $HOROLOG count is 31 December 1840 (day 0).
const QDate HorologEpoch(1840, 12, 31);

// The date as the system shows a general date: no time at midnight.
QString generalDate(const QDateTime &when)
{
    const QLocale locale;
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(when.time(), QStringLiteral("HH:mm:ss"));
    return text;
}

} // namespace

ServerBrowseDialog::ServerBrowseDialog(QWidget *parent) : QDialog(parent)
{
    buildBrowsePage();
}

ServerBrowseDialog::~ServerBrowseDialog()
{
    disconnectLink();
}

void ServerBrowseDialog::buildBrowsePage()
{
    m_picTabSvr = new QWidget(this);
    m_picTabSvr->setObjectName(QStringLiteral("picTabSvr"));

    m_lblSvrItems = new QLabel(tr("Item &Names:"), m_picTabSvr);
    m_cboSvrItems = new QComboBox(m_picTabSvr);
    m_cboSvrItems->setObjectName(QStringLiteral("cboSvrItems"));
    m_cboSvrItems->setEditable(true);
    // Only Enter files a pattern, and only by our rules; Qt would file or complete texts
    // on its own otherwise.
    m_cboSvrItems->setInsertPolicy(QComboBox::NoInsert);
    m_cboSvrItems->setDuplicatesEnabled(true);
    m_cboSvrItems->setCompleter(nullptr);
    m_cboSvrItems->addItem(QStringLiteral("*"));
    m_cboSvrItems->setEditText(QString());
    // The combo takes a finished edit that equals a history entry as a choice of that
    // entry; leaving the box (closing the dialog, too) would then start a listing.
    // Choosing from the list is the only way an entry is chosen here.
    disconnect(m_cboSvrItems->lineEdit(), &QLineEdit::editingFinished, m_cboSvrItems, nullptr);
    m_lblSvrItems->setBuddy(m_cboSvrItems);

    m_lblSvrItemTypes = new QLabel(tr("Items of &Type:"), m_picTabSvr);
    m_cboSvrItemTypes = new QComboBox(m_picTabSvr);
    m_cboSvrItemTypes->setObjectName(QStringLiteral("cboSvrItemTypes"));
    m_lblSvrItemTypes->setBuddy(m_cboSvrItemTypes);

    m_splitterSvr = new Splitter(m_picTabSvr);
    m_splitterSvr->setObjectName(QStringLiteral("SplitterSvr"));
    m_splitterSvr->setOrientation(1);

    m_sftSvr = new QTreeWidget;
    m_sftSvr->setObjectName(QStringLiteral("sftSvr"));
    m_sftSvr->setHeaderHidden(true);
    m_sftSvr->setColumnCount(1);
    m_sftSvr->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sftSvr->setRootIsDecorated(true);
    m_splitterSvr->addHostWidget(m_sftSvr);

    m_lvwSvr = new ItemListView;
    m_lvwSvr->setObjectName(QStringLiteral("lvwSvr"));
    m_lvwSvr->setColumns({tr("Item"), tr("Last Saved")}, {QStringLiteral("B"), QStringLiteral("D")});
    m_splitterSvr->addHostWidget(m_lvwSvr);

    auto *grid = new QGridLayout(m_picTabSvr);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(m_lblSvrItems, 0, 0);
    grid->addWidget(m_cboSvrItems, 0, 1);
    grid->addWidget(m_lblSvrItemTypes, 1, 0);
    grid->addWidget(m_cboSvrItemTypes, 1, 1);
    grid->addWidget(m_splitterSvr, 2, 0, 1, 2);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);

    // The box itself, not its line edit: an editable combo box keeps the focus and hands
    // each key to its line edit by a direct call that no filter on the line edit sees.
    m_cboSvrItems->installEventFilter(this);
    m_sftSvr->viewport()->installEventFilter(this);

    connect(m_sftSvr, &QTreeWidget::itemSelectionChanged, this, &ServerBrowseDialog::sftSvr_SelectionChange);
    connect(m_cboSvrItems, qOverload<int>(&QComboBox::activated), this, &ServerBrowseDialog::cboSvrItems_Click);
    connect(m_cboSvrItemTypes, qOverload<int>(&QComboBox::activated), this,
            &ServerBrowseDialog::cboSvrItemTypes_Click);
    connect(m_lvwSvr, &ItemListView::ColumnClick, this, &ServerBrowseDialog::lvwSvr_ColumnClick);
    connect(m_splitterSvr, &Splitter::OnResize, this, [this] { SplitterSvr_OnResize(); });
    connect(m_splitterSvr, &Splitter::OnSplitterDblClick, this, [this] { SplitterSvr_OnSplitterDblClick(); });
}

void ServerBrowseDialog::Reset()
{
    m_listsLoaded = false;
}

MLink *ServerBrowseDialog::link() const
{
    IMainWindow *main = mainWindow();
    return main ? main->link() : nullptr;
}

// --- the exchange ----------------------------------------------------------------------

void ServerBrowseDialog::connectLink(MLink *link)
{
    disconnectLink();
    m_link = link;
    // Direct connections: a transaction raises the frames that came before its echo from
    // inside its wait, and their acknowledgements must keep the stream's order.
    m_linkEvents << connect(link, &MLink::OnMessage, this, &ServerBrowseDialog::MLinkEvents_OnMessage,
                            Qt::DirectConnection);
    m_linkEvents << connect(link, &MLink::OnClose, this, &ServerBrowseDialog::MLinkEvents_OnClose,
                            Qt::DirectConnection);
}

void ServerBrowseDialog::disconnectLink()
{
    for (const QMetaObject::Connection &c : std::as_const(m_linkEvents))
        disconnect(c);
    m_linkEvents.clear();
}

void ServerBrowseDialog::acknowledge()
{
    send({});
}

void ServerBrowseDialog::send(const QStringList &message)
{
    // The exchange's boxes and the yield between pages run event loops, in which its
    // session may end and the next server connect: that server asked for none of this.
    if (m_session)
        m_session->Send(message);
}

bool ServerBrowseDialog::openExchange()
{
    MLink *session = link();
    if (!session)
        return false;
    connectLink(session);
    m_session.emplace(*session);
    ++m_exchangeGeneration;
    m_requestNumber = 0;
    m_outstanding = 0;

    send({QStringLiteral("+")});
    m_exchangeOpen = true;
    if (!session->CheckEnv()) {
        disconnectLink();
        m_exchangeOpen = false;
        MsgBox(tr("Failed to get initial namespace"), MsgBoxStyle::Critical);
        send({QStringLiteral("-")});
        m_link = nullptr;
        m_session.reset();
        return false;
    }
    m_initialNamespace = session->Env();

    if (!m_listsLoaded)
        LoadServerTree();
    proposeName();

    if (m_rootNode) {
        QSignalBlocker quiet(m_sftSvr);
        markRoot(m_rootNode, findNamespaceNode(m_initialNamespace));
    }
    beforeNodeChoice();
    // The listing of the chosen namespace starts before the dialog shows.
    if (selectedNode())
        sftSvr_SelectionChange();
    return true;
}

int ServerBrowseDialog::runExchangeModal()
{
    MLink *session = m_link;
    // A link that closed during the opening steps leaves nothing to browse: showing the
    // dialog would only offer choices that cannot be opened.
    if (!session || !session->IsConnected() || !m_exchangeOpen) {
        closeExchange();
        return -1;
    }
    if (IMainWindow *main = mainWindow())
        main->ClearAllTips();
    const int result = runModal(this);
    closeExchange();
    return result;
}

void ServerBrowseDialog::closeExchange()
{
    if (!m_exchangeOpen)
        return;
    m_exchangeOpen = false;
    disconnectLink();
    unsetCursor();
    MLink *session = m_link;
    m_link = nullptr;
    if (!session || !m_session || !m_session->isCurrent()) {
        m_outstanding = 0;
        m_session.reset();
        return;
    }
    // The server answers every request; those not yet answered are acknowledged now, so
    // its count of what we still owe comes out even.
    for (; m_outstanding > 0; --m_outstanding)
        send({});
    const QStringList reply = session->Transact(0, QStringList{QStringLiteral("NSS"), m_initialNamespace});
    send({});
    const QString code = reply.value(0);
    if (code != QLatin1String("NS")) {
        MsgBox(tr("Failed to restore initial namespace ") + m_initialNamespace + QStringLiteral("(reply=") + code
                   + QLatin1Char(')'),
               MsgBoxStyle::Critical);
    } else if (reply.value(1) != m_initialNamespace) {
        MsgBox(tr("Failed to restore initial namespace ") + m_initialNamespace + tr(" - now in ") + reply.value(1),
               MsgBoxStyle::Critical);
    }
    send({QStringLiteral("-")});
    m_session.reset();
}

// --- the tree --------------------------------------------------------------------------

QTreeWidgetItem *ServerBrowseDialog::addNode(const QString &text, int level)
{
    QTreeWidgetItem *node = nullptr;
    if (level <= 0 || m_lastAtLevel.isEmpty()) {
        node = new QTreeWidgetItem(m_sftSvr, QStringList{text});
        level = 0;
    } else {
        level = qMin(level, int(m_lastAtLevel.size()));
        node = new QTreeWidgetItem(m_lastAtLevel.at(level - 1), QStringList{text});
    }
    m_lastAtLevel.resize(level + 1);
    m_lastAtLevel[level] = node;
    node->setData(0, NodeDataRole, 0);
    node->setExpanded(true);
    if (node->parent())
        node->parent()->setExpanded(true);
    return node;
}

void ServerBrowseDialog::selectNodeQuietly(QTreeWidgetItem *node)
{
    QSignalBlocker quiet(m_sftSvr);
    m_sftSvr->clearSelection();
    if (node) {
        m_sftSvr->setCurrentItem(node);
        node->setSelected(true);
    }
}

QTreeWidgetItem *ServerBrowseDialog::selectedNode() const
{
    const QList<QTreeWidgetItem *> selected = m_sftSvr->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QString ServerBrowseDialog::selectedNamespace() const
{
    QTreeWidgetItem *node = selectedNode();
    return node ? node->data(0, NodeTagRole).toString() : QString();
}

QTreeWidgetItem *ServerBrowseDialog::findNamespaceNode(const QString &ns) const
{
    QTreeWidgetItemIterator it(m_sftSvr);
    for (; *it; ++it) {
        QTreeWidgetItem *node = *it;
        if (node == m_rootNode)
            continue;
        if (node->text(0) == ns && isNamespaceNode(node))
            return node;
    }
    return nullptr;
}

bool ServerBrowseDialog::isNamespaceNode(const QTreeWidgetItem *node) const
{
    return node && node->data(0, NodeDataRole).toInt() == 1;
}

void ServerBrowseDialog::markNamespaceNode(QTreeWidgetItem *node, const QString &ns, const QString &description)
{
    MLink *session = m_link ? m_link : link();
    const QString host = session ? session->HostIP() : QString();
    node->setData(0, NodeDataRole, 1);
    node->setData(0, NodeTipRole, description + tr(" on ") + host);
    node->setData(0, NodeTagRole, ns);
}

void ServerBrowseDialog::markRoot(QTreeWidgetItem *root, const QTreeWidgetItem *match)
{
    if (match) {
        root->setData(0, NodeDataRole, 1);
        root->setData(0, NodeTipRole, match->data(0, NodeTipRole));
        root->setData(0, NodeTagRole, m_initialNamespace);
    } else {
        root->setData(0, NodeDataRole, 0);
        root->setData(0, NodeTipRole, QString());
        root->setData(0, NodeTagRole, QString());
    }
}

QString ServerBrowseDialog::sftSvr_CellTip(const QTreeWidgetItem *node) const
{
    return node ? node->data(0, NodeTipRole).toString() : QString();
}

void ServerBrowseDialog::LoadServerTree()
{
    MLink *session = m_link ? m_link : link();
    if (!session)
        return;
    const LinkSession asked(*session);
    const QStringList reply = session->Transact(0, QStringList{QStringLiteral("NSL")});
    asked.acknowledge();

    QSignalBlocker quietTree(m_sftSvr);
    m_sftSvr->clear();
    m_lastAtLevel.clear();
    m_rootNode = addNode(tr("Active Connection"), 0);
    QTreeWidgetItem *chosen = m_rootNode;

    // A reply without its namespace list (a failed transaction's "MSG") leaves the tree
    // empty under the root rather than guessing.
    if (reply.size() >= 3) {
        chosen = addNode(reply.value(1), 1);
        const QStringList namespaces = splitList(reply.value(2));
        const QStringList descriptions =
            loadsLocations() && reply.size() > 3 ? splitList(reply.value(3)) : namespaces;
        for (int i = 0; i < namespaces.size(); ++i) {
            const QString &ns = namespaces.at(i);
            const QString description = i < descriptions.size() ? descriptions.at(i) : ns;
            QTreeWidgetItem *node = addNode(ns, 2);
            markNamespaceNode(node, ns, description);
            if (ns == m_initialNamespace)
                chosen = node;
        }
    }

    if (loadsLocations() && session->ProtocolVersion() >= 5) {
        const QStringList locations = session->Transact(20, QStringList{QStringLiteral("VLL")});
        asked.acknowledge();
        // Read by position whatever the code: a failed transaction's text becomes the tip.
        if (!locations.value(1).isEmpty()) {
            QTreeWidgetItem *heading = addNode(tr("Tarvik Locations"), 1);
            heading->setData(0, NodeTipRole, locations.value(1));
            // An incomplete last triple is ignored.
            for (int k = 2; k + 2 < locations.size(); k += 3) {
                QTreeWidgetItem *node = addNode(locations.at(k), 2);
                node->setData(0, NodeDataRole, 1);
                node->setData(0, NodeTipRole,
                              locations.at(k + 1) + QStringLiteral(" - [") + locations.at(k + 2) + QLatin1Char(']'));
                node->setData(0, NodeTagRole, locations.at(k + 2));
            }
        }
    }
    selectNodeQuietly(chosen);

    fillTypeCombo();
    m_listsLoaded = true;
}

void ServerBrowseDialog::fillTypeCombo()
{
    MLink *session = m_link ? m_link : link();
    QSignalBlocker quiet(m_cboSvrItemTypes);
    m_cboSvrItemTypes->clear();
    if (session && session->Brand() == Cache) {
        m_cboSvrItemTypes->addItem(tr("Macro Routine (.mac)"), 2);
        m_cboSvrItemTypes->addItem(tr("Macro Include (.inc)"), 3);
        m_cboSvrItemTypes->addItem(tr("Intermediate Routine (*.int)"), 1);
    } else {
        m_cboSvrItemTypes->addItem(tr("Routine"), 1);
    }
    m_cboSvrItemTypes->setCurrentIndex(typeEntryAfterFill());
}

int ServerBrowseDialog::typeEntryAfterFill() const
{
    return m_cboSvrItemTypes->count() - 1;
}

int ServerBrowseDialog::selectedItemType() const
{
    int index = m_cboSvrItemTypes->currentIndex();
    if (index < 0)
        index = 0;
    if (index >= m_cboSvrItemTypes->count())
        return 0;
    return m_cboSvrItemTypes->itemData(index).toInt();
}

void ServerBrowseDialog::sftSvr_SelectionChange()
{
    QTreeWidgetItem *node = selectedNode();
    const bool namespaceNode = isNamespaceNode(node);
    if (namespaceNode && m_exchangeOpen && m_link) {
        send({QStringLiteral("NSS"), node->data(0, NodeTagRole).toString()});
        ++m_outstanding;
        const int before = m_requestNumber;
        ListServerItems(QString());
        if (m_requestNumber == before) {
            // No listing for the new namespace (a plain name is typed): the old
            // namespace's items must not stay on offer, nor its late pages arrive.
            ++m_requestNumber;
            m_lvwSvr->clear();
        }
    }
    nodeChosen(namespaceNode);
}

void ServerBrowseDialog::nodeChosen(bool namespaceNode)
{
    m_cboSvrItems->setEnabled(namespaceNode);
    m_cboSvrItemTypes->setEnabled(namespaceNode);
    m_lvwSvr->setVisible(namespaceNode);
}

// --- listing ---------------------------------------------------------------------------

void ServerBrowseDialog::ListServerItems(const QString &startKey)
{
    if (!startKey.isEmpty()) {
        continueListing(m_requestNumber, startKey);
        return;
    }
    if (m_currentPattern.isEmpty() || (listingNeedsLoadedLists() && !m_listsLoaded) || !m_exchangeOpen
        || !m_link) {
        unsetCursor();
        return;
    }
    ++m_requestNumber;
    m_lvwSvr->clear();
    m_lvwSvr->setSorted(false);
    setCursor(Qt::BusyCursor);
    m_listingType = selectedItemType();
    m_listingPattern = m_currentPattern;
    send({QStringLiteral("SIL"), QString::number(m_requestNumber), QString::number(m_listingType), QString(),
          m_listingPattern, QString::number(PageSize)});
    ++m_outstanding;
}

void ServerBrowseDialog::continueListing(int request, const QString &startKey)
{
    if (!m_exchangeOpen || !m_link || request != m_requestNumber)
        return;
    // The listing's own pattern and type: what the user typed since belongs to the next
    // listing, not to the pages of this one.
    send({QStringLiteral("SIL"), QString::number(request), QString::number(m_listingType), startKey,
          m_listingPattern, QString::number(PageSize)});
    ++m_outstanding;
}

void ServerBrowseDialog::MLinkEvents_OnMessage(const QStringList &fields)
{
    const QString code = fields.value(0);
    if (code == QLatin1String("NS")) {
        acknowledge();
        m_outstanding = qMax(0, m_outstanding - 1);
    } else if (code == QLatin1String("SIL")) {
        acknowledge();
        m_outstanding = qMax(0, m_outstanding - 1);
        receivePage(fields);
    }
}

void ServerBrowseDialog::receivePage(const QStringList &fields)
{
    bool numeric = false;
    const int request = fields.value(1).trimmed().toInt(&numeric);
    if (!numeric || request != m_requestNumber)
        return;   // a page of a superseded listing

    const QString names = fields.value(3);
    if (!names.isEmpty()) {
        const QStringList itemNames = splitList(names);
        const QString flags = fields.value(4);
        const QStringList details = splitList(fields.value(5));
        const QString brand = m_link ? m_link->Brand() : QString();
        const bool selectedBefore = m_lvwSvr->hasSelection();
        QList<ListItemData> page;
        page.reserve(itemNames.size());
        for (int n = 0; n < itemNames.size(); ++n) {
            const ItemFlags item = decodeFlag(n < flags.size() ? flags.at(n) : QChar(), brand, m_listingType);
            ListItemData data;
            data.text = itemNames.at(n);
            data.iconKey = item.iconKey;
            data.ghosted = item.ghosted;
            data.toolTip = item.status;
            data.tag = item.type;
            if (n < details.size()) {
                const QDateTime when = horologDate(details.at(n));
                if (when.isValid()) {
                    data.subItem1 = generalDate(when);
                    data.subItem1Date = when;
                }
            }
            page << data;
        }
        m_lvwSvr->addItems(page);
        // Adding rows may make a view select its current item; a selection is the user's.
        if (!selectedBefore && m_lvwSvr->hasSelection())
            m_lvwSvr->clearSelection();
    }

    const QString next = fields.value(2);
    if (!next.isEmpty()) {
        // The next page is asked for at once, so it leaves with this page's
        // acknowledgement in one write; the window repaints and the user acts while
        // the server prepares it (no nested event loop).
        continueListing(request, next);
    } else {
        SetListSort();
        unsetCursor();
    }
}

void ServerBrowseDialog::SetListSort(int column)
{
    const int columns = m_lvwSvr->columnCount();
    if (columns <= 0)
        return;
    if (column < 0 || column >= columns) {
        column = 0;
        for (int c = columns - 1; c >= 0; --c) {
            if (m_lvwSvr->columnArrow(c) != 0) {
                column = c;
                break;
            }
        }
    }
    const bool descending = m_lvwSvr->columnArrow(column) == 2;
    const QString tag = m_lvwSvr->columnTag(column);
    long kind = 0;
    if (tag == QLatin1String("B"))
        kind = LV::KindText;
    else if (tag == QLatin1String("I"))
        kind = LV::KindInteger;
    else if (tag == QLatin1String("F"))
        kind = LV::KindFloat;
    else if (tag == QLatin1String("D"))
        kind = LV::KindDate;
    if (kind != 0) {
        m_lvwSvr->setSorted(false);
        LV::SortColumn = column + 1;
        LV::SortDescending = descending ? 1 : 0;
        LV::SortKind = kind;
        m_lvwSvr->SortItems();
    } else {
        m_lvwSvr->setSortKey(column);
        m_lvwSvr->setSortOrder(descending ? 1 : 0);
        m_lvwSvr->setSorted(true);
    }
}

void ServerBrowseDialog::lvwSvr_ColumnClick(int column)
{
    for (int c = 0; c < m_lvwSvr->columnCount(); ++c) {
        if (c != column)
            m_lvwSvr->setColumnArrow(c, 0);
    }
    m_lvwSvr->setColumnArrow(column, m_lvwSvr->columnArrow(column) == 1 ? 2 : 1);
    SetListSort(column);
}

void ServerBrowseDialog::MLinkEvents_OnClose()
{
    disconnectLink();
    m_exchangeOpen = false;
    m_link = nullptr;
    m_outstanding = 0;
    unsetCursor();
    linkClosed();
}

void ServerBrowseDialog::linkClosed()
{
    if (isVisible())
        reject();
}

// --- the name box ----------------------------------------------------------------------

void ServerBrowseDialog::proposeName()
{
    if (m_currentPattern.isEmpty())
        m_currentPattern = QStringLiteral("*");
    m_cboSvrItems->setEditText(m_currentPattern);
}

void ServerBrowseDialog::cboSvrItems_KeyUp()
{
    const QString text = m_cboSvrItems->currentText();
    const QString effective = text.isEmpty() ? QStringLiteral("*") : text;
    const bool wasPattern = !m_currentPattern.isEmpty();
    const bool nowPattern = isPattern(effective);
    m_currentPattern = nowPattern ? effective : QString();
    nameTextReleased(wasPattern, nowPattern);
}

void ServerBrowseDialog::nameTextReleased(bool, bool) {}

void ServerBrowseDialog::cboSvrItems_Enter()
{
    if (m_currentPattern.isEmpty())
        return;   // a plain name: the dialog's default button acts on it
    const QString pattern = m_currentPattern;
    m_cboSvrItems->setEditText(pattern);
    m_cboSvrItems->lineEdit()->selectAll();
    if (pattern != QLatin1String("*"))
        filePattern(pattern);
    ListServerItems(QString());
}

void ServerBrowseDialog::cboSvrItems_Click(int index)
{
    if (index < 0 || index >= m_cboSvrItems->count())
        return;
    m_currentPattern = m_cboSvrItems->itemText(index);
    m_cboSvrItems->setEditText(m_currentPattern);
    patternChosen();
    ListServerItems(QString());
}

void ServerBrowseDialog::cboSvrItemTypes_Click(int)
{
    ListServerItems(QString());
}

QStringList ServerBrowseDialog::patternHistory() const
{
    QStringList patterns;
    for (int i = 1; i < m_cboSvrItems->count(); ++i)
        patterns << m_cboSvrItems->itemText(i);
    return patterns;
}

void ServerBrowseDialog::filePattern(const QString &pattern)
{
    if (pattern.isEmpty() || pattern == QLatin1String("*"))
        return;
    QStringList patterns = patternHistory();
    patterns.removeOne(pattern);
    patterns.prepend(pattern);
    setPatternHistory(patterns);
}

void ServerBrowseDialog::setPatternHistory(const QStringList &patterns)
{
    // Rebuilding the list must leave what the user typed (and its selection) as it is.
    QLineEdit *edit = m_cboSvrItems->lineEdit();
    const QString text = edit->text();
    const int selStart = edit->selectionStart();
    const int selLength = edit->selectedText().size();
    {
        QSignalBlocker quiet(m_cboSvrItems);
        while (m_cboSvrItems->count() > 1)
            m_cboSvrItems->removeItem(m_cboSvrItems->count() - 1);
        if (m_cboSvrItems->count() == 0)
            m_cboSvrItems->addItem(QStringLiteral("*"));
        int filed = 0;
        for (const QString &p : patterns) {
            if (filed == MaxPatterns)
                break;
            if (p.isEmpty() || p == QLatin1String("*"))
                continue;
            m_cboSvrItems->addItem(p);
            ++filed;
        }
        m_cboSvrItems->setEditText(text);
    }
    if (selStart >= 0)
        edit->setSelection(selStart, selLength);
}

// --- pure rules ------------------------------------------------------------------------

bool ServerBrowseDialog::isPattern(const QString &text)
{
    if (text.isEmpty())
        return true;
    return text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('*'));
}

void ServerBrowseDialog::SplitItemType(const QString &brand, int &type, QString &name)
{
    if (brand != Cache || name.size() < 4)
        return;
    const QString ending = name.right(4).toLower();
    int found = 0;
    if (ending == QLatin1String(".int"))
        found = 1;
    else if (ending == QLatin1String(".mac"))
        found = 2;
    else if (ending == QLatin1String(".inc"))
        found = 3;
    if (found == 0)
        return;
    type = found;
    name.chop(4);
}

QStringList ServerBrowseDialog::splitList(const QString &field)
{
    if (field.isEmpty())
        return {};
    return field.mid(1).split(field.at(0));
}

QDateTime ServerBrowseDialog::horologDate(const QString &detail)
{
    const int comma = detail.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    bool daysOk = false;
    bool secsOk = false;
    const qint64 days = detail.left(comma).trimmed().toLongLong(&daysOk);
    const qint64 secs = detail.mid(comma + 1).trimmed().toLongLong(&secsOk);
    if (!daysOk || !secsOk)
        return {};
    const QDate date = HorologEpoch.addDays(days);
    if (!date.isValid())
        return {};
    return QDateTime(date, QTime(0, 0)).addSecs(secs);
}

ServerBrowseDialog::ItemFlags ServerBrowseDialog::decodeFlag(QChar flag, const QString &brand, int fallbackType)
{
    ItemFlags item;
    const int c = flag.unicode();
    int status = 0;
    if (flag.isNull()) {
        item.type = fallbackType;
    } else {
        item.type = c & 15;
        item.ghosted = (c & 16) != 0;
        status = (c & 96) >> 5;
        // A type the server should not send is shown as the type that was listed.
        if (item.type < 1 || item.type > 3)
            item.type = fallbackType;
    }
    static const char *const statusTexts[] = {"", "Unregistered", "Registered", "Checked out"};
    item.status = tr(statusTexts[status]);
    const QString suffix = QLatin1Char('.') + QString::number(status);
    QString key = (brand == Cache ? Cache + QString::number(item.type) : QStringLiteral("Default")) + suffix;
    if (!ItemIcons::isKnown(key))
        key = QStringLiteral("Default") + suffix;
    item.iconKey = key;
    return item;
}

// --- layout and events -----------------------------------------------------------------

void ServerBrowseDialog::SplitterSvr_OnResize()
{
    m_sftSvr->setGeometry(m_splitterSvr->primaryRect());
    m_lvwSvr->setGeometry(m_splitterSvr->secondaryRect());
}

void ServerBrowseDialog::SplitterSvr_OnSplitterDblClick()
{
    m_splitterSvr->setBarPosition(m_splitterSvr->width() / 3);
}

bool ServerBrowseDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_cboSvrItems && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Enter with a pattern in the box only lists. It is taken here, before the line
        // edit's own handling, which would pick the just-filed history entry as a second
        // choice and list again (and the dialog has no default button to press then).
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !m_currentPattern.isEmpty()) {
            cboSvrItems_Enter();
            return true;
        }
    } else if (watched == m_cboSvrItems && event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            cboSvrItems_KeyUp();
    } else if (watched == m_sftSvr->viewport() && event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = sftSvr_CellTip(m_sftSvr->itemAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_sftSvr->viewport());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
