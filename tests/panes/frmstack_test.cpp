#include "docfixtures.h"
#include "frmstack.h"
#include "headerdrag.h"
#include "sessionwindow.h"
#include "memento.h"
#include "routine.h"
#include "routines.h"
#include "stacklevel.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The main window as the stack pane reaches it: whether it is busy, and the routines it
// is asked to show, which a test may open in answer.
class StackMainWindow : public SessionWindow
{
public:
    bool MBusy() const override { return busy; }
    bool ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target,
                     bool activate, int type) override
    {
        shown << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(rtn, env).arg(level).arg(target).arg(activate).arg(type);
        return onShow ? onShow() : false;
    }

    bool busy = false;
    QStringList shown;
    std::function<bool()> onShow;
};

QStringList abcLines()
{
    return {"ABC\t; header line", "\tS X=1 W X,!", "TAG\tS Y=2 W Y,!", "\tS Y=3 W Y,!",
            "\tS Y=4 W Y,!",      "\tS Y=5 W Y,!", "START\tS Z=1 W Z", "\tQ"};
}

QStringList xyzLines()
{
    return {"XYZ\t; other", "\tS A=1 W A,!", "SUB\tS B=2 W B,!", "\tS C=3 W C,!", "\tQ"};
}

StackLevelPtr lvl(int number, const QString &rtn, const QString &label = QString(), int offset = 0,
                  int charPos = 1, const QString &env = QStringLiteral("USER"))
{
    auto level = std::make_shared<StackLevel>();
    level->Number = number;
    level->Rtn = rtn;
    level->Env = rtn.isEmpty() ? QString() : env;
    level->Label = label;
    level->Offset = offset;
    level->CharPos = charPos;
    return level;
}

// Real routine documents in fake code windows; the Parse Engine says that command c of
// any line spans columns c + 1 to c + 3, and that position p lies in command p.
class StackPaneTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        setMainWindow(&main);
        engine->on("Cmd2Rng^PARSE", ScriptedEngine::Reply::computed([](const ScriptedEngine::Call &c) {
            const int command = c.args.value(1).toInt();
            return QStringLiteral("%1,%2").arg(command + 1).arg(command + 3);
        }));
        engine->on("Pos2Cmd^PARSE", ScriptedEngine::Reply::computed(
                                        [](const ScriptedEngine::Call &c) { return c.text(1); }));
        pane = std::make_unique<frmStack>();
        pane->setRoutines(routines.get());
        docServices().stack = pane.get();
        connect();
        abc = open("ABC", abcLines());
        xyz = open("XYZ", xyzLines());
        engine->clearCalls();
    }
    void TearDown() override
    {
        docServices().stack = nullptr;
        pane.reset();
        setMainWindow(nullptr);
        RoutineDocTest::TearDown();
    }

    void connect()
    {
        QObject::connect(pane.get(), &frmStack::levelSelected, [this](int level) { selected << level; });
    }
    std::shared_ptr<Routine> open(const QString &rtn, const QStringList &lines)
    {
        auto r = openRoutine(&link, rtn, lines.join(QStringLiteral("\r\n")));
        // As fetched from the server: a hidden document with a brand is not fetched again.
        r->setBrand(QStringLiteral("CACHE"));
        QCoreApplication::processEvents();
        return r;
    }
    static FakeCodeWindow *win(Routine &r) { return static_cast<FakeCodeWindow *>(r.Window()); }
    // The stack bits of the line that a reference names.
    static int marks(Routine &r, const QString &ref) { return r.GetLineFlags(r.LineOfLabel(ref)) & 3; }

    // Every row as "level|line|routine", top of the list first.
    QStringList rows() const
    {
        QStringList out;
        QTreeWidget *grid = pane->Stack();
        for (int i = 0; i < grid->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *row = grid->topLevelItem(i);
            out << row->text(0) + QLatin1Char('|') + row->text(1) + QLatin1Char('|') + row->text(2);
        }
        return out;
    }
    int currentLevel() const
    {
        const QTreeWidgetItem *row = pane->Stack()->currentItem();
        return row ? row->text(0).toInt() : -1;
    }
    bool freed(const Routine &r) const { return routines->hiddenKeys().contains(r.Key()); }

    StackMainWindow main;
    FakeDocLink link;
    std::unique_ptr<frmStack> pane;
    std::shared_ptr<Routine> abc, xyz;
    QList<int> selected;   // levelSelected, in order
};

TEST_F(StackPaneTest, TopLevelOnAnEmptyStackFillsPlaceholdersMarksAndShowsIt)
{
    const StackLevelPtr top = lvl(5, "ABC", "TAG", 3, 5);
    pane->Update(top, true);

    EXPECT_EQ(rows(), (QStringList{"1||", "2||", "3||", "4||", "5|TAG+3|ABC"}));
    EXPECT_EQ(pane->LevelNumber(), 5);
    const int line = abc->LineOfLabel("TAG+3");
    EXPECT_EQ(abc->GetLineFlags(line) & 3, 3);
    EXPECT_EQ(pane->LevelAtLoc(line, "ABC"), top);
    EXPECT_EQ(abc->HighWaterMark(), 5);
    EXPECT_EQ(currentLevel(), 5);
    // The command at position 5 is command 5: columns 6 to 8, selected in the shown window.
    EXPECT_EQ(top->StartCol, 6);
    EXPECT_EQ(top->EndCol, 8);
    FakeCodeWindow *w = win(*abc);
    EXPECT_TRUE(w->visible);
    EXPECT_EQ(w->selStartLine, line - 1);
    EXPECT_EQ(w->selStartColumn, 5);
    EXPECT_EQ(w->selEndColumn, 8);
    EXPECT_TRUE(main.shown.isEmpty());
    // Selecting rows itself is not the user's choice.
    EXPECT_TRUE(selected.isEmpty());
}

TEST_F(StackPaneTest, LineAndRoutineCells)
{
    struct Case { const char *rtn, *label; int offset; const char *line, *routine; };
    const Case cases[] = {
        {"ABC", "START", 0, "START", "ABC"},
        {"ABC", "TAG", 3, "TAG+3", "ABC"},
        {"@1", "TAG", 3, "", "*Xecute"},
    };
    for (const Case &c : cases) {
        pane->ResetStack();
        pane->Update(lvl(1, c.rtn, c.label, c.offset), false);
        EXPECT_EQ(rows(), QStringList{QStringLiteral("1|%1|%2").arg(c.line, c.routine)}) << c.rtn << c.offset;
    }
}

TEST_F(StackPaneTest, RoutineCellIsBlankOnlyUnderTheSameRoutine)
{
    // Levels arrive top first: level 3 is filled while level 2 is still a placeholder.
    pane->Update(lvl(3, "ABC", "TAG", 1), true);
    EXPECT_EQ(rows().at(2), "3|TAG+1|ABC");
    pane->Update(lvl(2, "ABC", "START"), false);
    pane->Update(lvl(1, "XYZ", "SUB"), false);
    EXPECT_EQ(rows(), (QStringList{"1|SUB|XYZ", "2|START|ABC", "3|TAG+1|"}));

    // The next stop: level 3 is filled against the old level 2, which is then replaced.
    pane->Update(lvl(3, "ABC", "TAG", 2), true);
    EXPECT_EQ(rows().at(2), "3|TAG+2|");
    pane->Update(lvl(2, "XYZ", "SUB"), false);
    EXPECT_EQ(rows(), (QStringList{"1|SUB|XYZ", "2|SUB|", "3|TAG+2|ABC"}));
    // A level reported without a place blanks its row and unblanks the one above.
    pane->Update(lvl(2, ""), false);
    EXPECT_EQ(rows(), (QStringList{"1|SUB|XYZ", "2||", "3|TAG+2|ABC"}));
}

TEST_F(StackPaneTest, LevelsSortAsNumbersBothWays)
{
    pane->Update(lvl(12, "ABC", "TAG"), true);
    QStringList levels;
    for (const QString &row : rows())
        levels << row.section('|', 0, 0);
    EXPECT_EQ(levels, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
}

TEST_F(StackPaneTest, ShallowerTopRemovesDeeperLevelsAndFreesTheirDocumentsOnce)
{
    xyz->setLowWaterMark(5);
    abc->setLowWaterMark(1);
    pane->Update(lvl(5, "XYZ", "SUB", 1), true);
    pane->Update(lvl(4, "ABC", "TAG", 2), false);
    pane->Update(lvl(3, "ABC", "TAG", 1), false);
    pane->Update(lvl(2, "ABC", "START"), false);
    pane->Update(lvl(1, "ABC", "START"), false);
    ASSERT_EQ(marks(*xyz, "SUB+1"), 3);
    ASSERT_EQ(marks(*abc, "TAG+2"), 1);

    pane->Update(lvl(3, "ABC", "TAG", 1), true);
    EXPECT_EQ(pane->LevelNumber(), 3);
    EXPECT_EQ(rows().size(), 3);
    EXPECT_EQ(marks(*xyz, "SUB+1"), 0);
    EXPECT_EQ(marks(*abc, "TAG+2"), 0);
    EXPECT_EQ(marks(*abc, "TAG+1"), 3);
    EXPECT_EQ(routines->hiddenKeys(), QStringList{xyz->Key()});
    EXPECT_FALSE(freed(*abc));
    EXPECT_EQ(pane->LevelAtLoc(xyz->LineOfLabel("SUB+1"), "XYZ"), nullptr);
}

TEST_F(StackPaneTest, DocumentStaysWhileAnotherLevelStillShowsIt)
{
    // Opened for level 4; level 5 came to the same routine later.
    abc->setLowWaterMark(4);
    pane->Update(lvl(5, "ABC", "TAG", 3), true);
    pane->Update(lvl(4, "ABC", "TAG", 1), false);
    pane->Update(lvl(4, "XYZ", "SUB"), false);
    EXPECT_FALSE(freed(*abc));
    EXPECT_EQ(marks(*abc, "TAG+3"), 3);
    // Once level 5 goes too, nothing shows it any more.
    pane->Update(lvl(3, "XYZ", "SUB"), true);
    EXPECT_TRUE(freed(*abc));
}

TEST_F(StackPaneTest, HighWaterMarkFallsToTheNextLowerLevelOfTheRoutine)
{
    struct Case { const char *lower; int expected; };
    const Case cases[] = {{"ABC", 2}, {"XYZ", 0}};
    for (const Case &c : cases) {
        pane->ResetStack();
        abc->setLowWaterMark(1);
        pane->Update(lvl(5, "ABC", "TAG", 3), true);
        pane->Update(lvl(4, "XYZ", "SUB"), false);
        pane->Update(lvl(3, "XYZ", "SUB"), false);
        pane->Update(lvl(2, c.lower, c.lower == QLatin1String("ABC") ? "START" : "SUB"), false);
        pane->Update(lvl(1, "XYZ", "SUB", 1), false);
        ASSERT_EQ(abc->HighWaterMark(), 5);
        pane->Update(lvl(5, "XYZ", "SUB", 2), false);
        EXPECT_EQ(abc->HighWaterMark(), c.expected) << c.lower;
        EXPECT_FALSE(freed(*abc));
    }
}

TEST_F(StackPaneTest, LevelWithoutPlaceClearsAndReleasesTheOldRecord)
{
    abc->setLowWaterMark(2);
    pane->Update(lvl(2, "ABC", "TAG", 1), true);
    pane->Update(lvl(1, "XYZ", "SUB"), false);
    const int line = abc->LineOfLabel("TAG+1");
    ASSERT_EQ(abc->GetLineFlags(line) & 3, 3);

    pane->Update(lvl(2, ""), false);
    EXPECT_EQ(abc->GetLineFlags(line) & 3, 0);
    EXPECT_TRUE(freed(*abc));
    EXPECT_EQ(rows().at(1), "2||");
    EXPECT_EQ(pane->LevelAtLoc(line, "ABC"), nullptr);
    EXPECT_FALSE(pane->IsInStack("ABC", "USER"));
    EXPECT_TRUE(pane->IsInStack("XYZ", "USER"));
    EXPECT_FALSE(pane->IsInStack("XYZ", "OTHER"));
    EXPECT_FALSE(pane->IsInStack("", ""));
}

TEST_F(StackPaneTest, TwoLevelsOnOneLineShareTheMarkOfTheLastOne)
{
    const int line = abc->LineOfLabel("TAG+1");
    pane->Update(lvl(2, "ABC", "TAG", 1), false);
    const StackLevelPtr three = lvl(3, "ABC", "TAG", 1);
    pane->Update(three, true);
    EXPECT_EQ(pane->LevelAtLoc(line, "ABC"), three);

    // Level 2 moves away: level 3 still stands there.
    pane->Update(lvl(2, "ABC", "START"), false);
    EXPECT_EQ(abc->GetLineFlags(line) & 3, 3);
    EXPECT_EQ(pane->LevelAtLoc(line, "ABC"), three);
    // The owner moves away: the mark goes.
    const StackLevelPtr moved = lvl(3, "ABC", "TAG", 2);
    pane->Update(moved, true);
    EXPECT_EQ(abc->GetLineFlags(line) & 3, 0);
    EXPECT_EQ(pane->LevelAtLoc(line, "ABC"), nullptr);
    EXPECT_EQ(pane->LevelAtLoc(line + 1, "ABC"), moved);
}

TEST_F(StackPaneTest, LocationOfARemovedLevelNamesNoLevel)
{
    pane->Update(lvl(5, "XYZ", "SUB", 1), true);
    const int line = xyz->LineOfLabel("SUB+1");
    // The document goes while the level still stands in it: its mark cannot be cleared.
    routines->Remove(xyz->Key(), false, true);
    pane->Update(lvl(3, "ABC", "TAG"), true);
    EXPECT_EQ(pane->LevelAtLoc(line, "XYZ"), nullptr);
    pane->Update(lvl(5, "ABC", "START"), false);
    EXPECT_EQ(pane->LevelAtLoc(line, "XYZ"), nullptr);
}

TEST_F(StackPaneTest, CurrentLineMarkerFollowsTheTopLevelOnly)
{
    pane->ClearCurrentLineMarker();
    pane->SetCurrentLineMarker();
    pane->Update(lvl(2, "ABC", "TAG", 2), true);
    pane->Update(lvl(1, "ABC", "TAG", 1), false);

    pane->ClearCurrentLineMarker();
    EXPECT_EQ(marks(*abc, "TAG+2"), 1);
    EXPECT_EQ(marks(*abc, "TAG+1"), 1);
    pane->SetCurrentLineMarker();
    EXPECT_EQ(marks(*abc, "TAG+2"), 3);
    EXPECT_EQ(marks(*abc, "TAG+1"), 1);
}

TEST_F(StackPaneTest, CommandOfTheLevel)
{
    struct Case { int charPos; int pos2cmdCalls; int command; };
    const Case cases[] = {{5, 1, 5}, {0, 0, 0}, {-2, 0, 2}};
    for (const Case &c : cases) {
        pane->ResetStack();
        engine->clearCalls();
        const StackLevelPtr level = lvl(1, "ABC", "TAG", 1, c.charPos);
        pane->Update(level, false);
        EXPECT_EQ(int(engine->callsTo("Pos2Cmd^PARSE").size()), c.pos2cmdCalls) << c.charPos;
        const auto ranges = engine->callsTo("Cmd2Rng^PARSE");
        ASSERT_EQ(ranges.size(), 1u) << c.charPos;
        EXPECT_EQ(ranges[0].args.value(1).toInt(), c.command) << c.charPos;
        EXPECT_EQ(level->StartCol, c.command + 1) << c.charPos;
        EXPECT_EQ(level->EndCol, c.command + 3) << c.charPos;
    }
}

TEST_F(StackPaneTest, ShowingALevelWhoseDocumentIsNotAtHand)
{
    struct Case { bool hiddenEmpty, busy; const char *call; };
    const Case cases[] = {
        {false, false, "XYZ|USER|0|+1|1|1"},
        {false, true, nullptr},
        {true, false, "XYZ|USER|2|+1|1|1"},
        {true, true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("hidden %1 busy %2").arg(c.hiddenEmpty).arg(c.busy).toStdString());
        pane->ResetStack();
        routines->Remove(QStringLiteral("USER^XYZ^1"), false, true);
        xyz.reset();
        // Reported while the document was closed: no mark, no command columns.
        main.busy = true;
        const StackLevelPtr level = lvl(2, "XYZ", "SUB", 1, -1);
        pane->Update(level, true);
        pane->Update(lvl(1, "ABC", "START"), false);
        ASSERT_EQ(level->StartCol, 0);
        if (c.hiddenEmpty) {
            xyz = open("XYZ", xyzLines());
            xyz->setBrand(QString());
        }
        main.busy = c.busy;
        main.shown.clear();
        // The main window opens a closed routine; a hidden one it leaves as it is, as when
        // the server refuses to send it again.
        main.onShow = [this] {
            if (!xyz)
                xyz = open("XYZ", xyzLines());
            return true;
        };

        pane->ShowLevel(2, false);
        EXPECT_EQ(main.shown, c.call ? QStringList{c.call} : QStringList{});
        if (c.busy) {
            EXPECT_TRUE(!xyz || !win(*xyz)->visible);
            continue;
        }
        ASSERT_TRUE(xyz);
        const int line = xyz->LineOfLabel("SUB+1");
        FakeCodeWindow *w = win(*xyz);
        EXPECT_TRUE(w->visible);
        // Command 1 of the line: columns 2 to 4, never column -1.
        EXPECT_EQ(w->selStartLine, line - 1);
        EXPECT_EQ(w->selStartColumn, 1);
        EXPECT_EQ(w->selEndColumn, 4);
        // The levels in the document now at hand are marked there.
        EXPECT_EQ(xyz->GetLineFlags(line) & 3, 3);
        EXPECT_EQ(pane->LevelAtLoc(line, "XYZ"), level);
        EXPECT_EQ(currentLevel(), 1);
    }
}

TEST_F(StackPaneTest, UnknownLabelLeavesTheCaretAlone)
{
    pane->Update(lvl(1, "ABC", "NOPE", 2), false);
    FakeCodeWindow *w = win(*abc);
    w->setCaret(3, 6);
    pane->ShowLevel(1, false);
    EXPECT_EQ(w->caretLine(), 6);
    EXPECT_EQ(w->caretColumn(), 3);
}

TEST_F(StackPaneTest, UserSelectionShowsTheLevelAndAsksForItsVariables)
{
    pane->resize(300, 400);
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    pane->Update(lvl(3, "ABC", "TAG", 3), true);
    pane->Update(lvl(2, "ABC", "TAG", 1, -1), false);
    pane->Update(lvl(1, "ABC", "START"), false);
    ASSERT_TRUE(selected.isEmpty());
    ASSERT_EQ(currentLevel(), 1);

    QTreeWidget *grid = pane->Stack();
    QTreeWidgetItem *row = grid->topLevelItem(1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(row).center());
    EXPECT_EQ(selected, QList<int>{2});
    FakeCodeWindow *w = win(*abc);
    EXPECT_EQ(w->selStartLine, abc->LineOfLabel("TAG+1") - 1);
    EXPECT_EQ(w->selStartColumn, 1);
    EXPECT_EQ(w->selEndColumn, 4);
}

TEST_F(StackPaneTest, LvlHeaderClickReversesAndKeepsTheSelectedLevel)
{
    pane->resize(300, 400);
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    pane->Update(lvl(3, "ABC", "TAG", 3), true);
    pane->Update(lvl(2, "ABC", "TAG", 1), false);
    pane->Update(lvl(1, "ABC", "START"), false);
    pane->Update(lvl(2, "ABC", "TAG", 1), false);
    ASSERT_EQ(currentLevel(), 2);
    const QStringList first = rows();

    QHeaderView *header = pane->Stack()->header();
    const QPoint lvlHeader(header->sectionViewportPosition(0) + 5, header->height() / 2);
    // Only "Lvl" sorts.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(rows(), first);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lvlHeader);
    EXPECT_EQ(pane->Order(), frmStack::OrderDescending);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(rows().first().section('|', 0, 0), "3");
    EXPECT_EQ(currentLevel(), 2);
    // Levels added while descending fall into place.
    pane->Update(lvl(4, "ABC", "START"), false);
    EXPECT_EQ(rows().first().section('|', 0, 0), "4");
    pane->Update(lvl(3, "ABC", "TAG", 3), true);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lvlHeader);
    EXPECT_EQ(pane->Order(), frmStack::OrderAscending);
    EXPECT_EQ(rows(), first);
    EXPECT_EQ(currentLevel(), 3);
    EXPECT_TRUE(selected.isEmpty());
}

TEST_F(StackPaneTest, ResetClearsEveryMarkAndRow)
{
    pane->Update(lvl(3, "ABC", "TAG", 3), true);
    pane->Update(lvl(2, "XYZ", "SUB", 1), false);
    pane->Update(lvl(1, "ABC", "START"), false);
    pane->ResetStack();
    EXPECT_EQ(marks(*abc, "TAG+3"), 0);
    EXPECT_EQ(marks(*xyz, "SUB+1"), 0);
    EXPECT_EQ(marks(*abc, "START"), 0);
    EXPECT_EQ(pane->LevelNumber(), 0);
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(pane->LevelAtLoc(abc->LineOfLabel("TAG+3"), "ABC"), nullptr);
    EXPECT_TRUE(selected.isEmpty());
}

TEST_F(StackPaneTest, OutOfRangeLevelNumbersAreIgnored)
{
    for (int number : {0, -1, frmStack::MaxLevel + 1})
        pane->Update(lvl(number, "ABC", "TAG"), true);
    pane->Update(nullptr, true);
    EXPECT_EQ(pane->LevelNumber(), 0);
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(StackPaneTest, OrderSetting)
{
    struct Case { QVariant saved; int order; };
    const Case cases[] = {{QVariant(), 3}, {2, 2}, {"2", 2}, {3, 3}, {"abc", 3}, {7, 3}};
    for (const Case &c : cases) {
        frmStack fresh;
        fresh.setRoutines(routines.get());
        fresh.Update(lvl(2, "ABC", "TAG"), false);
        Memento memento;
        if (c.saved.isValid())
            memento.write("Order", c.saved);
        fresh.restoreMemento(memento);
        EXPECT_EQ(fresh.Order(), c.order) << c.saved.toString().toStdString();
        EXPECT_EQ(fresh.Stack()->topLevelItem(0)->text(0), c.order == 3 ? "1" : "2") << c.saved.toString().toStdString();
        EXPECT_EQ(fresh.saveMemento()->read("Order").toInt(), c.order);
        fresh.ResetStack();
    }
}

QStringList columnOrder(const QTreeWidget *grid)
{
    QStringList titles;
    for (int position = 0; position < grid->header()->count(); ++position)
        titles << grid->headerItem()->text(grid->header()->logicalIndex(position));
    return titles;
}

// Every column moves, "Lvl" too; the order, the widths and the sort come back from the
// saved settings, and "Lvl" still reverses the order wherever it stands.
TEST_F(StackPaneTest, EveryColumnMovesByItsHeaderAndTheOrderIsSaved)
{
    struct Drag { const char *what; int column; int onto; bool leftHalf; QStringList order; };
    const Drag drags[] = {
        {"Routine onto the left half of Lvl", 2, 0, true, {"Routine", "Lvl", "Line"}},
        {"Lvl onto the right half of Line", 0, 1, false, {"Line", "Lvl", "Routine"}},
        {"Lvl onto the right half of Routine", 0, 2, false, {"Line", "Routine", "Lvl"}},
        {"Line onto the left half of Lvl", 1, 0, true, {"Line", "Lvl", "Routine"}},
    };
    for (const Drag &d : drags) {
        SCOPED_TRACE(d.what);
        frmStack fresh;
        fresh.setRoutines(routines.get());
        fresh.resize(300, 200);
        fresh.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fresh));
        dragHeader(fresh.Stack()->header(), d.column, d.onto, d.leftHalf);
        EXPECT_EQ(columnOrder(fresh.Stack()), d.order);
    }

    pane->resize(300, 200);
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    pane->Update(lvl(2, "ABC", "TAG", 3), true);
    pane->Update(lvl(1, "ABC", "START"), false);
    QHeaderView *header = pane->Stack()->header();
    dragHeader(header, 2, 0, true);
    ASSERT_EQ(columnOrder(pane->Stack()), QStringList({"Routine", "Lvl", "Line"}));
    const auto clickLvl = [](QHeaderView *h) {
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(0) + h->sectionSize(0) / 2, h->height() / 2));
    };
    clickLvl(header);
    EXPECT_EQ(pane->Order(), frmStack::OrderDescending);
    EXPECT_EQ(rows().first().section('|', 0, 0), "2");
    header->resizeSection(2, 77);   // "Routine", now the first column
    const MementoPtr saved = pane->saveMemento();

    frmStack restored;
    restored.setRoutines(routines.get());
    restored.resize(300, 200);
    restored.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&restored));
    restored.restoreMemento(*saved);
    EXPECT_EQ(columnOrder(restored.Stack()), QStringList({"Routine", "Lvl", "Line"}));
    EXPECT_EQ(restored.Stack()->header()->sectionSize(2), 77);
    EXPECT_EQ(restored.Order(), frmStack::OrderDescending);
    restored.Update(lvl(2, "ABC", "TAG", 3), false);
    clickLvl(restored.Stack()->header());
    EXPECT_EQ(restored.Order(), frmStack::OrderAscending);
    EXPECT_EQ(restored.Stack()->topLevelItem(0)->text(0), "1");
    restored.ResetStack();
}

} // namespace
