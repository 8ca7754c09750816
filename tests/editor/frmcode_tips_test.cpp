// Hover tips, their answers, jump targets and the context menus of the code window.

#include "codewindowfixture.h"

#include "routine.h"
#include "tipholder.h"

#include <QTest>

namespace {

const QStringList kLines = {"ABC\t; header", "\tS X=$$SUB^XYZ(1)", "LBL\tW Y", "\tW Y", "\tQ"};

QString tipReply(const QString &request, const QString &key)
{
    return request + QChar(0) + key;
}

} // namespace

class CodeTipTest : public CodeWindowTest
{
protected:
    // Hovers over the middle of the character cell at (column, line), 0-based.
    void hover(int column, int line)
    {
        SourceView *view = w->SourceView1();
        const QPoint p = cell(view, column, line) + QPoint(view->CharWidth() / 2, 0);
        int button = 0, shift = 0, x = p.x(), y = p.y();
        emit view->MouseMove(button, shift, x, y);
    }
    void openWindow(const QStringList &lines = kLines)
    {
        r = open(lines);
        w = window(*r);
        tip = dynamic_cast<TipHolder *>(w->tipWindow());
        ASSERT_NE(tip, nullptr);
    }
    std::shared_ptr<Routine> r;
    frmCode *w = nullptr;
    TipHolder *tip = nullptr;
};

TEST_F(CodeTipTest, MarginAndBeyondTheLineEndShowTheLinePlace)
{
    openWindow();
    for (int column : {-3, 30}) {   // in the margin, then past "\tW Y"
        tip->SetText("x", "y");
        SourceView *view = w->SourceView1();
        int button = 0, shift = 0, x = column < 0 ? 2 : cell(view, 0, 3).x() + 30 * view->CharWidth(),
            y = cell(view, 0, 3).y();
        emit view->MouseMove(button, shift, x, y);
        EXPECT_EQ(tip->Text(), "Line <b1>LBL+1");
        EXPECT_EQ(tip->TipID(), "");
    }
    EXPECT_TRUE(engine->callsTo("Pos2Tip^PARSE").empty());
}

TEST_F(CodeTipTest, BelowTheLastLineTheTipGoes)
{
    openWindow();
    tip->SetText("x", "y");
    const int moves = tip->moves();
    SourceView *view = w->SourceView1();
    int button = 0, shift = 0, x = cell(view, 1, 4).x(), y = cell(view, 1, 4).y() + 3 * view->CharHeight();
    emit view->MouseMove(button, shift, x, y);
    EXPECT_EQ(tip->Text(), "");
    EXPECT_EQ(tip->moves(), moves);
}

TEST_F(CodeTipTest, RequestsTable)
{
    struct Case
    {
        const char *name;
        QString reply;
        int state;
        bool busy;
        QStringList sent;
        QString text, id;
    } cases[] = {
        {"an expression goes to the server", tipReply("=Y", "V7:4"), 3, false, {"S:TIP|V7:4|Y"}, "Y", "V7:4"},
        {"not while connected with the shell", tipReply("=Y", "V7:4"), 2, false, {}, "", ""},
        {"a description is shown as it is", tipReply("C:WRITE", "C:7"), 3, false, {}, "C:WRITE", "C:7"},
        {"an engine error shows nothing", "ERROR:1 broken", 3, false, {}, "", ""},
        {"busy: the engine is not asked", tipReply("=Y", "V7:4"), 3, true, {}, "", ""},
        {"a closed routine's label goes to the server", tipReply("$$SUB^XYZ", "XTip^PARSE(SUB^XYZ"), 3,
         false, {"S:TIP$|XTip^PARSE(SUB^XYZ|$$GetTEXT^%VantreU(\"SUB\",\"XYZ\",\"USER\")"}, "SUB^XYZ",
         "XTip^PARSE(SUB^XYZ"},
        {"no label: line 1", tipReply("$$^XYZ", "k"), 3, false,
         {"S:TIP$|k|$$GetTEXT^%VantreU(\"+1\",\"XYZ\",\"USER\")"}, "^XYZ", "k"},
        {"quotes in names are doubled", tipReply("$$A\"B^X\"Y", "k"), 3, false,
         {"S:TIP$|k|$$GetTEXT^%VantreU(\"A\"\"B\",\"X\"\"Y\",\"USER\")"}, "A\"B^X\"Y", "k"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        openWindow();
        engine->on("Pos2Tip^PARSE", c.reply);
        engine->clearCalls();
        main.state = c.state;
        main.busy = c.busy;
        hover(8, 1);
        EXPECT_EQ(engine->callsTo("Pos2Tip^PARSE").size(), c.busy ? 0u : 1u);
        EXPECT_EQ(link.log, c.sent);
        EXPECT_EQ(tip->Text(), c.text);
        EXPECT_EQ(tip->TipID(), c.id);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeTipTest, TheSameItemTwiceAsksTheServerOnce)
{
    openWindow();
    engine->on("Pos2Tip^PARSE", tipReply("=Y", "V7:4"));
    hover(8, 1);
    hover(9, 1);
    EXPECT_EQ(link.log, QStringList{"S:TIP|V7:4|Y"});
}

TEST_F(CodeTipTest, ALabelOfAnOpenRoutineIsAnsweredFromItsText)
{
    open({"XYZ\t; other", "SUB\tQ 1"}, "XYZ");
    openWindow();
    engine->on("Pos2Tip^PARSE", tipReply("$$SUB^XYZ", "XTip"));
    hover(8, 1);
    EXPECT_TRUE(link.log.isEmpty());
    EXPECT_EQ(tip->Text(), "SUB Q 1");
    EXPECT_EQ(tip->TipID(), "XTip");
}

TEST_F(CodeTipTest, AnswersAreTakenOnlyForTheAwaitedKeyAndFormattedThroughTheEngineEntry)
{
    openWindow();
    engine->on("Fmt^PARSE", ScriptedEngine::Reply::computed([](const ScriptedEngine::Call &call) {
        return "formatted " + call.text(0) + " " + call.text(1);
    }));
    struct Case
    {
        const char *name;
        QString awaited, answeredKey;
        QString text;
    } cases[] = {
        {"a stale key is dropped", "V1:1", "V2:2", "before"},
        {"a plain key shows the answer", "V1:1", "V1:1", "42"},
        {"a key with ( goes through the entry", "Fmt^PARSE(3", "Fmt^PARSE(3", "formatted 3 42"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tip->SetText("before", c.awaited);
        r->SetTip(c.answeredKey, "42");
        EXPECT_EQ(tip->Text(), c.text);
    }
}

TEST_F(CodeTipTest, JumpTargets)
{
    openWindow();
    struct Case
    {
        QString reply;
        QString target, display;
    } cases[] = {
        {tipReply("$$SUB^XYZ", "k"), "SUB^XYZ^USER", "SUB^XYZ"},
        {tipReply("$$LBL", "k"), "LBL^ABC^USER", "LBL"},
        {tipReply("=Y", "k"), "", ""},
        {"ERROR:3 nothing", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        engine->on("Pos2Tip^PARSE", c.reply);
        QString target = "x", display = "x";
        w->JumpTarget(target, display, 2, 9);
        EXPECT_EQ(target, c.target);
        EXPECT_EQ(display, c.display);
    }
    const auto calls = engine->callsTo("Pos2Tip^PARSE");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().args.value(1).toInt(), 9);
    EXPECT_EQ(calls.back().args.value(0).toInt(), r->document()->GetLineData(1, 2));
}

TEST_F(CodeTipTest, CodeMenuIsPreparedThroughTheMainWindow)
{
    openWindow();
    engine->on("Pos2Tip^PARSE", tipReply("$$SUB^XYZ", "k"));
    main.newest = "LBL+1^ABC^USER";
    SourceView *view = w->SourceView1();
    const QPoint p = cell(view, 2, 1) + QPoint(1, 0);
    w->ShowContextMenu(p.x(), p.y());
    EXPECT_EQ(main.popUps, QStringList{"mnuPopCode|"});
    EXPECT_EQ(main.items["mnuPopCodeGoto"].caption, "&Show Code at 'SUB^XYZ'");
    EXPECT_EQ(main.items["mnuPopCodeGoto"].tag, "SUB^XYZ^USER");
    EXPECT_TRUE(main.items["mnuPopCodeGoEdit"].visible);
    EXPECT_EQ(main.items["mnuPopCodeGoBack"].caption, "Back to Code at 'LBL+1'");
    EXPECT_EQ(main.items["mnuPopCodeGoBack"].tag, "LBL+1^ABC^USER");
    EXPECT_TRUE(main.items["mnuPopCodeSep1"].visible);
    EXPECT_TRUE(main.items["mnuPopCodeBPSet"].visible);
    EXPECT_TRUE(main.items["mnuPopCodeBPSet"].enabled);
    EXPECT_FALSE(main.items["mnuPopCodeBPClr"].visible);
    EXPECT_FALSE(main.items["mnuPopCodeBlkCollapse"].visible);
    EXPECT_EQ(w->contextMenuLine(), 2);
    EXPECT_EQ(w->contextMenuCommand(), 1);
}

TEST_F(CodeTipTest, MarginMenuDefaultsToTheBreakpointItem)
{
    pane->rows = {enabledBreakpoint("LBL", "ABC")};
    openWindow();
    SourceView *view = w->SourceView1();
    for (int line : {2, 0}) {
        w->ShowContextMenu(2, cell(view, 0, line).y());
        EXPECT_EQ(main.items["mnuPopCMgnBP"].enabled, line == 2);
        EXPECT_EQ(main.items["mnuPopCMgnBP"].checked, line == 2);
    }
    EXPECT_EQ(main.popUps, (QStringList{"mnuPopCMgn|mnuPopCMgnBP", "mnuPopCMgn|mnuPopCMgnBP"}));
}

// The menu holds the mouse while it is up: a tip left from hovering the margin would stay
// drawn over it.
TEST_F(CodeTipTest, TheMarginMenuTakesTheTipAway)
{
    openWindow();
    SourceView *view = w->SourceView1();
    const int y = cell(view, 0, 3).y();
    int button = 0, shift = 0, x = 2, my = y;
    emit view->MouseMove(button, shift, x, my);
    ASSERT_EQ(tip->Text(), "Line <b1>LBL+1");
    // Where the user right-clicks in the margin, in the view's own coordinates.
    const QPoint inView = QPoint(2, y) + QPoint(view->frameWidth(), view->frameWidth());
    QWidget *under = view->childAt(inView);
    ASSERT_NE(under, nullptr);
    QTest::mouseClick(under, Qt::RightButton, {}, under->mapFrom(view, inView));
    EXPECT_EQ(main.popUps, QStringList{"mnuPopCMgn|mnuPopCMgnBP"});
    EXPECT_EQ(tip->Text(), "");
}
