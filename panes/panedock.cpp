#include "panedock.h"

#include "paneform.h"

#include <QCloseEvent>
#include <QMainWindow>

namespace {

constexpr int EdgeLeft = 1;
constexpr int EdgeRight = 2;
constexpr int EdgeTop = 4;
constexpr int EdgeBottom = 8;

} // namespace

PaneDock::PaneDock(PaneForm *pane, QWidget *parent)
    : QDockWidget(pane->windowTitle(), parent)
    , m_pane(pane)
{
    setObjectName(pane->objectName());
    setWidget(pane);
    pane->setDock(this);
    // The variables pane names the stack level in its caption; the title bar follows.
    connect(pane, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(this, &QDockWidget::dockLocationChanged, pane, &PaneForm::DockChanged);
    connect(this, &QDockWidget::topLevelChanged, pane, &PaneForm::DockChanged);
    connect(this, &QDockWidget::visibilityChanged, pane, &PaneForm::DockChanged);
}

int PaneDock::State() const
{
    if (isHidden())
        return StateHidden;
    return isFloating() ? StateFloating : StateDocked;
}

void PaneDock::SetState(int state)
{
    switch (state) {
    case StateHidden:
        hide();
        break;
    case StateDocked:
        setFloating(false);
        show();
        break;
    case StateFloating:
        setFloating(true);
        show();
        break;
    default:
        break;
    }
}

int PaneDock::DockPosition() const
{
    QMainWindow *host = hostWindow();
    if (!host || isFloating())
        return 0;
    return edgeOfArea(host->dockWidgetArea(const_cast<PaneDock *>(this)));
}

void PaneDock::SetDockPosition(int position)
{
    QMainWindow *host = hostWindow();
    if (!host || (DockPosition() & position))
        return;
    int edge = m_pane->Edge() & position;
    if (areaOfEdge(edge) == Qt::NoDockWidgetArea) {
        edge = 0;
        for (int candidate : {EdgeLeft, EdgeRight, EdgeTop, EdgeBottom}) {
            if (position & candidate) {
                edge = candidate;
                break;
            }
        }
    }
    if (!edge)
        return;
    setFloating(false);
    host->addDockWidget(areaOfEdge(edge), this);
}

int PaneDock::edgeOfArea(Qt::DockWidgetArea area)
{
    switch (area) {
    case Qt::LeftDockWidgetArea:
        return EdgeLeft;
    case Qt::RightDockWidgetArea:
        return EdgeRight;
    case Qt::TopDockWidgetArea:
        return EdgeTop;
    case Qt::BottomDockWidgetArea:
        return EdgeBottom;
    default:
        return 0;
    }
}

Qt::DockWidgetArea PaneDock::areaOfEdge(int edge)
{
    switch (edge) {
    case EdgeLeft:
        return Qt::LeftDockWidgetArea;
    case EdgeRight:
        return Qt::RightDockWidgetArea;
    case EdgeTop:
        return Qt::TopDockWidgetArea;
    case EdgeBottom:
        return Qt::BottomDockWidgetArea;
    default:
        return Qt::NoDockWidgetArea;
    }
}

void PaneDock::closeEvent(QCloseEvent *event)
{
    m_pane->HideMe();
    event->ignore();
}

QMainWindow *PaneDock::hostWindow() const
{
    return qobject_cast<QMainWindow *>(parentWidget());
}
