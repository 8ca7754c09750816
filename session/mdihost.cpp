#include "mdihost.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabBar>

#include <QKeyEvent>

#include <algorithm>

namespace {

// Qt's own window switcher watches every key of the application and takes Ctrl+Tab
// before the focus widget sees it, then toggles between the two most recent windows.
// Inside a document window the key is the window's: it walks all windows in order, as
// Ctrl+F6 does.
class DocumentArea : public QMdiArea
{
public:
    using QMdiArea::QMdiArea;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
            && inDocumentWindow(object)) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Control)
                return QAbstractScrollArea::eventFilter(object, event);
        }
        return QMdiArea::eventFilter(object, event);
    }

private:
    bool inDocumentWindow(QObject *object) const
    {
        for (QObject *o = object; o; o = o->parent()) {
            if (auto *child = qobject_cast<QMdiSubWindow *>(o))
                return child->mdiArea() == this;
        }
        return false;
    }
};

} // namespace

MdiHost::MdiHost(QWidget *parent)
    : QWidget(parent), m_area(new DocumentArea(this)), m_tabs(new QTabBar(this))
{
    m_area->setObjectName(QStringLiteral("MDIClient"));
    m_tabs->setObjectName(QStringLiteral("DocumentTabs"));
    m_tabs->setDocumentMode(true);
    m_tabs->setExpanding(false);
    // The strip never squeezes its tabs (which cuts every name, short ones to a letter):
    // each tab keeps the size of its text, a long name is cut in the middle to a bounded
    // width by rebuildTabs, and a strip too short for all its tabs scrolls.
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->setUsesScrollButtons(true);
    connect(m_area, &QMdiArea::subWindowActivated, this, &MdiHost::rebuildTabs);
    connect(m_tabs, &QTabBar::currentChanged, this, &MdiHost::onTabChosen);
    placeTabs();
    rebuildTabs();
}

void MdiHost::setTabsVisible(bool visible)
{
    m_tabsVisible = visible;
    rebuildTabs();
}

void MdiHost::setTabsEdge(int edge)
{
    if (edge < Top || edge > Right)
        return;
    m_edge = edge;
    placeTabs();
}

QMdiSubWindow *MdiHost::addWindow(QWidget *content)
{
    QMdiSubWindow *sub = m_area->addSubWindow(content);
    // The frame shows the picture its content chose (a routine's type and status), and
    // follows it when it changes; without this the frame carries the toolkit's logo.
    if (content->testAttribute(Qt::WA_SetWindowIcon))
        sub->setWindowIcon(content->windowIcon());
    content->installEventFilter(this);
    // Titles and closing change the strip too.
    sub->installEventFilter(this);
    connect(sub, &QObject::destroyed, this, &MdiHost::rebuildTabs, Qt::QueuedConnection);
    connect(sub, &QMdiSubWindow::windowStateChanged, this, &MdiHost::rebuildTabs);
    rebuildTabs();
    return sub;
}

int MdiHost::windowCount() const
{
    return m_area->subWindowList().size();
}

bool MdiHost::anyWindowVisible() const
{
    const auto windows = m_area->subWindowList();
    return std::any_of(windows.begin(), windows.end(), [](QMdiSubWindow *w) { return !w->isHidden(); });
}

void MdiHost::relayout()
{
    if (QMdiSubWindow *active = m_area->activeSubWindow()) {
        if (active->isMaximized()) {
            active->showNormal();
            active->showMaximized();
        }
    }
    m_area->updateGeometry();
    if (layout())
        layout()->activate();
}

bool MdiHost::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowIconChange && !qobject_cast<QMdiSubWindow *>(watched)) {
        auto *content = static_cast<QWidget *>(watched);
        auto *sub = qobject_cast<QMdiSubWindow *>(content->parentWidget());
        // Only a picture of the content's own: one it inherits from the frame would
        // come straight back to it.
        if (sub && sub->widget() == content && content->testAttribute(Qt::WA_SetWindowIcon)
            && sub->windowIcon().cacheKey() != content->windowIcon().cacheKey()) {
            sub->setWindowIcon(content->windowIcon());
            rebuildTabs();
        }
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::WindowTitleChange:
    case QEvent::Show:
    case QEvent::Hide:
        rebuildTabs();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MdiHost::rebuildTabs()
{
    m_syncing = true;
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    const auto windows = m_area->subWindowList();
    int current = -1;
    for (QMdiSubWindow *w : windows) {
        if (w->isHidden())
            continue;
        const QString title = w->windowTitle();
        const int index = m_tabs->addTab(w->windowIcon(), tabText(title));
        m_tabs->setTabToolTip(index, title);
        m_tabs->setTabData(index, QVariant::fromValue<QObject *>(w));
        if (w == m_area->activeSubWindow())
            current = index;
    }
    if (current >= 0)
        m_tabs->setCurrentIndex(current);
    m_tabs->setVisible(m_tabsVisible && m_tabs->count() > 0);
    m_syncing = false;
}

QString MdiHost::tabText(const QString &title) const
{
    // Names of one routine's windows, or of generated classes, differ at their ends (a
    // number, "from" a namespace): both ends stay.
    const QFontMetrics metrics = m_tabs->fontMetrics();
    return metrics.elidedText(title, Qt::ElideMiddle, metrics.averageCharWidth() * MaxTabChars);
}

void MdiHost::onTabChosen(int index)
{
    if (m_syncing || index < 0)
        return;
    if (auto *w = qobject_cast<QMdiSubWindow *>(m_tabs->tabData(index).value<QObject *>()))
        m_area->setActiveSubWindow(w);
}

void MdiHost::placeTabs()
{
    delete layout();
    const bool vertical = m_edge == Left || m_edge == Right;
    m_tabs->setShape(m_edge == Top ? QTabBar::RoundedNorth
                     : m_edge == Bottom ? QTabBar::RoundedSouth
                     : m_edge == Left ? QTabBar::RoundedWest
                                      : QTabBar::RoundedEast);
    auto *box = new QBoxLayout(vertical ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    if (m_edge == Top || m_edge == Left) {
        box->addWidget(m_tabs);
        box->addWidget(m_area, 1);
    } else {
        box->addWidget(m_area, 1);
        box->addWidget(m_tabs);
    }
}

// The area and its windows go with this host's children, after this object has stopped
// being an MdiHost; what they signal on the way must not reach its slots.
MdiHost::~MdiHost()
{
    for (QMdiSubWindow *sub : m_area->subWindowList())
        sub->disconnect(this);
    m_area->disconnect(this);
    m_tabs->disconnect(this);
}
