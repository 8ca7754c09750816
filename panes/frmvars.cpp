#include "frmvars.h"

#include "columnlayout.h"
#include "imainwindow.h"
#include "memento.h"
#include "mlink.h"
#include "varlistmodel.h"
#include "vartreeview.h"

#include <QApplication>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("Variables");
const QString LevelCaption = QStringLiteral("Variables - Stack level ");
const QString TabShowingAttribute = QStringLiteral("TabShowing");

constexpr int FetchingState = -6;
constexpr int SuspendedState = 1;
// The server's feature bit that has the caption name the stack level.
constexpr qint32 LevelCaptionFeature = 4;

struct TabText
{
    const char *caption;
    const char *tip;
};
const TabText Tabs[] = {
    {"Variables", "Variables of the selected stack level"},
    {"Private", "Private variables of the selected stack level"},
};

QString columnPrefix(int listIndex)
{
    return QLatin1Char('T') + QString::number(listIndex);
}

// A shown tree lays all its rows out again at the next turn of the event loop after
// rows come or go, and the server sends one row per turn: a fetch of thousands of rows
// would lay out a quadratic number of rows. A hidden tree keeps one layout pending until
// it is shown again (releaseControls). Hidden only once rows do come, since hiding and
// showing cost more than the few layouts of a fetch that brings no row; the pages stop
// painting so that the old rows stay on screen meanwhile.
void holdLayoutWhileRowsArrive(QStackedWidget *pages, QWidget *view)
{
    if (view->isHidden())
        return;
    pages->setUpdatesEnabled(false);
    view->hide();
}

} // namespace

frmVars::frmVars(QWidget *parent)
    : PaneForm(parent)
    , m_tabs(new QTabBar(this))
    , m_pages(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("frmVars"));
    setWindowTitle(Caption);
    m_tabs->setObjectName(QStringLiteral("TabStrip"));
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(false);

    const QFont dialogFont = mainWindow() ? mainWindow()->dialogFont() : QFont();
    for (int i = 0; i < 2; ++i) {
        const int listIndex = i + 1;
        m_models[i] = new VarListModel(listIndex == 2, this);
        m_views[i] = new VarTreeView(m_pages);
        m_views[i]->setObjectName(QStringLiteral("Vars") + QString::number(listIndex));
        m_views[i]->setModel(m_models[i]);
        if (mainWindow())
            m_views[i]->setFont(dialogFont);
        m_pages->addWidget(m_views[i]);
        const int tab = m_tabs->addTab(QString::fromLatin1(Tabs[i].caption));
        m_tabs->setTabData(tab, listIndex);
        m_tabs->setTabToolTip(tab, QString::fromLatin1(Tabs[i].tip));
        connect(m_views[i], &VarTreeView::expandRequested, this,
                [this, listIndex](const QModelIndex &node, bool toggle) { onExpandRequested(listIndex, node, toggle); });
        connect(m_views[i], &VarTreeView::formatRequested, this,
                [this, listIndex](const QModelIndex &index) { onFormatRequested(listIndex, index); });
    }
    m_tabs->setCurrentIndex(0);
    m_pages->setCurrentIndex(0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    layout->addWidget(m_pages);

    connect(m_tabs, &QTabBar::currentChanged, this, &frmVars::onTabChanged);
}

frmVars::~frmVars() = default;

QTreeView *frmVars::SelectedList() const
{
    return m_views[m_currentList - 1];
}

VarTreeView *frmVars::list(int listIndex) const
{
    return listIndex == 1 || listIndex == 2 ? m_views[listIndex - 1] : nullptr;
}

VarListModel *frmVars::listModel(int listIndex) const
{
    return listIndex == 1 || listIndex == 2 ? m_models[listIndex - 1] : nullptr;
}

void frmVars::setListEnabled(bool enabled)
{
    for (VarTreeView *view : m_views)
        view->setEnabled(enabled);
}

bool frmVars::listEnabled() const
{
    return SelectedList()->isEnabled();
}

MLink *frmVars::link()
{
    IMainWindow *main = mainWindow();
    return main ? main->link() : nullptr;
}

// Without a main window there is no session: disconnected.
int frmVars::sessionState()
{
    IMainWindow *main = mainWindow();
    return main ? main->MState() : -1;
}

void frmVars::beep()
{
    if (m_beeper)
        m_beeper();
    else
        QApplication::beep();
}

// --- the fetch ----------------------------------------------------------------------

void frmVars::Update(int level, const QString &key)
{
    MLink *server = link();
    if (level >= 1 && level != m_currentLevel) {
        m_currentLevel = level;
        if (server && server->HasFeature(LevelCaptionFeature))
            setWindowTitle(LevelCaption + QString::number(level));
    }
    // A pane behind another dock's tab is still open: only one the user closed waits.
    if (m_currentLevel < 1 || !server || !server->IsConnected() || !paneVisible()) {
        if (key.isEmpty())
            Clear();
        return;
    }

    IMainWindow *main = mainWindow();
    const bool first = m_fetches.isEmpty();
    if (first) {
        // A second request before the first "VARend" must not save -6 as the state to
        // go back to.
        m_savedState = main->MState();
        if (!m_rememberedFocus)
            m_rememberedFocus = QApplication::focusWidget();
        m_selectedKey = m_models[m_currentList - 1]->keyOf(SelectedList()->currentIndex());
    }
    const Fetch fetch{m_currentList, key.isEmpty(), key};
    m_fetches.append(fetch);

    // The server waits for the request, so it leaves before the window's own work below:
    // no row can come in before this returns to the event loop. Asked from a stop's
    // handler, it would otherwise wait until every handler had returned, the stack
    // pane's work included.
    const QString code = m_currentList == 1 ? QStringLiteral("VAR*") : QStringLiteral("VARp");
    LinkSession(*server).Send({code, QString::number(m_currentLevel),
                               QString::number(m_models[m_currentList - 1]->totalRowCount()), key});
    server->Flush();
    // A link that failed on this write has ended the session, and Clear() the fetch.
    if (m_fetches.isEmpty())
        return;
    if (first)
        beginFetch(fetch);

    main->setMState(FetchingState);
    emit stackListEnabled(false);
    VarTreeView *view = m_views[m_currentList - 1];
    view->setEnabled(false);
    m_tabs->setEnabled(false);
    view->setUpdatesEnabled(false);
    if (first)
        m_focusDuringFetch = QApplication::focusWidget();
}

// The rows now arriving answer this request.
void frmVars::beginFetch(const Fetch &fetch)
{
    VarListModel *model = m_models[fetch.list - 1];
    if (fetch.refresh)
        model->resetHighlights();
    model->setRefreshing(fetch.refresh);
}

VarListModel *frmVars::receivingModel() const
{
    return m_models[(m_fetches.isEmpty() ? m_currentList : m_fetches.first().list) - 1];
}

void frmVars::UpdateFinished()
{
    if (m_fetches.isEmpty()) {
        // Nothing was asked: the state is not ours to change.
        releaseControls();
        return;
    }
    const Fetch done = m_fetches.takeFirst();
    VarListModel *model = m_models[done.list - 1];
    model->setRefreshing(false);
    if (!done.refresh) {
        // The node was asked for because the user opened it.
        const QModelIndex node = model->indexOfKey(done.key);
        if (model->hasLoadedChildren(node))
            m_views[done.list - 1]->expand(node);
    }
    if (!m_fetches.isEmpty()) {
        beginFetch(m_fetches.first());
        return;
    }
    endFetches();
}

// The last answer is in (or none will come): the session state goes back unless
// someone else has set it since, and the pane is usable again.
void frmVars::endFetches()
{
    if (IMainWindow *main = mainWindow()) {
        if (main->MState() == FetchingState)
            main->setMState(m_savedState);
    }
    reselect();
    releaseControls();
    restoreFocus();
}

void frmVars::releaseControls()
{
    emit stackListEnabled(true);
    IMainWindow *main = mainWindow();
    const bool enabled = !main || !main->MBusy();
    if (QWidget *page = m_pages->currentWidget(); page && page->isHidden())
        page->show();
    m_pages->setUpdatesEnabled(true);
    for (VarTreeView *view : m_views) {
        view->setUpdatesEnabled(true);
        view->setEnabled(enabled);
        // The expand buttons of rows whose descendants mark changed.
        view->doItemsLayout();
    }
    m_tabs->setEnabled(true);
}

void frmVars::reselect()
{
    QTreeView *view = SelectedList();
    VarListModel *model = m_models[m_currentList - 1];
    const QString key = m_selectedKey;
    m_selectedKey.clear();
    if (model->rowCount() == 0)
        return;
    const QModelIndex found = key.isEmpty() ? QModelIndex() : model->indexOfKey(key);
    if (found.isValid()) {
        view->scrollTo(found);
        view->setCurrentIndex(found);
    } else {
        view->scrollTo(model->index(0, 0));
    }
}

void frmVars::restoreFocus()
{
    QWidget *before = m_rememberedFocus;
    const bool userMovedIt = QApplication::focusWidget() != m_focusDuringFetch.data();
    m_rememberedFocus.clear();
    m_focusDuringFetch.clear();
    if (!before || userMovedIt)
        return;
    if (before == this || isAncestorOf(before)) {
        QTreeView *view = SelectedList();
        const bool wasList = before == view || view->isAncestorOf(before);
        if (wasList && m_models[m_currentList - 1]->rowCount() > 0 && view->isEnabled())
            view->setFocus();
        else
            m_tabs->setFocus();
    } else if (before->isEnabled()) {
        // The stack grid, disabled while its level's variables came.
        before->setFocus();
    }
}

void frmVars::Clear()
{
    if (!m_fetches.isEmpty()) {
        // No "VARend" is awaited any more; the session must not stay at -6.
        m_fetches.clear();
        for (VarListModel *model : m_models)
            model->setRefreshing(false);
        endFetches();
    }
    for (VarListModel *model : m_models)
        model->clear();
    setWindowTitle(Caption);
}

// --- the server's rows ------------------------------------------------------------------

void frmVars::AddVar(const QString &Root, const QString &NameTip, const QString &ShortName,
                     const QString &Follows, int SubscriptLevel, bool IsFormal, bool IsPrivate,
                     bool IsTruePrivate, bool IsDefined, bool HasDescendants, const QString &RawValue,
                     int Format, const QString &Value, int PropCount)
{
    if (!m_fetches.isEmpty())
        holdLayoutWhileRowsArrive(m_pages, m_views[m_fetches.first().list - 1]);
    receivingModel()->addVar({Root, NameTip, ShortName, Follows, SubscriptLevel, IsFormal, IsPrivate,
                              IsTruePrivate, IsDefined, HasDescendants, RawValue, Format, Value, PropCount});
}

void frmVars::UpdateVar(const QString &Root, const QString &ShortName, int SubscriptLevel, bool IsFormal,
                        bool IsPrivate, bool IsTruePrivate, bool IsDefined, bool HasDescendants,
                        const QString &RawValue, int Format, const QString &Value, int PropCount)
{
    receivingModel()->updateVar({Root, QString(), ShortName, QString(), SubscriptLevel, IsFormal, IsPrivate,
                                 IsTruePrivate, IsDefined, HasDescendants, RawValue, Format, Value, PropCount});
}

void frmVars::UpdateVarValue(const QString &Root, const QString &Value, int Format)
{
    receivingModel()->updateVarValue(Root, Value, Format);
}

void frmVars::RemoveVar(const QString &Root)
{
    if (!m_fetches.isEmpty())
        holdLayoutWhileRowsArrive(m_pages, m_views[m_fetches.first().list - 1]);
    receivingModel()->removeVar(Root);
}

// --- the user ---------------------------------------------------------------------------

void frmVars::onExpandRequested(int listIndex, const QModelIndex &node, bool toggle)
{
    VarTreeView *view = m_views[listIndex - 1];
    VarListModel *model = m_models[listIndex - 1];
    if (!node.isValid())
        return;
    if (toggle && view->isExpanded(node)) {
        view->collapse(node);
        return;
    }
    if (model->hasLoadedChildren(node)) {
        view->expand(node);
        return;
    }
    if (!model->canFetchDescendants(node))
        return;
    if (sessionState() != SuspendedState) {
        beep();
        return;
    }
    if (listIndex == m_currentList)
        Update(0, model->keyOf(node));
}

void frmVars::onFormatRequested(int listIndex, const QModelIndex &index)
{
    if (!index.isValid())
        return;
    if (sessionState() != SuspendedState) {
        beep();
        return;
    }
    const QModelIndex node = index.siblingAtColumn(VarListModel::NameColumn);
    if (node.data(VarListModel::PropCountRole).toInt() >= 1) {
        onExpandRequested(listIndex, node, true);
        return;
    }
    if (MLink *server = link()) {
        LinkSession(*server).Send({QStringLiteral("VARfmt"), QString::number(listIndex - 1),
                                   node.data(VarListModel::KeyRole).toString(),
                                   index.siblingAtColumn(VarListModel::ValueColumn).data(VarListModel::HiddenRole).toString()});
    }
}

// --- tabs ---------------------------------------------------------------------------

int frmVars::tabOfList(int listIndex) const
{
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->tabData(i).toInt() == listIndex)
            return i;
    }
    return -1;
}

void frmVars::onTabChanged(int index)
{
    const int listIndex = index >= 0 ? m_tabs->tabData(index).toInt() : 1;
    if ((listIndex != 1 && listIndex != 2) || listIndex == m_currentList)
        return;
    m_currentList = listIndex;
    m_pages->setCurrentWidget(m_views[listIndex - 1]);
    m_rememberedFocus = m_tabs;
    Update(m_currentLevel, QString());
}

void frmVars::setPrivateSupported(bool supported)
{
    const int tab = tabOfList(2);
    if (!supported && tab >= 0) {
        m_privateTab = {true, m_tabs->tabText(tab), m_tabs->tabToolTip(tab), m_tabs->tabIcon(tab)};
        m_tabs->removeTab(tab);
        onTabChanged(m_tabs->currentIndex());
    } else if (supported && tab < 0 && m_privateTab.removed) {
        const int at = m_tabs->insertTab(1, m_privateTab.icon, m_privateTab.caption);
        m_tabs->setTabData(at, 2);
        m_tabs->setTabToolTip(at, m_privateTab.tip);
        m_privateTab = RemovedTab();
    }
}

// --- settings ---------------------------------------------------------------------------

void frmVars::saveOwnSettings(Memento &memento) const
{
    for (int listIndex = 1; listIndex <= 2; ++listIndex)
        ColumnLayout::save(*m_views[listIndex - 1]->header(), memento, columnPrefix(listIndex));
    memento.write(TabShowingAttribute, qint32(m_currentList));
}

void frmVars::restoreOwnSettings(const Memento &memento)
{
    for (int listIndex = 1; listIndex <= 2; ++listIndex)
        ColumnLayout::restore(*m_views[listIndex - 1]->header(), memento, columnPrefix(listIndex));
    qint32 showing = 0;
    if (memento.readInt(TabShowingAttribute, showing)) {
        const int tab = tabOfList(showing);
        if (tab >= 0)
            m_tabs->setCurrentIndex(tab);
    }
}
