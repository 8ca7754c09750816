#include "frmfilesaveas.h"

#include "dialoghost.h"
#include "frmfileopen.h"
#include "idoclink.h"
#include "imainwindow.h"
#include "itemlistview.h"
#include "memento.h"
#include "mlink.h"
#include "modfileopen.h"
#include "msgbox.h"
#include "routine.h"
#include "routinerequest.h"
#include "routines.h"
#include "serverlocation.h"
#include "sources.h"
#include "splitter.h"
#include "twips.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString PatternsKey = QStringLiteral("ServerItemPatterns");
const QString ViewKey = QStringLiteral("ServerItemView");
constexpr double MinimumCellTwips = 1000;
constexpr double NarrowListMarginTwips = 1050;

} // namespace

frmFileSaveAs::frmFileSaveAs(QWidget *parent) : ServerBrowseDialog(parent)
{
    setObjectName(QStringLiteral("frmFileSaveAs"));
    setWindowTitle(tr("Save As"));
    lblSvrItems()->setText(tr("Item &Name:"));
    lvwSvr()->setFont(QFont(QStringLiteral("Tahoma")));
    buildButtons();
    buildMenus();

    connect(lvwSvr(), &ItemListView::ItemClick, this, &frmFileSaveAs::lvwSvr_ItemClick);
    connect(lvwSvr(), &ItemListView::DblClick, this, &frmFileSaveAs::lvwSvr_DblClick);
    connect(lvwSvr(), &ItemListView::MouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
                if (button == Qt::RightButton)
                    m_mnuPopSvrL->popup(lvwSvr()->mapToGlobal(pos));
            });
    resize(Twips::toPixels(7500, this), Twips::toPixels(5000, this));
}

frmFileSaveAs::~frmFileSaveAs() = default;

void frmFileSaveAs::buildButtons()
{
    m_cmdSave = new QPushButton(tr("&Save"), this);
    m_cmdSave->setObjectName(QStringLiteral("cmdSave"));
    m_cmdCancel = new QPushButton(tr("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Enter saves the name in the box. With a pattern there the box takes Enter first and
    // lists instead, and a button that has the focus must not take Enter from Save.
    for (QPushButton *button : {m_cmdSave, m_cmdCancel})
        button->setAutoDefault(false);
    m_cmdSave->setDefault(true);
    connect(m_cmdSave, &QPushButton::clicked, this, &frmFileSaveAs::cmdSave_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmFileSaveAs::cmdCancel_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdSave);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(picTabSvr(), 1);
    layout->addLayout(buttons);
}

void frmFileSaveAs::buildMenus()
{
    // The Open dialog's menus, so both dialogs offer the same; here only the view entries act.
    m_mnuPopSvrL = new QMenu(QStringLiteral("(PopSvrList)"), this);
    m_mnuPopSvrL->setObjectName(QStringLiteral("mnuPopSvrL"));
    m_mnuPopSvrL->addAction(tr("Open for Editing"))->setObjectName(QStringLiteral("mnuPopSvrLEdit"));
    m_mnuPopSvrL->addAction(tr("Open Read-only"))->setObjectName(QStringLiteral("mnuPopSvrLReadonly"));
    m_mnuPopSvrL->addSeparator();
    QMenu *view = m_mnuPopSvrL->addMenu(tr("View"));
    view->setObjectName(QStringLiteral("mnuPopSvrLView"));
    auto *views = new QActionGroup(view);
    const QStringList captions = {tr("Large Icons"), tr("Small Icons"), tr("List"), tr("Details")};
    for (int v = 0; v < captions.size(); ++v) {
        QAction *entry = view->addAction(captions.at(v));
        entry->setCheckable(true);
        entry->setData(v);
        views->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, v] { lvwSvr()->setView(v); });
    }
    // Opening the menu ticks the view in force.
    connect(view, &QMenu::aboutToShow, this, [this, view] {
        for (QAction *entry : view->actions())
            entry->setChecked(entry->data().toInt() == lvwSvr()->View());
    });
    m_mnuPopRecent = new QMenu(QStringLiteral("(PopRecent)"), this);
    m_mnuPopRecent->setObjectName(QStringLiteral("mnuPopRecent"));
    m_mnuPopRecent->addAction(tr("Open for Editing"));
    m_mnuPopRecent->addAction(tr("Open Read-only"));
}

// --- running ---------------------------------------------------------------------------------

bool frmFileSaveAs::DoIt(Routine &rtn)
{
    // Saving a routine that still has no namespace runs this dialog; this dialog never saves
    // one, but a second modal run inside the first would leave both waiting on each other.
    if (m_running)
        return true;
    const QScopedValueRollback<bool> running(m_running, true);
    m_cancel = true;
    m_rtn = &rtn;
    if (openExchange()) {
        if (IDialogHost *host = dialogHost())
            if (QWidget *owner = host->dialogParent())
                setWindowIcon(owner->windowIcon());
        runExchangeModal();
    }
    m_rtn = nullptr;
    return m_cancel;
}

void frmFileSaveAs::cmdCancel_Click()
{
    m_cancel = true;
    hide();
}

void frmFileSaveAs::reject()
{
    // Esc and the close box: the dialog is kept for the next use, only hidden.
    cmdCancel_Click();
}

void frmFileSaveAs::linkClosed()
{
    // The cancel flag stays as it is: a routine saved just before the close was saved.
    hide();
}

// --- browsing, as Save As differs ----------------------------------------------------------------

bool frmFileSaveAs::isNamespaceNode(const QTreeWidgetItem *node) const
{
    return node && node->data(0, NodeTipRole).toString() == QLatin1String(NamespaceMarker);
}

void frmFileSaveAs::markNamespaceNode(QTreeWidgetItem *node, const QString &ns, const QString &)
{
    node->setData(0, NodeTipRole, QString::fromLatin1(NamespaceMarker));
    node->setData(0, NodeTagRole, ns);
}

void frmFileSaveAs::markRoot(QTreeWidgetItem *root, const QTreeWidgetItem *match)
{
    if (!root)
        return;
    root->setData(0, NodeTipRole, match ? QString::fromLatin1(NamespaceMarker) : QString());
    root->setData(0, NodeTagRole, match ? initialNamespace() : QString());
}

int frmFileSaveAs::typeEntryAfterFill() const
{
    QComboBox *types = cboSvrItemTypes();
    if (types->count() == 0)
        return -1;
    const int routineType = m_rtn ? m_rtn->Typ() : 0;
    const int entry = types->findData(routineType);
    // A type the server's platform does not list (a MAC routine on another platform):
    // the first type, rather than a save of no type at all.
    return entry >= 0 ? entry : 0;
}

void frmFileSaveAs::proposeName()
{
    QString proposal;
    if (m_rtn && !m_rtn->Rtn().isEmpty()) {
        proposal = m_rtn->LabelPlusOffsetOfLine(1);
        if (proposal.isEmpty() || proposal.startsWith(QLatin1Char('+')))
            proposal = m_rtn->Rtn();
    }
    cboSvrItems()->setEditText(proposal);
    m_cmdSave->setEnabled(!proposal.isEmpty());
    // The first listing asks for the proposed name itself; with no proposal there is none.
    setCurrentPattern(proposal);
}

void frmFileSaveAs::beforeNodeChoice()
{
    // The routine's own namespace wins over the session's, so an unchanged name saves in
    // place instead of asking to create the item elsewhere.
    if (!m_rtn || m_rtn->Env().isEmpty())
        return;
    if (QTreeWidgetItem *own = findNamespaceNode(m_rtn->Env()))
        selectNodeQuietly(own);
}

void frmFileSaveAs::nodeChosen(bool namespaceNode)
{
    ServerBrowseDialog::nodeChosen(namespaceNode);
    // An empty name box (a routine with no name to propose) keeps Save off until a name
    // is typed or picked.
    m_cmdSave->setEnabled(namespaceNode && !cboSvrItems()->currentText().isEmpty());
}

void frmFileSaveAs::nameTextReleased(bool wasPattern, bool nowPattern)
{
    if (nowPattern && !wasPattern)
        m_cmdSave->setEnabled(false);
    else if (!nowPattern && wasPattern)
        m_cmdSave->setEnabled(true);
}

void frmFileSaveAs::patternChosen()
{
    m_cmdSave->setEnabled(false);
}

QString frmFileSaveAs::sftSvr_CellTip(const QTreeWidgetItem *node) const
{
    if (!isNamespaceNode(node))
        return ServerBrowseDialog::sftSvr_CellTip(node);
    MLink *session = link();
    return node->data(0, NodeTagRole).toString() + QStringLiteral(" at ")
           + (session ? session->HostIP() : QString());
}

void frmFileSaveAs::lvwSvr_ItemClick(int index)
{
    ItemListView *list = lvwSvr();
    if (index < 0 || index >= list->count())
        return;
    // A read-only item cannot be saved over: it is only deselected.
    if (list->itemSelected(index) && list->itemGhosted(index)) {
        list->setItemSelected(index, false);
        return;
    }
    cboSvrItems()->setEditText(list->itemText(index));
    m_cmdSave->setEnabled(true);
}

void frmFileSaveAs::lvwSvr_DblClick(int)
{
    if (m_cmdSave->isEnabled())
        cmdSave_Click();
}

// --- the splitter --------------------------------------------------------------------------------

double frmFileSaveAs::minimumCellPosition(double splitterWidth, double barPosition, double barWidth)
{
    const auto clampBar = [&](double position) {
        return std::max(0.0, std::min(position, splitterWidth - barWidth));
    };
    double position = clampBar(barPosition);
    if (position < MinimumCellTwips)
        position = clampBar(MinimumCellTwips);
    if (splitterWidth - barWidth - position < MinimumCellTwips)
        position = clampBar(splitterWidth - NarrowListMarginTwips);
    return position;
}

void frmFileSaveAs::showEvent(QShowEvent *event)
{
    ServerBrowseDialog::showEvent(event);
    // The bar starts at a third once the splitter has its real width, as the form loads.
    if (!m_splitterPlaced) {
        m_splitterPlaced = true;
        SplitterSvr_OnSplitterDblClick();
    }
    // The proposed name has the keys, selected, so that a name typed replaces it.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || !cboSvrItems()->isEnabled())
            return;
        cboSvrItems()->setFocus(Qt::OtherFocusReason);
        cboSvrItems()->lineEdit()->selectAll();
    });
}

void frmFileSaveAs::SplitterSvr_OnSplitterDblClick()
{
    Splitter *splitter = SplitterSvr();
    splitter->SetSplitterPosition(double(qRound(Twips::fromPixels(splitter->width(), this)) / 3));
}

void frmFileSaveAs::SplitterSvr_OnResize()
{
    Splitter *splitter = SplitterSvr();
    if (!m_placing) {
        const double width = Twips::fromPixels(splitter->width(), this);
        const double barWidth = Twips::fromPixels(splitter->barRect().width(), this);
        const double position = minimumCellPosition(width, splitter->PrimaryWidth(), barWidth);
        if (Twips::toPixels(position, this) != splitter->primaryRect().width()) {
            m_placing = true;
            splitter->SetSplitterPosition(position);
            m_placing = false;
        }
    }
    sftSvr()->setGeometry(splitter->primaryRect());
    // The list sits a pixel lower and two shorter, clear of the tree's frame line.
    lvwSvr()->setGeometry(splitter->secondaryRect().adjusted(0, 1, 0, -1));
}

// --- saving --------------------------------------------------------------------------------------

void frmFileSaveAs::cmdSave_Click()
{
    if (!m_rtn)
        return;
    QWidget *next = saveChosen(cboSvrItems()->currentText(), selectedNamespace(), selectedItemType());
    if (!m_cancel) {
        hide();
        return;
    }
    next->setFocus();
}

QWidget *frmFileSaveAs::saveChosen(const QString &name, const QString &ns, int type)
{
    Routine &rtn = *m_rtn;
    const QString oldName = rtn.Rtn(), oldNs = rtn.Env();
    const int oldType = rtn.Typ();
    m_cancel = true;

    QWidget *nameBox = cboSvrItems();
    if (name.isEmpty() || name.contains(QLatin1Char(';')) || name.contains(QLatin1Char('*'))
        || name.contains(QLatin1Char('?')))
        return nameBox;
    // Nothing to save into (the heading, or a root that stands for no namespace). The
    // document's own save would bring this dialog back for a routine without one.
    if (ns.isEmpty())
        return sftSvr();
    if (ns == oldNs && name == oldName && type == oldType) {
        m_cancel = !rtn.SaveDoc();
        return nameBox;
    }
    if (Routines::instance().Item(Routine::KeyFor(name, ns, type))) {
        MsgBox(QStringLiteral("This routine is already open. You cannot overwrite it."),
               MsgBoxStyle::Information + MsgBoxStyle::OkOnly);
        return nameBox;
    }
    IDocLink *docLink = rtn.MLink();
    if (!docLink)
        return nameBox;
    const LinkSession session(*docLink);
    m_cancel = !askServer(session, *docLink, name, ns, type);
    // Whatever the reply, the server waits for this before it goes on; a server that
    // connected while a box of the reply was up is not that server.
    session.acknowledge();
    if (m_cancel || !session.isCurrent())
        return nameBox;

    QString newName = name, newNs = ns;
    int newType = type;
    if (!rtn.Rename(newName, newNs, newType)) {
        m_cancel = true;
        session.Send(RoutineRequest::release(type, name, ns));
        return nameBox;
    }
    // Only a routine loaded from the server holds the old item's lock; a new one never had
    // one. The server of the routine's own session granted it: one kept from a session that
    // has ended holds nothing on this one.
    if (!oldNs.isEmpty() && rtn.HoldsLock())
        rtn.session().Send(RoutineRequest::release(oldType, oldName, oldNs));
    // Saved under its new name on this server, the routine is this session's from now on.
    rtn.setSession(session);
    rtn.setHoldsLock(true);
    if (rtn.ReadOnly())
        rtn.setReadOnly(false);
    m_cancel = !rtn.SaveDoc();
    if (!m_cancel)
        recordRecent(*docLink, name, ns, type);
    return nameBox;
}

bool frmFileSaveAs::askServer(const LinkSession &session, IDocLink &docLink, const QString &name,
                              const QString &ns, int type)
{
    QStringList reply = docLink.Transact(0, RoutineRequest::lock(type, name, ns));
    const QString code = reply.value(0);
    if (code == QLatin1String("SIM")) {
        IDocumentHost *host = docServices().host;
        // A bare consent asks nothing; a question needs someone to put it to.
        const bool consent = reply.size() < 2 || (host && host->ServerPrompt(reply));
        if (!consent)
            session.Send(RoutineRequest::release(type, name, ns));
        return consent;
    }
    if (code == QLatin1String("MSG")) {
        MsgBox(reply.value(1), MsgBoxStyle::OkOnly);
        return false;
    }
    MsgBox(QStringLiteral("FileSaveAs received unexpected reply type [") + code + QLatin1Char(']'),
           MsgBoxStyle::Critical);
    return false;
}

void frmFileSaveAs::recordRecent(IDocLink &docLink, const QString &name, const QString &ns, int type)
{
    Sources saved;
    SourcePtr item = saved.Add(type, name, MakeLocation(docLink.HostIP(), ns), QString(), docLink.Brand());
    if (item)
        item->setDisplayName(m_rtn->DisplayName());
    if (frmFileOpen *open = modFileOpen::openDialog())
        open->AddToRecent(saved);
}

// --- settings ------------------------------------------------------------------------------------

MementoPtr frmFileSaveAs::saveMemento()
{
    auto memento = std::make_shared<Memento>();
    const QStringList patterns = patternHistory();
    if (!patterns.isEmpty()) {
        auto bag = std::make_shared<Memento>();
        bag->write(QStringLiteral("#"), patterns.size());
        for (int k = patterns.size(); k >= 1; --k)
            bag->write(QString::number(k), patterns.at(k - 1));
        memento->writeMemento(PatternsKey, bag);
    }
    memento->write(ViewKey, lvwSvr()->View());
    return memento;
}

void frmFileSaveAs::restoreMemento(const Memento &memento)
{
    QStringList patterns;
    if (MementoPtr bag = memento.readMemento(PatternsKey)) {
        qint32 count = 0;
        if (bag->readInt(QStringLiteral("#"), count)) {
            for (int k = 1; k <= count; ++k) {
                QString pattern;
                // A damaged entry is skipped; the others keep their order.
                if (bag->readString(QString::number(k), pattern))
                    patterns << pattern;
            }
        }
    }
    setPatternHistory(patterns);
    qint32 view = 0;
    if (memento.readInt(ViewKey, view) && view >= ItemListView::LargeIcons && view <= ItemListView::Report)
        lvwSvr()->setView(view);
}
