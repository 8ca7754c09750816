// The caret's rules, driven by real key events: every move raises CaretMove,
// and the caret never rests on a line a collapsed block hides, so what is
// typed next is never invisible. Keys go in back to back, with no paint in
// between, as a user types faster than the control repaints.
#include "linedata.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct CaretLog
{
    explicit CaretLog(SourceView &v)
    {
        QObject::connect(&v, &SourceView::CaretMove,
                         [this](int &column, int &line) { moves.emplace_back(column, line); });
    }
    std::vector<std::pair<int, int>> moves;
};

// A shown view over text whose line depths (slot 1) come from depths; header
// starts a block that is collapsed.
struct FoldedView
{
    FoldedView(const char *text, const std::vector<int> &depths, int header)
    {
        view.resize(400, 200);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        SourceDocument &doc = *view.Document();
        doc.InsertImpl(0, 0, text);
        for (int i = 0; i < int(depths.size()); ++i) {
            doc.SetLineData(i, LineData::kFlagSlot,
                            (depths[size_t(i)] << LineData::kDepthShift)
                                | (i == header ? LineData::kBlockStart : 0));
        }
        view.Settings()->SetDocOptions(view.Settings()->DocOptions() | EditorSettings::kCollapsing);
        view.SetCaret(0, header);
        view.CollapseBlock();
        view.prepareVisibleLines();
    }
    SourceView view;
};

void key(SourceView &v, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QTest::keyClick(&v, k, m);
}

} // namespace

TEST(SourceViewCaret, AnEditNeverLeavesTheCaretOnAHiddenLine)
{
    struct Case
    {
        const char *name;
        const char *text;
        std::vector<int> depths;   // line 0 starts the collapsed block
        int column, line;          // caret before the key
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int endColumn, endLine;    // where the caret rests: the block opened round it
    };
    const std::vector<Case> cases = {
        {"Ctrl+Backspace at the start of the line below the block joins it into the block",
         "head\n. a\n. b\ntail\nend", {0, 1, 1, 0, 0}, 0, 3, Qt::Key_Backspace,
         Qt::ControlModifier, 3, 2},
        {"Backspace at the start of the line below the block does the same",
         "head\n. a\n. b\ntail\nend", {0, 1, 1, 0, 0}, 0, 3, Qt::Key_Backspace, Qt::NoModifier,
         3, 2},
        // The empty line ends the block; its line end deleted, the deeper line
        // below takes its place and the block runs on over the caret's line.
        {"Delete on the line ending the block joins the caret's line into it",
         "head\n. a\n\n. c\nend", {0, 1, 0, 1, 0}, 0, 2, Qt::Key_Delete, Qt::NoModifier, 0, 2},
        {"Ctrl+Delete there does the same", "head\n. a\n\n. c\nend", {0, 1, 0, 1, 0}, 0, 2,
         Qt::Key_Delete, Qt::ControlModifier, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FoldedView folded(c.text, c.depths, 0);
        SourceView &v = folded.view;
        SourceDocument &doc = *v.Document();
        ASSERT_TRUE(doc.isLineHidden(1));
        v.SetCaret(c.column, c.line);
        CaretLog log(v);

        const std::pair<int, int> before(v.CaretColumn(), v.CaretLine());
        key(v, c.key, c.modifiers);
        EXPECT_EQ(v.CaretColumn(), c.endColumn);
        EXPECT_EQ(v.CaretLine(), c.endLine);
        EXPECT_FALSE(doc.isLineHidden(v.CaretLine()));
        if (std::make_pair(v.CaretColumn(), v.CaretLine()) != before) {
            ASSERT_FALSE(log.moves.empty());
            EXPECT_EQ(log.moves.back(), std::make_pair(v.CaretColumn(), v.CaretLine()));
        }

        // The next character goes where the user can see it.
        QTest::keyClick(&v, 'X');
        v.prepareVisibleLines();
        int typedLine = -1;
        for (int l = 0; l < doc.NumLines(); ++l) {
            if (doc.GetLine(l).contains('X'))
                typedLine = l;
        }
        ASSERT_GE(typedLine, 0);
        EXPECT_FALSE(doc.isLineHidden(typedLine)) << typedLine;
        EXPECT_FALSE(doc.isLineHidden(v.CaretLine())) << v.CaretLine();
    }
}

// Qt may also report a caret that went and came back (Ctrl+Delete): what is
// raised last is always where the caret is.
TEST(SourceViewCaret, EveryMoveRaisesCaretMove)
{
    struct Case
    {
        const char *name;
        int c1, l1, c2, l2;   // selection before (anchor, caret)
        std::function<void(SourceView &)> act;
    };
    const auto clickAt = [](SourceView &v, int column, int line) {
        int x = 0, y = 0;
        v.DocToDevice(column, line, x, y);
        QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x - v.MarginWidth() * v.CharWidth() + 1, y + 2));
    };
    const std::vector<Case> cases = {
        {"Ctrl+Backspace in a word", 6, 1, 6, 1,
         [](SourceView &v) { key(v, Qt::Key_Backspace, Qt::ControlModifier); }},
        {"Ctrl+Backspace at a line start", 0, 1, 0, 1,
         [](SourceView &v) { key(v, Qt::Key_Backspace, Qt::ControlModifier); }},
        {"Ctrl+A", 1, 1, 1, 1, [](SourceView &v) { key(v, Qt::Key_A, Qt::ControlModifier); }},
        {"Ctrl+Delete", 4, 0, 4, 0,
         [](SourceView &v) { key(v, Qt::Key_Delete, Qt::ControlModifier); }},
        {"Delete", 1, 0, 1, 0, [](SourceView &v) { key(v, Qt::Key_Delete); }},
        {"Backspace", 1, 0, 1, 0, [](SourceView &v) { key(v, Qt::Key_Backspace); }},
        {"typing", 1, 0, 1, 0, [](SourceView &v) { QTest::keyClick(&v, 'q'); }},
        {"Enter", 2, 1, 2, 1, [](SourceView &v) { key(v, Qt::Key_Return); }},
        {"End", 0, 2, 0, 2, [](SourceView &v) { key(v, Qt::Key_End); }},
        {"Shift+Home", 3, 1, 3, 1, [](SourceView &v) { key(v, Qt::Key_Home, Qt::ShiftModifier); }},
        {"Backspace over a backward selection", 4, 1, 1, 1,
         [](SourceView &v) { key(v, Qt::Key_Backspace); }},
        {"Ctrl+X over a forward selection", 1, 0, 4, 0,
         [](SourceView &v) { key(v, Qt::Key_X, Qt::ControlModifier); }},
        {"Ctrl+V", 0, 2, 0, 2, [](SourceView &v) {
             QApplication::clipboard()->setText("p\nq");
             key(v, Qt::Key_V, Qt::ControlModifier);
         }},
        {"Ctrl+Z", 1, 0, 1, 0, [](SourceView &v) { key(v, Qt::Key_Z, Qt::ControlModifier); }},
        {"delete command over a forward selection", 0, 1, 3, 1,
         [](SourceView &v) { v.ExecuteCommand(SourceView::CmdDelete); }},
        {"Replace All before the caret", 5, 2, 5, 2,
         [](SourceView &v) { v.replaceAll("m", "MM", true, false); }},
        {"a click", 0, 0, 0, 0, [&](SourceView &v) { clickAt(v, 2, 1); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceView v;
        v.resize(400, 200);
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        v.Document()->InsertImpl(0, 0, "abc def\nghi jkl\nmno");
        v.SetCaret(0, 2);
        QTest::keyClicks(&v, "z");   // an undo step for Ctrl+Z
        v.SetSelection(c.c1, c.l1, c.c2, c.l2);
        const std::pair<int, int> before(v.CaretColumn(), v.CaretLine());
        CaretLog log(v);

        c.act(v);
        const std::pair<int, int> after(v.CaretColumn(), v.CaretLine());
        if (after != before) {
            ASSERT_FALSE(log.moves.empty());
        }
        if (!log.moves.empty()) {
            EXPECT_EQ(log.moves.back(), after);
        }
    }
}

TEST(SourceViewCaret, SelectAllCoversTheLinesOfACollapsedLastBlock)
{
    struct Case
    {
        const char *name;
        std::function<void(SourceView &)> selectAll;
    };
    const std::vector<Case> cases = {
        {"Ctrl+A of the control", [](SourceView &v) { key(v, Qt::Key_A, Qt::ControlModifier); }},
        {"Ctrl+A as the code window answers it", [](SourceView &v) {
             const auto connection = QObject::connect(&v, &SourceView::KeyPress, [&v](int &ascii) {
                 if (ascii != 1)
                     return;
                 const int last = v.Document()->NumLines() - 1;
                 v.SetSelection(0, 0, v.Document()->GetLineLength(last), last);
                 ascii = 0;
             });
             key(v, Qt::Key_A, Qt::ControlModifier);
             QObject::disconnect(connection);
         }},
        {"whole lines up to past the last one",
         [](SourceView &v) { v.SetSelection(0, 0, 0, v.Document()->NumLines()); }},
    };
    for (const bool cut : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (cut ? ", then Ctrl+X" : ", then Delete"));
            FoldedView folded("x\nhead\n. a\n. b", {0, 0, 1, 1}, 1);
            SourceView &v = folded.view;
            SourceDocument &doc = *v.Document();
            ASSERT_TRUE(doc.isLineHidden(3));
            v.SetCaret(0, 0);
            CaretLog log(v);

            c.selectAll(v);
            EXPECT_EQ(v.textCursor().selectedText(), QString("x\u2029head\u2029. a\u2029. b"));
            EXPECT_FALSE(doc.isLineHidden(v.CaretLine()));
            ASSERT_FALSE(log.moves.empty());
            EXPECT_EQ(log.moves.back(), std::make_pair(v.CaretColumn(), v.CaretLine()));

            if (cut)
                key(v, Qt::Key_X, Qt::ControlModifier);
            else
                key(v, Qt::Key_Delete);
            EXPECT_EQ(doc.Text(), QString());
            if (cut) {
                EXPECT_EQ(QApplication::clipboard()->text(), QString("x\nhead\n. a\n. b"));
            }
        }
    }
}
