#pragma once

#include <QWidget>

class QMdiArea;
class QMdiSubWindow;
class QTabBar;

// The document area of the main window: the code windows in a multiple-document area
// with a tab strip beside it, one tab per window, that can be hidden and moved to any
// edge (the saved "DocumentTabs.Visible" and "DocumentTabs.Edge"). A tab shows its
// window's title whole up to about MaxTabChars characters, a longer one cut in the
// middle; its tip gives the title whole.
class MdiHost : public QWidget
{
    Q_OBJECT
public:
    // Values of "DocumentTabs.Edge".
    enum Edge { Top = 0, Bottom = 1, Left = 2, Right = 3 };

    explicit MdiHost(QWidget *parent = nullptr);
    ~MdiHost() override;

    QMdiArea *area() const { return m_area; }
    QTabBar *tabBar() const { return m_tabs; }

    bool tabsVisible() const { return m_tabsVisible; }
    void setTabsVisible(bool visible);
    int tabsEdge() const { return m_edge; }
    // Values outside the enum are refused.
    void setTabsEdge(int edge);

    QMdiSubWindow *addWindow(QWidget *content);
    int windowCount() const;
    bool anyWindowVisible() const;
    // Lays the area and its windows out again (the one-shot relayout).
    void relayout();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static constexpr int MaxTabChars = 24;

    void rebuildTabs();
    QString tabText(const QString &title) const;
    void onTabChosen(int index);
    void placeTabs();

    QMdiArea *m_area;
    QTabBar *m_tabs;
    bool m_tabsVisible = true;
    int m_edge = Top;
    bool m_syncing = false;   // tab changes made here do not activate windows back
};
