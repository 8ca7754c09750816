#include "frmfileopen.h"

#include "columnfit.h"
#include "dialoghost.h"
#include "itemicons.h"
#include "itemlistview.h"
#include "memento.h"
#include "mlink.h"
#include "msgbox.h"
#include "routinerequest.h"
#include "serverlocation.h"
#include "splitter.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString ServerTab = QStringLiteral("Server");
const QString RecentTab = QStringLiteral("Recent");

// Where a recent row keeps what its cells show and what they stand for.
enum RecentColumns : int { NameColumn = 0, PathColumn = 1, ModeColumn = 2 };
constexpr int CellDataRole = Qt::UserRole;           // per cell: display name / platform / read-only
constexpr int RowDataRole = Qt::UserRole + 1;        // column 0: the item type
constexpr int RowPictureRole = Qt::UserRole + 2;     // column 0: the icon key shown

// The recent list; it tells its column fit what its texts need.
class RecentGrid : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;

    QList<int> columnNeeds() const
    {
        QList<int> needs;
        for (int column = 0; column < columnCount(); ++column)
            needs << std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
        return needs;
    }
};

QPushButton *makeButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Which button Enter presses is set by the rules below alone; Qt must not promote
    // one because it took the focus.
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmFileOpen::frmFileOpen(QWidget *parent) : ServerBrowseDialog(parent)
{
    setObjectName(QStringLiteral("frmFileOpen"));
    setWindowTitle(tr("Open"));
    buildControls();
    buildMenus();
    m_tabKey = ServerTab;
    resize(640, 420);
}

frmFileOpen::~frmFileOpen() = default;

void frmFileOpen::buildControls()
{
    m_tabMain = new QTabWidget(this);
    m_tabMain->setObjectName(QStringLiteral("tabMain"));
    m_tabMain->addTab(picTabSvr(), tr("From &Server"));
    m_tabMain->tabBar()->setTabData(0, ServerTab);

    m_picTabRecent = new QWidget;
    m_picTabRecent->setObjectName(QStringLiteral("picTabRecent"));
    auto *recentGrid = new RecentGrid(m_picTabRecent);
    m_sftRecent = recentGrid;
    m_sftRecent->setObjectName(QStringLiteral("sftRecent"));
    m_sftRecent->setColumnCount(3);
    m_sftRecent->setHeaderLabels({tr("Name"), tr("Path"), tr("Mode")});
    m_sftRecent->setRootIsDecorated(false);
    // A generated name and a location differ at their ends (a class's number, the
    // namespace): a text cut for room keeps both ends, and its tip holds it whole.
    m_sftRecent->setTextElideMode(Qt::ElideMiddle);
    m_recentFit = new ColumnFit(m_sftRecent, NameColumn, [recentGrid] { return recentGrid->columnNeeds(); });
    m_sftRecent->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *recentLayout = new QVBoxLayout(m_picTabRecent);
    recentLayout->setContentsMargins(0, 0, 0, 0);
    recentLayout->addWidget(m_sftRecent);
    m_tabMain->addTab(m_picTabRecent, tr("R&ecent"));
    m_tabMain->tabBar()->setTabData(1, RecentTab);

    m_cmdOpenEdit = makeButton(tr("&Open for Editing"), QStringLiteral("cmdOpenEdit"), this);
    m_cmdOpenReadonly = makeButton(tr("Open &Read-only"), QStringLiteral("cmdOpenReadonly"), this);
    m_cmdCancel = makeButton(tr("Cancel"), QStringLiteral("cmdCancel"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOpenEdit);
    buttons->addWidget(m_cmdOpenReadonly);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabMain, 1);
    layout->addLayout(buttons);

    connect(m_cmdOpenEdit, &QPushButton::clicked, this, &frmFileOpen::cmdOpenEdit_Click);
    connect(m_cmdOpenReadonly, &QPushButton::clicked, this, &frmFileOpen::cmdOpenReadonly_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmFileOpen::cmdCancel_Click);
    connect(m_tabMain, &QTabWidget::currentChanged, this, &frmFileOpen::tabMain_Click);
    connect(m_sftRecent, &QTreeWidget::itemSelectionChanged, this, &frmFileOpen::sftRecent_SelectionChange);
    connect(m_sftRecent, &QTreeWidget::itemDoubleClicked, this, [this] { sftRecent_DblClick(); });
    connect(lvwSvr(), &ItemListView::ItemClick, this, &frmFileOpen::lvwSvr_ItemClick);
    connect(lvwSvr(), &ItemListView::DblClick, this, &frmFileOpen::lvwSvr_DblClick);
    connect(lvwSvr(), &ItemListView::MouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
                if (button != Qt::RightButton)
                    return;
                prepareSvrListMenu(pos);
                m_mnuPopSvrL->popup(lvwSvr()->mapToGlobal(pos));
            });
    // The name box already reports to this dialog (the browsing page filters the box).
    m_sftRecent->viewport()->installEventFilter(this);
}

void frmFileOpen::buildMenus()
{
    m_mnuPopSvrL = new QMenu(this);
    m_mnuPopSvrL->setObjectName(QStringLiteral("mnuPopSvrL"));
    m_mnuPopSvrLEdit = m_mnuPopSvrL->addAction(tr("Open for Editing"), this, &frmFileOpen::cmdOpenEdit_Click);
    m_mnuPopSvrLReadonly = m_mnuPopSvrL->addAction(tr("Open Read-only"), this, &frmFileOpen::cmdOpenReadonly_Click);
    m_mnuPopSvrLSep1 = m_mnuPopSvrL->addSeparator();
    m_mnuPopSvrLView = m_mnuPopSvrL->addMenu(tr("View"));
    const QStringList views{tr("Large Icons"), tr("Small Icons"), tr("List"), tr("Details")};
    for (int view = 0; view < views.size(); ++view) {
        QAction *action = m_mnuPopSvrLView->addAction(views.at(view), this, [this, view] { lvwSvr()->setView(view); });
        action->setCheckable(true);
        m_viewActions << action;
    }

    m_mnuPopRecent = new QMenu(this);
    m_mnuPopRecent->setObjectName(QStringLiteral("mnuPopRecent"));
    m_mnuPopRecentEdit = m_mnuPopRecent->addAction(tr("Open for Editing"), this, &frmFileOpen::cmdOpenEdit_Click);
    m_mnuPopRecentReadonly =
        m_mnuPopRecent->addAction(tr("Open Read-only"), this, &frmFileOpen::cmdOpenReadonly_Click);
}

// --- the run ---------------------------------------------------------------------------

Sources frmFileOpen::DoIt(bool &readOnly)
{
    m_cancelled = true;
    m_readOnly = readOnly;
    m_chosen = Sources();
    if (!openExchange())
        return Sources();
    if (m_sftRecent->topLevelItemCount() > 0) {
        m_sftRecent->clearSelection();
        m_sftRecent->setCurrentItem(m_sftRecent->topLevelItem(0));
        m_sftRecent->topLevelItem(0)->setSelected(true);
    }
    if (m_tabMain->currentIndex() != (m_tabKey == RecentTab ? 1 : 0))
        selectTab(m_tabKey);
    else
        tabMain_Click();
    runExchangeModal();
    readOnly = m_readOnly;
    // A run that ended cancelled hands back nothing, whatever had been chosen before.
    return m_cancelled ? Sources() : m_chosen;
}

void frmFileOpen::choose(bool readOnly)
{
    m_cancelled = false;
    m_readOnly = readOnly;
    done(QDialog::Accepted);
}

void frmFileOpen::cmdOpenEdit_Click()
{
    if (ValidateChosen(false))
        choose(false);
}

void frmFileOpen::cmdOpenReadonly_Click()
{
    if (ValidateChosen(true))
        choose(true);
}

void frmFileOpen::cmdCancel_Click()
{
    m_cancelled = true;
    done(QDialog::Rejected);
}

void frmFileOpen::reject()
{
    cmdCancel_Click();
}

void frmFileOpen::closeEvent(QCloseEvent *event)
{
    // The form is kept for the next run: closing is cancelling.
    event->ignore();
    cmdCancel_Click();
}

bool frmFileOpen::ValidateChosen(bool readOnlyRequest)
{
    m_chosen = Sources();
    if (currentTabKey() == RecentTab) {
        for (int row = 0; row < m_sftRecent->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = m_sftRecent->topLevelItem(row);
            if (!item->isSelected())
                continue;
            SourcePtr chosen = m_chosen.Add(item->data(NameColumn, RowDataRole).toInt(), item->text(NameColumn),
                                            item->text(PathColumn), QString(),
                                            item->data(PathColumn, CellDataRole).toString());
            if (chosen)
                chosen->ReadOnly = readOnlyRequest;
        }
        return true;
    }

    MLink *session = link();
    const QString ns = selectedNamespace();
    const QString location = MakeLocation(session ? session->HostIP() : QString(), ns);
    const QString brand = session ? session->Brand() : QString();
    bool ghostChosen = false;

    if (!currentPattern().isEmpty() || cboSvrItems()->currentText().isEmpty()) {
        ItemListView *list = lvwSvr();
        for (int index : list->selectedIndexes()) {
            SourcePtr chosen = m_chosen.Add(list->itemTag(index).toInt(), list->itemText(index), location, QString(),
                                            brand);
            if (!chosen)
                continue;
            if (list->itemGhosted(index) && !readOnlyRequest) {
                chosen->ReadOnly = true;
                ghostChosen = true;
            } else {
                chosen->ReadOnly = readOnlyRequest;
            }
        }
    } else {
        int type = selectedItemType();
        QString name = cboSvrItems()->currentText();
        SplitItemType(brand, type, name);
        if (!session)
            return false;
        if (session->ProtocolVersion() >= 1) {
            const LinkSession asked(*session);
            const QStringList reply = session->Transact(0, RoutineRequest::existence(type, ns, name));
            asked.acknowledge();
            const QString code = reply.value(0);
            if (code != QLatin1String("SIE")) {
                MsgBox(tr("FileOpen SIE-check received unexpected reply type [") + code + QLatin1Char(']'),
                       MsgBoxStyle::Critical);
                return false;
            }
            if (reply.value(1) == QLatin1String("0")) {
                MsgBox(name + tr(" not found in ") + ns);
                cboSvrItems()->lineEdit()->selectAll();
                cboSvrItems()->setFocus();
                return false;
            }
        }
        if (SourcePtr chosen = m_chosen.Add(type, name, location, QString(), brand))
            chosen->ReadOnly = readOnlyRequest;
    }

    if (ghostChosen) {
        return MsgBox(tr("At least one of the selected items is only available read-only. Do you want to "
                         "proceed, opening it in that mode?"),
                      MsgBoxStyle::YesNo + MsgBoxStyle::Question, tr("Read-only Item Selected"))
            == MsgBoxStyle::AnswerYes;
    }
    return true;
}

// --- buttons and their defaults --------------------------------------------------------

void frmFileOpen::setDefaultButton(QPushButton *button)
{
    m_cmdOpenEdit->setDefault(button == m_cmdOpenEdit);
    m_cmdOpenReadonly->setDefault(button == m_cmdOpenReadonly);
    m_cmdCancel->setDefault(false);
}

void frmFileOpen::nodeChosen(bool namespaceNode)
{
    ServerBrowseDialog::nodeChosen(namespaceNode);
    if (currentTabKey() == RecentTab) {
        // The recent rows need no namespace: their page keeps its own buttons.
        sftRecent_SelectionChange();
        return;
    }
    m_cmdOpenReadonly->setEnabled(namespaceNode);
    if (!namespaceNode || m_readOnly) {
        m_cmdOpenEdit->setEnabled(false);
        setDefaultButton(m_cmdOpenReadonly->isEnabled() ? m_cmdOpenReadonly : nullptr);
    } else {
        m_cmdOpenEdit->setEnabled(true);
        setDefaultButton(m_cmdOpenEdit);
    }
}

void frmFileOpen::nameTextReleased(bool wasPattern, bool nowPattern)
{
    if (nowPattern && !wasPattern) {
        // Enter must only list while a pattern is in the box.
        setDefaultButton(nullptr);
    } else if (!nowPattern && wasPattern) {
        if (m_cmdOpenEdit->isEnabled())
            setDefaultButton(m_cmdOpenEdit);
        else if (m_cmdOpenReadonly->isEnabled())
            setDefaultButton(m_cmdOpenReadonly);
    }
}

void frmFileOpen::cboSvrItems_GotFocus()
{
    m_cmdOpenEdit->setEnabled(!m_readOnly);
    // Enter lists while a pattern is in the box, so no button may take it then; a plain
    // name in the box is opened by Enter, as when it was typed.
    if (!currentPattern().isEmpty())
        setDefaultButton(nullptr);
    else if (m_cmdOpenEdit->isEnabled())
        setDefaultButton(m_cmdOpenEdit);
    else
        setDefaultButton(m_cmdOpenReadonly->isEnabled() ? m_cmdOpenReadonly : nullptr);
}

void frmFileOpen::lvwSvr_ItemClick(int index)
{
    ItemListView *list = lvwSvr();
    if (currentPattern().isEmpty() && !cboSvrItems()->currentText().isEmpty())
        cboSvrItems()->setEditText(QString());   // the selection governs from now on
    if (index < 0 || index >= list->count() || !list->itemSelected(index))
        return;
    m_cmdOpenEdit->setEnabled(!list->itemGhosted(index) && !m_readOnly);
    if (m_cmdOpenEdit->isEnabled())
        setDefaultButton(m_cmdOpenEdit);
    else if (m_cmdOpenReadonly->isEnabled())
        setDefaultButton(m_cmdOpenReadonly);
}

void frmFileOpen::lvwSvr_DblClick(int index)
{
    if (index < 0)
        return;
    if (m_cmdOpenEdit->isEnabled())
        cmdOpenEdit_Click();
    else if (m_cmdOpenReadonly->isEnabled())
        cmdOpenReadonly_Click();
}

void frmFileOpen::prepareSvrListMenu(const QPoint &pos)
{
    ItemListView *list = lvwSvr();
    const int index = list->indexAt(pos);
    const bool onItem = index >= 0;
    if (onItem) {
        if (!list->itemSelected(index)) {
            list->clearSelection();
            list->setItemSelected(index, true);
        }
        list->setCurrentIndex(index);
        m_mnuPopSvrLEdit->setEnabled(!list->itemGhosted(index) && !m_readOnly);
    }
    m_mnuPopSvrLEdit->setVisible(onItem);
    m_mnuPopSvrLReadonly->setVisible(onItem);
    m_mnuPopSvrLSep1->setVisible(onItem);
    for (int view = 0; view < m_viewActions.size(); ++view)
        m_viewActions.at(view)->setChecked(list->View() == view);
}

void frmFileOpen::prepareRecentMenu(const QPoint &pos)
{
    QTreeWidgetItem *row = m_sftRecent->itemAt(pos);
    if (m_sftRecent->selectedItems().isEmpty() && row) {
        m_sftRecent->setCurrentItem(row);
        row->setSelected(true);
    }
    if (!row)
        row = m_sftRecent->currentItem();
    const bool rowReadOnly = row && row->data(ModeColumn, CellDataRole).toInt() != 0;
    m_mnuPopRecentEdit->setEnabled(!rowReadOnly && !m_readOnly);
}

void frmFileOpen::sftRecent_SelectionChange()
{
    if (currentTabKey() != RecentTab)
        return;
    const bool anySelected = !m_sftRecent->selectedItems().isEmpty();
    m_cmdOpenEdit->setEnabled(anySelected && !m_readOnly);
    m_cmdOpenReadonly->setEnabled(anySelected);
    QTreeWidgetItem *current = m_sftRecent->currentItem();
    if (!current || !current->isSelected()) {
        if (!anySelected)
            setDefaultButton(nullptr);
        return;
    }
    const bool rowReadOnly = current->data(ModeColumn, CellDataRole).toInt() != 0;
    setDefaultButton(rowReadOnly || m_readOnly ? m_cmdOpenReadonly : m_cmdOpenEdit);
}

void frmFileOpen::sftRecent_DblClick()
{
    QTreeWidgetItem *current = m_sftRecent->currentItem();
    const bool rowReadOnly = current && current->data(ModeColumn, CellDataRole).toInt() != 0;
    if (m_cmdOpenEdit->isEnabled() && !rowReadOnly)
        cmdOpenEdit_Click();
    else if (m_cmdOpenReadonly->isEnabled())
        cmdOpenReadonly_Click();
}

// --- tabs and focus --------------------------------------------------------------------

QString frmFileOpen::currentTabKey() const
{
    return m_tabMain->tabBar()->tabData(m_tabMain->currentIndex()).toString();
}

void frmFileOpen::selectTab(const QString &key)
{
    m_tabMain->setCurrentIndex(key == RecentTab ? 1 : 0);
}

void frmFileOpen::tabMain_Click()
{
    m_tabKey = currentTabKey();
    if (m_tabKey == RecentTab) {
        if (m_sftRecent->topLevelItemCount() > 0 && m_sftRecent->selectedItems().isEmpty()) {
            QSignalBlocker quiet(m_sftRecent);
            m_sftRecent->setCurrentItem(m_sftRecent->topLevelItem(0));
            m_sftRecent->topLevelItem(0)->setSelected(true);
        }
        sftRecent_SelectionChange();
        m_sftRecent->setFocus();
    } else {
        // Back on the server page its buttons follow the tree's choice again; only the
        // enabling runs, nothing is sent.
        nodeChosen(isNamespaceNode(selectedNode()));
        sftSvr()->setFocus();
    }
}

void frmFileOpen::focusActivePage()
{
    if (!isVisible())
        return;
    if (currentTabKey() == RecentTab)
        m_sftRecent->setFocus();
    else if (cboSvrItems()->isEnabled()) {
        cboSvrItems()->setFocus();
        // What is typed replaces the pattern shown, as in any file dialog's name box.
        cboSvrItems()->lineEdit()->selectAll();
    } else
        sftSvr()->setFocus();
}

void frmFileOpen::showEvent(QShowEvent *event)
{
    ServerBrowseDialog::showEvent(event);
    if (SplitterSvr()->barPosition() <= 0)
        SplitterSvr()->setBarPosition(SplitterSvr()->width() / 3);
    QTimer::singleShot(0, this, &frmFileOpen::focusActivePage);
}

bool frmFileOpen::eventFilter(QObject *watched, QEvent *event)
{
    // Filters run already while the constructor builds the controls.
    if (!m_sftRecent || !m_cmdOpenEdit)
        return ServerBrowseDialog::eventFilter(watched, event);
    if (watched == cboSvrItems() && event->type() == QEvent::FocusIn) {
        cboSvrItems_GotFocus();
    } else if (watched == m_sftRecent->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            prepareRecentMenu(mouse->position().toPoint());
            m_mnuPopRecent->popup(m_sftRecent->viewport()->mapToGlobal(mouse->position().toPoint()));
        }
    }
    return ServerBrowseDialog::eventFilter(watched, event);
}

// --- the recent list -------------------------------------------------------------------

QString frmFileOpen::recentPicture(int type, const QString &platform)
{
    return platform == QLatin1String("CACHE") ? QStringLiteral("CACHE") + QString::number(type)
                                              : QStringLiteral("Default");
}

void frmFileOpen::addRecentRow(const Source &item, int at)
{
    auto *row = new QTreeWidgetItem;
    const QString picture = recentPicture(item.TypeOfSource, item.MType);
    row->setData(NameColumn, RowDataRole, item.TypeOfSource);
    row->setData(NameColumn, RowPictureRole, picture);
    row->setIcon(NameColumn, ItemIcons::icon(picture + QStringLiteral(".0")));
    row->setText(NameColumn, item.Name);
    row->setToolTip(NameColumn, item.Name);
    row->setData(NameColumn, CellDataRole, item.DisplayName());
    row->setText(PathColumn, item.Path);
    row->setToolTip(PathColumn, item.Path);
    row->setData(PathColumn, CellDataRole, item.MType);
    row->setText(ModeColumn, item.ReadOnly ? tr("Read") : tr("Edit"));
    row->setData(ModeColumn, CellDataRole, item.ReadOnly ? 1 : 0);
    m_sftRecent->insertTopLevelItem(at, row);
    // Every column stays in view: a location must be seen to tell two servers apart.
    m_recentFit->refit();
}

QTreeWidgetItem *frmFileOpen::recentRowItem(int row) const
{
    return m_sftRecent->topLevelItem(row);
}

int frmFileOpen::recentCount() const
{
    return m_sftRecent->topLevelItemCount();
}

void frmFileOpen::AddToRecent(const Sources &items)
{
    {
        QSignalBlocker quiet(m_sftRecent);
        for (const SourcePtr &item : items) {
            if (!item)
                continue;
            for (int row = 0; row < recentCount(); ++row) {
                QTreeWidgetItem *existing = recentRowItem(row);
                if (existing->text(NameColumn) == item->Name && existing->text(PathColumn) == item->Path
                    && existing->data(NameColumn, RowDataRole).toInt() == item->TypeOfSource) {
                    delete m_sftRecent->takeTopLevelItem(row);
                    break;
                }
            }
            addRecentRow(*item, 0);
        }
    }
    sftRecent_SelectionChange();
    if (IDialogHost *host = dialogHost())
        host->UpdateRecent();
}

void frmFileOpen::GetRecent(int index, Sources &sources) const
{
    sources = Sources();
    for (int row = 0; row < recentCount(); ++row) {
        if (index > 0 && row + 1 != index)
            continue;
        const QTreeWidgetItem *item = recentRowItem(row);
        // The platform goes along: an item reopened from here comes back through
        // AddToRecent and must keep its picture.
        SourcePtr copy = sources.Add(item->data(NameColumn, RowDataRole).toInt(), item->text(NameColumn),
                                     item->text(PathColumn), QString(), item->data(PathColumn, CellDataRole).toString());
        if (!copy)
            continue;
        const QString displayName = item->data(NameColumn, CellDataRole).toString();
        if (displayName != copy->Name)
            copy->setDisplayName(displayName);
        copy->ReadOnly = item->data(ModeColumn, CellDataRole).toInt() != 0;
    }
}

void frmFileOpen::setRecent(std::vector<SourcePtr> items)
{
    QSignalBlocker quiet(m_sftRecent);
    m_sftRecent->clear();
    for (const SourcePtr &item : items) {
        if (item)
            addRecentRow(*item, recentCount());
    }
}

// --- settings --------------------------------------------------------------------------

MementoPtr frmFileOpen::saveMemento()
{
    auto memento = std::make_shared<Memento>();
    const QStringList patterns = patternHistory();
    if (!patterns.isEmpty()) {
        auto bag = std::make_shared<Memento>();
        bag->write(QStringLiteral("#"), int(patterns.size()));
        for (int k = 1; k <= patterns.size(); ++k)
            bag->write(QString::number(k), patterns.at(k - 1));
        memento->writeMemento(QStringLiteral("ServerItemPatterns"), bag);
    }
    memento->write(QStringLiteral("ServerItemView"), lvwSvr()->View());
    const int rows = qMin(recentCount(), SavedRecentRows);
    if (rows > 0) {
        auto bag = std::make_shared<Memento>();
        bag->write(QStringLiteral("#"), rows);
        for (int k = 1; k <= rows; ++k) {
            const QTreeWidgetItem *row = recentRowItem(k - 1);
            const QString n = QString::number(k);
            bag->write(QStringLiteral("N") + n, row->text(NameColumn));
            bag->write(QStringLiteral("D") + n, row->data(NameColumn, CellDataRole).toString());
            bag->write(QStringLiteral("P") + n, row->text(PathColumn));
            bag->write(QStringLiteral("M") + n, row->data(PathColumn, CellDataRole).toString());
            bag->write(QStringLiteral("T") + n, row->data(NameColumn, RowDataRole).toInt());
            bag->write(QStringLiteral("R") + n, row->data(ModeColumn, CellDataRole).toInt());
        }
        memento->writeMemento(QStringLiteral("Recent"), bag);
    }
    return memento;
}

void frmFileOpen::restoreMemento(const Memento &memento)
{
    if (MementoPtr bag = memento.readMemento(QStringLiteral("ServerItemPatterns"))) {
        qint32 n = 0;
        if (bag->readInt(QStringLiteral("#"), n)) {
            QStringList patterns;
            for (int k = 1; k <= n; ++k) {
                QString pattern;
                if (bag->readString(QString::number(k), pattern))
                    patterns << pattern;
            }
            setPatternHistory(patterns);
        }
    }
    qint32 view = 0;
    if (memento.readInt(QStringLiteral("ServerItemView"), view) && view >= 0 && view <= 3)
        lvwSvr()->setView(view);
    if (MementoPtr bag = memento.readMemento(QStringLiteral("Recent"))) {
        qint32 rows = 0;
        if (bag->readInt(QStringLiteral("#"), rows) && rows > 0) {
            // Read from the last row to the first: AddToRecent puts each at the top.
            Sources restored;
            for (int k = qMin(rows, SavedRecentRows); k >= 1; --k) {
                const QString n = QString::number(k);
                QString name, displayName, path, platform;
                qint32 type = 0;
                qint32 readOnly = 0;
                if (!bag->readString(QStringLiteral("N") + n, name) || name.isEmpty())
                    continue;
                bag->readString(QStringLiteral("D") + n, displayName);
                bag->readString(QStringLiteral("P") + n, path);
                bag->readString(QStringLiteral("M") + n, platform);
                bag->readInt(QStringLiteral("T") + n, type);
                bag->readInt(QStringLiteral("R") + n, readOnly);
                SourcePtr item = restored.Add(type, name, path, QString(), platform);
                if (!item)
                    continue;
                if (!displayName.isEmpty() && displayName != name)
                    item->setDisplayName(displayName);
                item->ReadOnly = readOnly != 0;
            }
            if (restored.Count() > 0)
                AddToRecent(restored);
        }
    }
}
