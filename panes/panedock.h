#pragma once

#include <QDockWidget>

class PaneForm;
class QMainWindow;

// The dock a pane lives in inside the main window. Its object name is the pane's name,
// under which QMainWindow::saveState and restoreState keep its place.
//
// Closing it from its title bar only hides it through the pane's HideMe: a pane is
// never destroyed while the program runs, and the same instance comes back with its
// contents.
//
// It also answers the pane's questions about where it stands, in the numbers the
// panes keep and save: state 8 hidden, 4 docked, 2 floating; dock positions as a mask
// of edges, 1 left, 2 right, 4 top, 8 bottom (15 any), 0 floating or not placed.
class PaneDock : public QDockWidget
{
    Q_OBJECT
public:
    static constexpr int StateFloating = 2;
    static constexpr int StateDocked = 4;
    static constexpr int StateHidden = 8;
    static constexpr int AnyEdge = 15;

    // Takes the pane as its widget; parent is normally the main window.
    explicit PaneDock(PaneForm *pane, QWidget *parent = nullptr);

    PaneForm *pane() const { return m_pane; }

    int State() const;
    // 8 hides, 4 shows docked, 2 shows floating; other values change nothing.
    void SetState(int state);
    int DockPosition() const;
    // position is a mask of allowed edges. When the dock already stands on one of them
    // nothing moves; otherwise (floating, or not placed) it is docked on the pane's
    // noted Edge when that is allowed, else on the first allowed edge.
    void SetDockPosition(int position);

    static int edgeOfArea(Qt::DockWidgetArea area);
    static Qt::DockWidgetArea areaOfEdge(int edge);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QMainWindow *hostWindow() const;

    PaneForm *m_pane;   // the widget, owned as the dock's child
};
