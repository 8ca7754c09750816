// The document tab strip as a user meets it: tabs read at a glance, the pointer resting on
// a tab gives its window's whole title, and a click on a tab brings its window up.

#include "mdihost.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabBar>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

// The size a tab asks for to draw its icon and text uncut.
QSize tabNeed(QTabBar *tabs, int index)
{
    // The hint is protected; a pointer to it taken through a subclass calls it on the bar
    // itself, with no downcast to a type the bar is not.
    struct Measured : QTabBar
    {
        static auto hint() { return &Measured::tabSizeHint; }
    };
    return (tabs->*Measured::hint())(index);
}

QString tipOfTab(QTabBar *tabs, int index)
{
    QToolTip::hideText();
    const QPoint at = tabs->tabRect(index).center();
    QTest::mouseMove(tabs, at);
    QHelpEvent rest(QEvent::ToolTip, at, tabs->mapToGlobal(at));
    QCoreApplication::sendEvent(tabs, &rest);
    return QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000) ? QToolTip::text() : QString();
}

} // namespace

// Beside two long-named windows the short names stay whole (DEMO and DEF must not both read
// "DE..."); a long name is cut in the middle, keeping the number that tells it from its
// twin; on every edge of the area.
TEST(DocumentTabs, ShortNamesStayWholeBesideLongOnesCutInTheMiddle)
{
    const QString longA = QStringLiteral("Demo.Sample.Generated.Person.Class.Routine.Name.That.Goes.On.1");
    const QString longB = QStringLiteral("Demo.Sample.Generated.Person.Class.Routine.Name.That.Goes.On.2");
    const QStringList titles{QStringLiteral("A"), longA, QStringLiteral("DEMO"), longB, QStringLiteral("DEF"),
                             QStringLiteral("B from SAMPLES")};
    for (int edge : {MdiHost::Top, MdiHost::Left}) {
        SCOPED_TRACE(edge);
        MdiHost host;
        host.setTabsEdge(edge);
        host.resize(edge == MdiHost::Top ? 700 : 400, edge == MdiHost::Top ? 400 : 500);
        QList<QMdiSubWindow *> windows;
        for (const QString &title : titles) {
            auto *content = new QWidget;
            content->setWindowTitle(title);
            windows << host.addWindow(content);
            windows.last()->show();
        }
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        QTabBar *tabs = host.tabBar();
        ASSERT_EQ(tabs->count(), titles.size());
        for (int i = 0; i < tabs->count(); ++i) {
            SCOPED_TRACE(titles.at(i).toStdString());
            const QString text = tabs->tabText(i);
            if (titles.at(i).size() < 20) {
                EXPECT_EQ(text, titles.at(i));
            } else {
                EXPECT_LT(text.size(), titles.at(i).size());
                EXPECT_TRUE(text.startsWith(titles.at(i).left(4)));
                EXPECT_TRUE(text.endsWith(titles.at(i).right(2)));
            }
            // Drawn as wide as its text needs: nothing of what it says is cut again.
            const QRect r = tabs->tabRect(i);
            const QSize need = tabNeed(tabs, i);
            EXPECT_GE(edge == MdiHost::Top ? r.width() : r.height(), edge == MdiHost::Top ? need.width() : need.height());
        }
        EXPECT_NE(tabs->tabText(1), tabs->tabText(3));

        // The pointer resting on a tab gives the whole title; a click brings the window up.
        for (int i : {1, 2}) {
            tabs->setCurrentIndex(0);
            ASSERT_TRUE(tabs->rect().contains(tabs->tabRect(i).center()));
            EXPECT_EQ(tipOfTab(tabs, i), titles.at(i));
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
            EXPECT_EQ(host.area()->activeSubWindow(), windows.at(i));
        }
        QToolTip::hideText();
    }
}
