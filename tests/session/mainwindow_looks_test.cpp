#include "mainwindowfixture.h"

#include "codeicons.h"
#include "commandmanager.h"
#include "docfakes.h"
#include "frmbreakpoints.h"
#include "frmcode.h"
#include "gridcontrol.h"
#include "mdihost.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sourceview.h"
#include "statusbar.h"

#include <QAction>
#include <QEnterEvent>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

QString routineText(const QString &name)
{
    QStringList lines{name + QStringLiteral("\t; a routine to look at")};
    for (int i = 1; i <= 30; ++i)
        lines << QStringLiteral("L%1\tSET X=%1 WRITE !,X").arg(i);
    lines << QStringLiteral("\tQUIT");
    return lines.join(QStringLiteral("\r\n"));
}

// The main window of the program at a desk's size, shown, with a scripted server that
// hands out the routines the test opens.
class LooksTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window = start("SQ0");
        ASSERT_NE(window, nullptr);
        docServices().stack = &stack;
        window->resize(1280, 800);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    void TearDown() override
    {
        docServices().stack = nullptr;
        MainWindowTest::TearDown();
    }

    // A scripted server that hands out these routines, in this order.
    bool serve(const QStringList &names)
    {
        using namespace mserver;
        QList<Step> steps;
        for (const QString &name : names) {
            steps << answer({"SIG", "1", name, "USER", "0"}, {"SIG", "1", name, "USER", "0", routineText(name), "GTM"});
            steps << expectAck();
        }
        server = std::make_unique<mserver::MServer>(steps);
        server->setStepTimeoutMs(30000);
        if (!server->startAccepted(*window->link()))
            return false;
        window->setMState(1);
        return true;
    }

    // Opens a routine for editing through the navigator, as the File menu does.
    frmCode *edit(const QString &name)
    {
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        if (!window->navigator()->EditRoutine(name, "USER", wasReadOnly, 1, doc))
            return nullptr;
        auto *rtn = dynamic_cast<Routine *>(doc.get());
        return rtn ? dynamic_cast<frmCode *>(rtn->Window()) : nullptr;
    }

    static QMdiSubWindow *frameOf(frmCode *code) { return qobject_cast<QMdiSubWindow *>(code->MeX()); }

    frmMDI *window = nullptr;
    FakeStackPane stack;
    std::unique_ptr<mserver::MServer> server;
};

} // namespace

// Two rows of bars in a window 1280 pixels wide: no button is pushed behind a chevron.
TEST_F(LooksTest, EveryToolButtonShowsAt1280PixelsWide)
{
    const QList<QToolBar *> bars = window->cmdMgr()->toolBars();
    ASSERT_EQ(bars.size(), 6);
    int buttons = 0;
    for (QToolBar *bar : bars) {
        SCOPED_TRACE(bar->objectName().toStdString());
        ASSERT_TRUE(bar->isVisible());
        EXPECT_LE(bar->geometry().right(), window->width());
        for (QAction *action : bar->actions()) {
            if (action->isSeparator())
                continue;
            QWidget *button = bar->widgetForAction(action);
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->isVisible()) << action->text().toStdString() << " in a window "
                                             << window->width() << " wide, bar at "
                                             << bar->geometry().left() << ".." << bar->geometry().right();
            EXPECT_TRUE(bar->rect().contains(button->geometry())) << action->text().toStdString();
            ++buttons;
        }
    }
    EXPECT_EQ(buttons, 42);   // every command on a bar, the go-to box included
}

// The session's state stays in the status bar while the pointer passes over the buttons.
TEST_F(LooksTest, HoveringAToolButtonLeavesTheStateText)
{
    sbrStatus *status = window->statusBarPanels();
    StatusPanel *state = status->panel(QStringLiteral("State"));
    ASSERT_NE(state, nullptr);
    const QString stateText = state->text();
    QToolBar *debug = window->cmdMgr()->toolBar(QStringLiteral("tlbDebug"));
    ASSERT_NE(debug, nullptr);
    for (QAction *action : debug->actions()) {
        if (action->isSeparator() || action->statusTip().isEmpty())
            continue;
        QWidget *button = debug->widgetForAction(action);
        QTest::mouseMove(button, button->rect().center());
        QEnterEvent enter(button->rect().center(), button->mapTo(window, button->rect().center()),
                          button->mapToGlobal(button->rect().center()));
        QCoreApplication::sendEvent(button, &enter);
        QCoreApplication::processEvents();
        EXPECT_TRUE(status->currentMessage().isEmpty()) << action->text().toStdString();
        EXPECT_TRUE(state->isVisible());
        EXPECT_EQ(state->text(), stateText);
    }
}

// Each code window's frame and tab carry its routine's picture, and follow it.
TEST_F(LooksTest, CodeWindowFramesShowTheirRoutinesIcon)
{
    ASSERT_TRUE(serve({"ZZLOOKA", "ZZLOOKB"}));
    const QList<frmCode *> codes = {edit("ZZLOOKA"), edit("ZZLOOKB")};
    for (frmCode *code : codes) {
        ASSERT_NE(code, nullptr);
        QMdiSubWindow *frame = frameOf(code);
        ASSERT_NE(frame, nullptr);
        ASSERT_GT(code->iconNumber(), 0);
        const QIcon expected = CodeIcons::icon(code->iconNumber());
        EXPECT_EQ(frame->windowIcon().cacheKey(), expected.cacheKey());
        EXPECT_FALSE(frame->windowIcon().pixmap(16).toImage().isNull());
    }
    // A changed picture reaches the frame.
    const QIcon other = CodeIcons::icon(CodeIcons::number(2, 0, false));
    codes[0]->setWindowIcon(other);
    EXPECT_EQ(frameOf(codes[0])->windowIcon().cacheKey(), other.cacheKey());
}

// After a Tile, a new code window is not the size of the sliver it came after: it shows
// 40 lines of 80 columns where the area has room, else it takes the area's size.
TEST_F(LooksTest, ANewCodeWindowAfterTileHasRoomForAPageOfCode)
{
    window->resize(1600, 1000);
    QCoreApplication::processEvents();
    ASSERT_TRUE(serve({"ZZLOOKA", "ZZLOOKB", "ZZLOOKC", "ZZLOOKD", "ZZLOOKE"}));
    QList<frmCode *> first;
    for (const char *name : {"ZZLOOKA", "ZZLOOKB", "ZZLOOKC", "ZZLOOKD"}) {
        first << edit(name);
        ASSERT_NE(first.last(), nullptr);
        EXPECT_TRUE(first.last()->isMaximised());   // the default: children open maximised
    }
    window->menuItem(QStringLiteral("mnuWindowTileV"))->trigger();
    QCoreApplication::processEvents();
    ASSERT_FALSE(first[3]->isMaximised());

    frmCode *code = edit("ZZLOOKE");
    ASSERT_NE(code, nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(code->isMaximised());
    QMdiSubWindow *frame = frameOf(code);
    const QSize area = frame->mdiArea()->viewport()->size();
    SourceView *view = code->SourceView1();
    const bool wideEnough = view->viewport()->width() >= 80 * view->CharWidth();
    const bool tallEnough = view->viewport()->height() >= 40 * view->CharHeight();
    EXPECT_TRUE(wideEnough || frame->width() == area.width()) << frame->width() << " of " << area.width();
    EXPECT_TRUE(tallEnough || frame->height() == area.height()) << frame->height() << " of " << area.height();
    EXPECT_GE(frame->width(), std::min(area.width(), 600));
    EXPECT_GE(frame->height(), std::min(area.height(), 400));
}

// The Breakpoints pane as the default layout shows it: what a user edits is in view,
// the check column is narrow and the row for a new entry can be seen.
TEST_F(LooksTest, TheBreakpointsPaneShowsItsMainColumnsAndTheEntryRow)
{
    for (const QSize size : {QSize(1280, 800), QSize(1600, 1000)}) {
        SCOPED_TRACE(size.width());
        window->resize(size);
        QCoreApplication::processEvents();
        frmBreakpoints *pane = window->breakpointsPane();
        ASSERT_TRUE(pane->isVisible());
        auto *grid = static_cast<GridControl *>(pane->BPList());
        const int room = grid->viewport()->width();
        QHeaderView *header = grid->header();
        EXPECT_LE(header->sectionSize(0), 32);
        for (int col : {1, 2, 3, 5}) {
            SCOPED_TRACE(col);
            // Its heading fits and its left edge is well inside the pane.
            EXPECT_LE(header->sectionViewportPosition(col) + 40, room);
            EXPECT_GE(header->sectionSize(col),
                      grid->fontMetrics().horizontalAdvance(grid->headerItem()->text(col)));
        }
        ASSERT_EQ(grid->rowCount(), 1);
        EXPECT_TRUE(grid->showsEntryHint());
        // The hint is drawn: the empty row is not blank.
        const QRect row = grid->visualRect(grid->model()->index(0, 1));
        const QImage shot = grid->viewport()->grab().toImage();
        const QRgb background = shot.pixel(row.right() + 20 < shot.width() ? row.right() + 20 : row.left(), row.bottom() + 8);
        bool ink = false;
        for (int x = row.left(); x < shot.width() && !ink; ++x)
            for (int y = row.top(); y <= row.bottom() && !ink; ++y)
                ink = shot.pixel(x, y) != background;
        EXPECT_TRUE(ink);
    }
}

