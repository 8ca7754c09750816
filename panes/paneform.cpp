#include "paneform.h"

#include "columnlayout.h"
#include "icodewindow.h"
#include "imainwindow.h"
#include "panedock.h"
#include "routine.h"
#include "routines.h"
#include "vbkeys.h"

#include <QChildEvent>
#include <QKeyEvent>

namespace {

constexpr int VkF4 = 115;
constexpr int ShiftCtrl = 2;

const QString PaneStateAttribute = QStringLiteral("PaneState");
const QString EdgeAttribute = QStringLiteral("Edge");

// Hiding a pane beside a maximised code window leaves a gap the MDI area only fills
// when it lays out again.
bool activeCodeWindowMaximised()
{
    const std::shared_ptr<Routine> routine = Routine::from(Routines::instance().Active());
    return routine && routine->Window() && routine->Window()->isMaximised();
}

} // namespace

PaneForm::PaneForm(QWidget *parent)
    : QWidget(parent)
{
    m_paneState.Prepare(this, nullptr);
    watchKeysOf(this);
}

PaneForm::~PaneForm() = default;

PaneDock *PaneForm::dock() const
{
    return m_dock;
}

void PaneForm::setDock(PaneDock *dock)
{
    m_dock = dock;
}

bool PaneForm::paneVisible() const
{
    const QWidget *window = paneWindow();
    // A dock inside a main window that has not been shown yet is hidden only in the
    // sense that nothing has shown it; it appears with the main window.
    if (window->isHidden() && !window->isWindow()
        && !window->testAttribute(Qt::WA_WState_ExplicitShowHide))
        return true;
    return !window->isHidden();
}

void PaneForm::HideMe()
{
    m_shown = false;
    if (m_dock)
        m_dock->SetState(PaneDock::StateHidden);
    else
        hide();
    if (activeCodeWindowMaximised()) {
        if (IMainWindow *main = mainWindow())
            main->startRelayoutTimer();
    }
}

void PaneForm::ShowMe()
{
    QWidget *window = paneWindow();
    window->show();
    window->raise();
    m_shown = true;
    if (m_edge != 0 && m_dock)
        m_dock->SetDockPosition(PaneDock::AnyEdge);
}

void PaneForm::NoteDockEdge()
{
    if (m_dock)
        m_edge = m_dock->DockPosition();
}

void PaneForm::DockChanged()
{
    if (!m_dock)
        return;
    const int state = m_dock->State();
    if ((state == PaneDock::StateHidden || state == PaneDock::StateDocked) && m_shown)
        NoteDockEdge();
}

void PaneForm::Notify(int eState)
{
    m_paneState.Notify(eState);
}

MementoPtr PaneForm::saveMemento()
{
    auto memento = std::make_shared<Memento>();
    if (const QHeaderView *header = columnHeader())
        ColumnLayout::save(*header, *memento);
    memento->writeMemento(PaneStateAttribute, m_paneState.StateData());
    memento->write(EdgeAttribute, qint32(m_edge));
    saveOwnSettings(*memento);
    return memento;
}

void PaneForm::restoreMemento(const Memento &memento)
{
    if (QHeaderView *header = columnHeader())
        ColumnLayout::restore(*header, memento);
    if (MementoPtr state = memento.readMemento(PaneStateAttribute))
        m_paneState.Prepare(this, state.get());
    qint32 edge = 0;
    if (memento.readInt(EdgeAttribute, edge))
        m_edge = edge;
    restoreOwnSettings(memento);
}

bool PaneForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        watchKeysOf(static_cast<QChildEvent *>(event)->child());
        break;
    case QEvent::KeyPress:
        return previewKey(watched, static_cast<QKeyEvent *>(event));
    case QEvent::KeyRelease:
        m_previewedKey = nullptr;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

QWidget *PaneForm::paneWindow()
{
    return m_dock ? static_cast<QWidget *>(m_dock) : this;
}

const QWidget *PaneForm::paneWindow() const
{
    return m_dock ? static_cast<const QWidget *>(m_dock) : this;
}

// Widgets only: keys go nowhere else. A widget added with children of its own brings
// them along; children added to it later announce themselves through ChildAdded.
void PaneForm::watchKeysOf(QObject *object)
{
    if (!object->isWidgetType())
        return;
    object->installEventFilter(this);
    for (QWidget *child : object->findChildren<QWidget *>())
        child->installEventFilter(this);
}

bool PaneForm::previewKey(QObject *receiver, QKeyEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(receiver);
    // A widget moved out of the pane keeps the filter but is no longer ours.
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    auto *seenAt = qobject_cast<QWidget *>(m_previewedAt.data());
    if (event == m_previewedKey && seenAt && widget != seenAt && widget->isAncestorOf(seenAt))
        return false;
    m_previewedKey = nullptr;

    if (VbKeys::virtualKey(event) == VkF4 && VbKeys::shiftState(event->modifiers()) == ShiftCtrl) {
        paneWindow()->hide();
        event->accept();
        return true;
    }
    if (forwardKeyToMainWindow(event)) {
        event->accept();
        return true;
    }
    m_previewedKey = event;
    m_previewedAt = widget;
    return false;
}
