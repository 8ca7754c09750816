// The code window's editor events: the Enter carry-over, edits that move lines, the
// caret-line flag, clicks in the margin and the text, keys and run to cursor.

#include "codewindowfixture.h"

#include "codestatusbar.h"
#include "codestatuspanel.h"
#include "entercarryover.h"
#include "linedata.h"
#include "routine.h"

#include <QTest>

namespace {

// Header, five command lines, a comment line and a quit; breakpoints go on lines 2 and 6.
const QStringList kLines = {"ABC\t; header", "\tS X=1", "\tS X=2", "\tS X=3",
                            "\tS X=4", "\tS X=5", "\t; just a comment", "\tQ"};

std::vector<int> lines(const std::map<int, QStringList> &index)
{
    std::vector<int> out;
    for (const auto &entry : index)
        out.push_back(entry.first);
    return out;
}

} // namespace

TEST(EnterCarryOver, PlansTheBreakAndThePrefix)
{
    struct Case
    {
        const char *name;
        QString line;
        int caret;
        int start, end;
        QString lineBreak, prefix;
    } cases[] = {
        {"after a command in a dotted line", "LBL\t. . S X=1", 9, 9, 10, "\r\n\t", ". . "},
        {"inside the label", "LBL\t. . S X=1", 2, 2, 2, "\r\n", ""},
        {"just after the line-start tab", "\t. S", 1, 1, 1, "\r\n\t", ""},
        {"a line without a tab", "NOTAB", 3, 3, 3, "\r\n", ""},
        {"before a second tab", "L\tS X=1\tW 1", 7, 7, 7, "\r\n", "" },
        {"blanks on both sides swallowed", "\t. S X=1  W 2", 9, 8, 10, "\r\n\t", ". "},
        {"at the end of the line", "\tS X=1", 6, 6, 6, "\r\n\t", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EnterCarryOver::Plan plan = EnterCarryOver::plan(c.line, c.caret);
        EXPECT_EQ(plan.replaceStart, c.start);
        EXPECT_EQ(plan.replaceEnd, c.end);
        EXPECT_EQ(plan.lineBreak, c.lineBreak);
        EXPECT_EQ(plan.prefix, c.prefix);
    }
}

TEST_F(CodeWindowTest, EnterCarriesTheDotLevelOverAsOneUndoStep)
{
    auto r = open({"LBL\t. . S X=1", "\tQ"});
    frmCode *w = window(*r);
    SourceView *view = w->SourceView1();
    view->setFocus();
    view->SetCaret(9, 0);
    const int steps = r->document()->UndoStepCount();
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(r->document()->Text(), "LBL\t. . S\r\n\t. . X=1\r\n\tQ");
    EXPECT_EQ(view->CaretLine(), 1);
    EXPECT_EQ(view->CaretColumn(), 5);
    EXPECT_EQ(r->document()->UndoStepCount(), steps + 1);
    r->document()->Undo();
    EXPECT_EQ(r->document()->Text(), "LBL\t. . S X=1\r\n\tQ");
}

TEST_F(CodeWindowTest, EnterInAReadOnlyDocumentIsLeftToTheControl)
{
    auto r = open({"LBL\t. . S X=1"});
    window(*r)->setReadOnly(true);
    SourceView *view = window(*r)->SourceView1();
    view->SetCaret(9, 0);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(r->document()->Text(), "LBL\t. . S X=1");
}

// Breakpoints sit on lines 2 and 6; each edit moves them as the routine's line mapping says.
TEST_F(CodeWindowTest, EditsThatMoveLinesKeepBreakpointsAndLexerInStep)
{
    struct Case
    {
        const char *name;
        std::function<void(SourceDocument *)> edit;
        std::vector<int> breakpointLines;
    } cases[] = {
        {"two lines pasted at a line start", [](SourceDocument *d) { d->Insert(0, 2, "a\r\nb\r\n"); }, {2, 8}},
        {"a line break pasted mid-line", [](SourceDocument *d) { d->Insert(5, 2, "x\r\ny"); }, {2, 7}},
        {"whole lines deleted", [](SourceDocument *d) { d->Delete(0, 2, 0, 4); }, {2, 4}},
        {"a deletion joining lines", [](SourceDocument *d) { d->Delete(4, 2, 2, 4); }, {2, 4}},
        {"typing within a line", [](SourceDocument *d) { d->Insert(1, 1, "Z"); }, {2, 6}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pane->rows = {enabledBreakpoint("ABC+1", "ABC"), enabledBreakpoint("ABC+5", "ABC")};
        auto r = open(kLines);
        ASSERT_EQ(lines(breakpointIndex(*r)), (std::vector<int>{2, 6}));
        c.edit(r->document());
        EXPECT_EQ(lines(breakpointIndex(*r)), c.breakpointLines);
        EXPECT_EQ(r->lexer()->codeLineCount(), r->document()->NumLines());
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeWindowTest, CaretLineCarriesTheCaretFlagAndThePosition)
{
    auto r = open(kLines);
    frmCode *w = window(*r);
    SourceView *view = w->SourceView1();
    view->SetCaret(0, 3);
    view->SetCaret(2, 7);
    EXPECT_FALSE(r->GetLineFlags(4) & LineData::kCaretLine);
    EXPECT_TRUE(r->GetLineFlags(8) & LineData::kCaretLine);
    EXPECT_EQ(w->sbrStatus()->panel("Pos")->panelText(), "Line ABC+7 (8) Char 3 ");

    // The last line beyond its end is pulled back to its end.
    int column = 40, line = 7;
    emit view->CaretMove(column, line);
    EXPECT_EQ(column, 2);

    // A read-only document carries no caret flag.
    w->setReadOnly(true);
    view->SetCaret(0, 1);
    EXPECT_FALSE(r->GetLineFlags(2) & LineData::kCaretLine);
}

TEST_F(CodeWindowTest, CaretOnABreakpointLineShowsItInThePane)
{
    pane->rows = {enabledBreakpoint("ABC+5", "ABC")};
    auto r = open(kLines);
    window(*r)->SourceView1()->SetCaret(1, 5);
    EXPECT_EQ(pane->shown, QStringList{"USER^ABC^ABC+5"});
}

TEST_F(CodeWindowTest, MarginClickTogglesABreakpointOnlyOnACommandLine)
{
    auto r = open(kLines);
    SourceView *view = window(*r)->SourceView1();
    for (int line : {2, 6}) {   // 0-based: a command line, then the comment line
        int button = 1, shift = 0, x = 1, y = cell(view, 0, line).y();
        emit view->MouseDown(button, shift, x, y);
        emit view->Click();
    }
    EXPECT_EQ(link.log, QStringList{"S:BP|+|ABC+2|ABC|1|1|0|"});
    EXPECT_TRUE(r->GetLineFlags(3) & LineData::kBreakpoint);
    EXPECT_FALSE(r->GetLineFlags(7) & LineData::kBreakpoint);
}

TEST_F(CodeWindowTest, LineSelectionStripSelectsAndExtendsWholeLines)
{
    auto r = open(kLines);
    SourceView *view = window(*r)->SourceView1();
    const int stripX = (view->MarginWidth() - 1) * view->CharWidth() - 1;
    struct Case
    {
        const char *name;
        int startLine, endLine;   // the selection before (caret at the end); -1 none
        int shift, clickedLine;
        int c1, l1, c2, l2;
    } cases[] = {
        {"no key: the line alone", -1, -1, 0, 4, 0, 4, 0, 5},
        {"shift below the start moves the end", 2, 3, 1, 5, 0, 2, 0, 6},
        {"shift above the start moves the start", 3, 4, 1, 1, 0, 1, 2, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.startLine >= 0)
            view->SetSelection(0, c.startLine, 2, c.endLine);
        else
            view->SetCaret(0, 0);
        int button = 1, shift = c.shift, x = stripX, y = cell(view, 0, c.clickedLine).y();
        emit view->MouseDown(button, shift, x, y);
        emit view->Click();
        int c1, l1, c2, l2;
        view->GetSelection(c1, l1, c2, l2);
        EXPECT_EQ(std::vector<int>({c1, l1, c2, l2}), std::vector<int>({c.c1, c.l1, c.c2, c.l2}));
    }
}

TEST_F(CodeWindowTest, RightClickKeepsTheSelectionOnlyInsideIt)
{
    auto r = open(kLines);
    SourceView *view = window(*r)->SourceView1();
    struct Case
    {
        const char *name;
        int column, line;
        bool kept;
    } cases[] = {
        {"inside", 3, 2, true},
        {"at the start column", 1, 2, true},
        {"exactly at the end column", 4, 3, false},
        {"before the start", 0, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view->SetSelection(1, 2, 4, 3);
        const QPoint p = cell(view, c.column, c.line);
        int button = 2, shift = 0, x = p.x() - 2, y = p.y();
        emit view->MouseDown(button, shift, x, y);
        EXPECT_EQ(view->HasSelection(), c.kept);
        if (!c.kept) {
            EXPECT_EQ(view->CaretLine(), c.line);
            EXPECT_EQ(view->CaretColumn(), c.column);
        }
    }
}

TEST_F(CodeWindowTest, KeysSwitchWindowsAndF12WithoutATargetBeeps)
{
    auto r = open(kLines);
    SourceView *view = window(*r)->SourceView1();
    view->setFocus();
    view->SetCaret(1, 1);
    QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(main.switches, (QStringList{"next", "previous", "next"}));
    EXPECT_EQ(r->TextOfLine(2), "\tS X=1");

    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(r->TextOfLine(2), "\t\tS X=1");

    QTest::keyClick(view, Qt::Key_F12);
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(main.tags.isEmpty());

    QTest::keyClick(view, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(main.commands, (QStringList{"EdPaste", "BlkCollapse"}));
}

TEST_F(CodeWindowTest, F12JumpsToTheCalledLabel)
{
    engine->on("Pos2Tip^PARSE", QString("$$SUB^XYZ") + QChar(0) + "k1");
    auto r = open(kLines);
    SourceView *view = window(*r)->SourceView1();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F12);
    EXPECT_EQ(main.tags, QStringList{"SUB^XYZ^USER|1|0"});
    EXPECT_EQ(beeps, 0);
}

TEST_F(CodeWindowTest, RunToCursor)
{
    struct Case
    {
        const char *name;
        int caretLine;   // 0-based
        std::optional<IUserPrompt::Answer> answer;
        QStringList boxes;
        QStringList sent;
    } cases[] = {
        {"on a command", 4, {}, {}, {"S:GO|+5|ABC"}},
        {"on a comment, to the next command", 6, IUserPrompt::Answer::Yes,
         {"Line contains no executable command. Run to next suitable line?"}, {"S:GO|+8|ABC"}},
        {"on a comment, declined", 6, IUserPrompt::Answer::No,
         {"Line contains no executable command. Run to next suitable line?"}, {}},
        {"the last line without a command", 8, {}, {"Line contains no executable command."}, {}},
        {"no command below", 7, IUserPrompt::Answer::Yes,
         {"Line contains no executable command. Run to next suitable line?", "No suitable line located."}, {}},
    };
    QStringList text = kLines;
    text << "\t; the end";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto r = open(c.caretLine == 7 ? QStringList(text.mid(0, 6)) << "\t; a" << "\t; b" << "\t; c" : text);
        prompt->asked.clear();
        main.states.clear();
        main.statusTexts.clear();
        if (c.answer)
            prompt->answers.push_back(*c.answer);
        window(*r)->SourceView1()->SetCaret(0, c.caretLine);
        link.log.clear();
        window(*r)->RunToCursor();
        QStringList boxes;
        for (const auto &q : prompt->asked) {
            boxes << q.text;
            EXPECT_TRUE(q.title.isEmpty());
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(link.log, c.sent);
        // Two empty lists of int would meet in memcmp with null data pointers.
        if (c.sent.isEmpty())
            EXPECT_TRUE(main.states.isEmpty());
        else
            EXPECT_EQ(main.states, QList<int>{-4});
        EXPECT_EQ(main.statusTexts, c.sent.isEmpty() ? QStringList{} : QStringList{"Running to cursor"});
        routines->Remove(r->Key(), false, true);
    }
}

// A GT.M routine arrives with blanks where its lines' labels end; the window shows TABs
// there from the start, with nothing to undo and nothing modified, and a save sends the
// TABs. A line that starts with a character no label starts with keeps its blank.
TEST_F(CodeWindowTest, ABlankEndingALabelIsATabFromTheStartWithNothingToUndo)
{
    link.brand = QStringLiteral("GTM");
    auto r = open({"EN ; entry", " S X=1", "", "SUB(A,B) Q A", "\tW !", "X;note", "; a b",
                   "$ZT Q", "TAG(A B) Q"},
                  QStringLiteral("GT"));
    SourceDocument *doc = r->document();
    const QString converted = QStringLiteral(
        "EN\t; entry\r\n\tS X=1\r\n\r\nSUB(A,B)\tQ A\r\n\tW !\r\nX;note\r\n; a b\r\n$ZT Q\r\n"
        "TAG(A\tB) Q");
    EXPECT_EQ(doc->Text(), converted);
    EXPECT_FALSE(doc->Modified());
    EXPECT_FALSE(doc->CanUndo());
    EXPECT_EQ(r->Labels().line(QStringLiteral("SUB")), 4);

    // The user's first edit is the only step there is to undo.
    SourceView *view = window(*r)->SourceView1();
    view->setFocus();
    view->SetCaret(6, 1);
    QTest::keyClicks(view, QStringLiteral("2"));
    EXPECT_EQ(doc->GetLine(1), QStringLiteral("\tS X=12"));
    EXPECT_TRUE(doc->Modified());
    EXPECT_EQ(doc->UndoStepCount(), 1);
    doc->Undo();
    EXPECT_EQ(doc->Text(), converted);
    EXPECT_FALSE(doc->CanUndo());

    link.replies.push_back({QStringLiteral("SIP"), QString(), QString(), converted});
    EXPECT_TRUE(r->SaveDoc());
    ASSERT_FALSE(link.log.isEmpty());
    EXPECT_EQ(link.log.first(), QStringLiteral("T:SIP|1|GT|USER|") + converted);
}

// Lines below the window are parsed in the background without taking their colours then;
// the user who goes down to them finds them coloured.
TEST_F(CodeWindowTest, LinesParsedBelowTheWindowAreColouredWhenTheUserGoesThere)
{
    QStringList lines{QStringLiteral("ABC\t; header")};
    for (int i = 1; i < 400; ++i)
        lines << QStringLiteral("\tS X%1=%1 W X%1").arg(i);
    auto r = open(lines);
    frmCode *w = window(*r);
    w->finishParse();
    SourceDocument *doc = r->document();
    EXPECT_TRUE(doc->coloursValid(1));
    EXPECT_FALSE(doc->coloursValid(399));

    SourceView *view = w->SourceView1();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::processEvents();
    ASSERT_GE(view->LastVisibleLine(), 399);
    EXPECT_TRUE(doc->coloursValid(399));
}
