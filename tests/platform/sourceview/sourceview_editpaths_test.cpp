// Every way a user edits a real SourceView, one table: the notifications each
// raises, the line data they leave, and the same for the undo and redo of it.
#include "notificationlog.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QMimeData>
#include <QTest>
#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace {

// One change: at (c, l) `removed` gave way to `inserted`.
struct Edit
{
    int c, l;
    QString removed, inserted;
};

// The control's rules for lines and their data, applied to plain vectors.
struct Lines
{
    QStringList text;
    std::vector<int> data;

    void apply(const Edit &e, std::vector<Notification> &out)
    {
        if (!e.removed.isEmpty()) {
            const int breaks = int(e.removed.count('\n'));
            const int l2 = e.l + breaks;
            const int c2 = breaks == 0 ? e.c + int(e.removed.size())
                                       : int(e.removed.size() - e.removed.lastIndexOf('\n') - 1);
            const QString merged = text[e.l].left(e.c) + text[l2].mid(c2);
            if (e.c == 0 && l2 > e.l)
                data[size_t(e.l)] = data[size_t(l2)];
            data.erase(data.begin() + e.l + 1, data.begin() + l2 + 1);
            text.erase(text.begin() + e.l + 1, text.begin() + l2 + 1);
            text[e.l] = merged;
            out.push_back({'D', e.c, e.l, c2, l2});
        }
        if (!e.inserted.isEmpty()) {
            const QStringList pieces = e.inserted.split('\n');
            const int k = int(pieces.size()) - 1;
            const QString before = text[e.l].left(e.c);
            const QString after = text[e.l].mid(e.c);
            QStringList replacement;
            for (int i = 0; i <= k; ++i)
                replacement << (i == 0 ? before : QString()) + pieces[i] + (i == k ? after : QString());
            text.removeAt(e.l);
            for (int i = k; i >= 0; --i)
                text.insert(e.l, replacement[i]);
            data.insert(data.begin() + (e.c == 0 ? e.l : e.l + 1), size_t(k), 0);
            const int c2 = k == 0 ? e.c + int(e.inserted.size()) : int(pieces[k].size());
            out.push_back({'I', e.c, e.l, c2, e.l + k});
        }
    }
};

struct Case
{
    const char *name;
    int c1, l1, c2, l2;   // selection (anchor, caret); the caret alone when equal
    bool overtype;
    std::function<void(SourceView &)> act;
    std::vector<Edit> edits;
};

void key(SourceView &v, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QTest::keyClick(&v, k, m);
}

void paste(SourceView &v, const QString &text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
}

std::vector<int> lineData(SourceDocument &doc)
{
    std::vector<int> out;
    for (int i = 0; i < doc.NumLines(); ++i)
        out.push_back(doc.GetLineData(i, 1));
    return out;
}

QStringList lineTexts(SourceDocument &doc)
{
    QStringList out;
    for (int i = 0; i < doc.NumLines(); ++i)
        out << doc.GetLine(i);
    return out;
}

} // namespace

TEST(SourceViewEditPaths, EachEditKeepsLineDataByTheRuleAndSoDoItsUndoAndRedo)
{
    const std::vector<Case> cases = {
        {"Backspace at a line start joins it to the line above", 0, 1, 0, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Backspace); }, {{3, 0, "\n", ""}}},
        {"Delete at a line end joins the next line", 3, 0, 3, 0, false,
         [](SourceView &v) { key(v, Qt::Key_Delete); }, {{3, 0, "\n", ""}}},
        {"Delete at the last line's end does nothing", 3, 2, 3, 2, false,
         [](SourceView &v) { key(v, Qt::Key_Delete); }, {}},
        {"Enter at column 0 moves the line down with its data", 0, 1, 0, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return); }, {{0, 1, "", "\n"}}},
        {"Enter mid-line", 1, 1, 1, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return); }, {{1, 1, "", "\n"}}},
        {"Enter at a line end", 3, 1, 3, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return); }, {{3, 1, "", "\n"}}},
        {"Shift+Enter is an Enter", 1, 1, 1, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return, Qt::ShiftModifier); }, {{1, 1, "", "\n"}}},
        {"Keypad Enter is an Enter", 1, 1, 1, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Enter, Qt::KeypadModifier); }, {{1, 1, "", "\n"}}},
        {"Ctrl+Enter edits nothing", 1, 1, 1, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return, Qt::ControlModifier); }, {}},
        
        {"Shift+Backspace", 0, 1, 0, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Backspace, Qt::ShiftModifier); }, {{3, 0, "\n", ""}}},
        {"Ctrl+K edits nothing", 1, 1, 1, 1, false,
         [](SourceView &v) { key(v, Qt::Key_K, Qt::ControlModifier); }, {}},
        {"Backspace at the text's start does nothing", 0, 0, 0, 0, false,
         [](SourceView &v) { key(v, Qt::Key_Backspace); }, {}},
        {"Ctrl+A and typing replaces everything", 1, 1, 1, 1, false,
         [](SourceView &v) {
             key(v, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(&v, 'x');
         },
         {{0, 0, "abc\ndef\nghi", "x"}}},
        {"Enter over a selection", 1, 1, 2, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Return); }, {{1, 1, "e", "\n"}}},
        {"Typing over a selection across lines", 1, 0, 2, 1, false,
         [](SourceView &v) { QTest::keyClick(&v, 'x'); }, {{1, 0, "bc\nde", "x"}}},
        {"Typing over a backwards selection of whole lines", 0, 2, 0, 1, false,
         [](SourceView &v) { QTest::keyClick(&v, 'x'); }, {{0, 1, "def\n", "x"}}},
        {"Backspace over a selection of a whole line", 0, 1, 0, 2, false,
         [](SourceView &v) { key(v, Qt::Key_Backspace); }, {{0, 1, "def\n", ""}}},
        {"Overtype mid-line replaces one character", 1, 1, 1, 1, true,
         [](SourceView &v) { QTest::keyClick(&v, 'x'); }, {{1, 1, "e", "x"}}},
        {"Overtype at a line end inserts and keeps the line break", 3, 0, 3, 0, true,
         [](SourceView &v) { QTest::keyClick(&v, 'x'); }, {{3, 0, "", "x"}}},
        {"Enter in overtype splits the line", 1, 1, 1, 1, true,
         [](SourceView &v) { key(v, Qt::Key_Return); }, {{1, 1, "", "\n"}}},
        {"Overtype over a selection replaces the selection", 1, 0, 1, 1, true,
         [](SourceView &v) { QTest::keyClick(&v, 'x'); }, {{1, 0, "bc\nd", "x"}}},
        {"Paste in overtype inserts", 1, 1, 1, 1, true,
         [](SourceView &v) { paste(v, "xy"); }, {{1, 1, "", "xy"}}},
        {"Ctrl+Backspace deletes the word before the caret", 3, 1, 3, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Backspace, Qt::ControlModifier); }, {{0, 1, "def", ""}}},
        {"Ctrl+Delete deletes the word after the caret", 0, 1, 0, 1, false,
         [](SourceView &v) { key(v, Qt::Key_Delete, Qt::ControlModifier); }, {{0, 1, "def", ""}}},
        {"Paste ending with a line break at column 0", 0, 1, 0, 1, false,
         [](SourceView &v) { paste(v, "x\r\n"); }, {{0, 1, "", "x\n"}}},
        {"Paste ending with a line break mid-line", 1, 1, 1, 1, false,
         [](SourceView &v) { paste(v, "x\r\n"); }, {{1, 1, "", "x\n"}}},
        {"Paste over whole lines", 0, 1, 0, 2, false,
         [](SourceView &v) { paste(v, "x\ny\n"); }, {{0, 1, "def\n", "x\ny\n"}}},
        {"Cut of a line break", 3, 0, 0, 1, false,
         [](SourceView &v) { key(v, Qt::Key_X, Qt::ControlModifier); }, {{3, 0, "\n", ""}}},
        {"Replace All with a replacement holding the text", 0, 2, 0, 2, false,
         [](SourceView &v) { EXPECT_EQ(v.replaceAll("E", "ee", false, false), 1); },
         {{1, 1, "e", "ee"}}},
        {"Replace All across line breaks", 0, 0, 0, 0, false,
         [](SourceView &v) { v.replaceAll("e", "E\n", true, false); }, {{1, 1, "e", "E\n"}}},
    };

    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        SourceView v;
        v.resize(400, 200);
        SourceDocument &doc = *v.Document();
        doc.InsertImpl(0, 0, "abc\ndef\nghi");
        for (int i = 0; i < 3; ++i)
            doc.SetLineData(i, 1, 10 * (i + 1));
        v.SetSelection(tc.c1, tc.l1, tc.c2, tc.l2);
        v.SetOvertype(tc.overtype);
        NotificationLog log(doc);

        Lines model{QStringList{"abc", "def", "ghi"}, {10, 20, 30}};
        const Lines before = model;
        std::vector<Notification> expected;
        for (const Edit &e : tc.edits)
            model.apply(e, expected);
        const Lines after = model;

        tc.act(v);
        EXPECT_EQ(log.take(), expected);
        EXPECT_EQ(lineTexts(doc), after.text);
        EXPECT_EQ(lineData(doc), after.data);
        if (tc.edits.empty())
            continue;

        // Undo reverses each edit, last first; what it reinserts starts with zeros.
        expected.clear();
        for (auto it = tc.edits.rbegin(); it != tc.edits.rend(); ++it)
            model.apply({it->c, it->l, it->inserted, it->removed}, expected);
        doc.Undo();
        EXPECT_EQ(log.take(), expected);
        EXPECT_EQ(lineTexts(doc), before.text);
        EXPECT_EQ(lineData(doc), model.data);

        expected.clear();
        for (const Edit &e : tc.edits)
            model.apply(e, expected);
        doc.Redo();
        EXPECT_EQ(log.take(), expected);
        EXPECT_EQ(lineTexts(doc), after.text);
        EXPECT_EQ(lineData(doc), model.data);
    }
}

namespace {

// Drops reach the viewport through Qt's drag machinery; a test hands them in directly.
class DropView : public SourceView
{
public:
    using SourceView::dropEvent;
    using SourceView::insertFromMimeData;
};

} // namespace

TEST(SourceViewEditPaths, ReadOnlyRefusesEveryEditAndKeepsTheCaretMovable)
{
    DropView v;
    v.resize(400, 200);
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    SourceDocument &doc = *v.Document();
    doc.InsertImpl(0, 0, "abc\ndef\nghi");
    v.SetCaret(3, 2);
    QTest::keyClick(&v, 'x');   // an undo step to refuse undoing
    doc.SetReadOnly(true);
    const QString text = doc.Text();
    NotificationLog log(doc);
    QApplication::clipboard()->setText("clip\n");

    struct Attempt
    {
        const char *name;
        std::function<void()> act;
    };
    const std::vector<Attempt> attempts = {
        {"typing", [&] { QTest::keyClick(&v, 'q'); }},
        {"Enter", [&] { QTest::keyClick(&v, Qt::Key_Return); }},
        {"Tab", [&] { QTest::keyClick(&v, Qt::Key_Tab); }},
        {"Backspace", [&] { QTest::keyClick(&v, Qt::Key_Backspace); }},
        {"Delete", [&] { QTest::keyClick(&v, Qt::Key_Delete); }},
        {"Ctrl+Backspace", [&] { QTest::keyClick(&v, Qt::Key_Backspace, Qt::ControlModifier); }},
        {"Ctrl+Delete", [&] { QTest::keyClick(&v, Qt::Key_Delete, Qt::ControlModifier); }},
        {"Ctrl+V", [&] { QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier); }},
        {"Shift+Insert", [&] { QTest::keyClick(&v, Qt::Key_Insert, Qt::ShiftModifier); }},
        {"Ctrl+X", [&] { QTest::keyClick(&v, Qt::Key_X, Qt::ControlModifier); }},
        {"Shift+Delete", [&] { QTest::keyClick(&v, Qt::Key_Delete, Qt::ShiftModifier); }},
        {"Ctrl+Z", [&] { QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier); }},
        {"Ctrl+Y", [&] { QTest::keyClick(&v, Qt::Key_Y, Qt::ControlModifier); }},
        {"delete command", [&] { v.ExecuteCommand(SourceView::CmdDelete); }},
        {"cut command", [&] { v.ExecuteCommand(SourceView::CmdCut); }},
        {"paste command", [&] { v.ExecuteCommand(SourceView::CmdPaste); }},
        {"mime insertion", [&] {
             QMimeData mime;
             mime.setText("m");
             v.insertFromMimeData(&mime);
         }},
        {"drop", [&] {
             QMimeData mime;
             mime.setText("d");
             QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
             v.dropEvent(&drop);
         }},
        {"replace all", [&] { EXPECT_EQ(v.replaceAll("e", "E", false, false), 0); }},
    };
    for (const Attempt &a : attempts) {
        SCOPED_TRACE(a.name);
        // Both with a selection and without one.
        v.SetSelection(1, 0, 2, 1);
        a.act();
        v.SetCaret(1, 1);
        a.act();
        EXPECT_EQ(doc.Text(), text);
        EXPECT_TRUE(log.take().empty());
    }
    EXPECT_EQ(doc.UndoStepCount(), 1);

    // The caret still walks and selects.
    v.SetCaret(0, 0);
    QTest::keyClick(&v, Qt::Key_Down);
    QTest::keyClick(&v, Qt::Key_End);
    EXPECT_EQ(v.CaretLine(), 1);
    EXPECT_EQ(v.CaretColumn(), 3);
    QTest::keyClick(&v, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_TRUE(v.HasSelection());
}

#include "linedata.h"

TEST(SourceViewEditPaths, EditsAroundACollapsedBlockNeverLeaveTheCaretInAHiddenLine)
{
    struct Step
    {
        const char *name;
        int column, line;   // caret before the keys
        std::function<void(SourceView &)> act;
    };
    const std::vector<Step> steps = {
        {"Backspace joins the line below onto a hidden line", 0, 3,
         [](SourceView &v) { key(v, Qt::Key_Backspace); }},
        {"Delete at the header's end joins a hidden line to it", 4, 0,
         [](SourceView &v) { key(v, Qt::Key_Delete); }},
        {"Enter at the header's end", 4, 0, [](SourceView &v) { key(v, Qt::Key_Return); }},
        {"Up from below the block", 2, 3, [](SourceView &v) { key(v, Qt::Key_Up); }},
        {"Shift+Up selects over the block", 2, 3,
         [](SourceView &v) { key(v, Qt::Key_Up, Qt::ShiftModifier); }},
        {"Paste below the block", 0, 3, [](SourceView &v) { paste(v, "x\ny\n"); }},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        SourceView v;
        v.resize(400, 200);
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        SourceDocument &doc = *v.Document();
        doc.InsertImpl(0, 0, "head\n. a\n. b\ntail\nend");
        doc.SetLineData(0, 1, LineData::kBlockStart);
        doc.SetLineData(1, 1, 1 << 20);
        doc.SetLineData(2, 1, 1 << 20);
        v.Settings()->SetDocOptions(v.Settings()->DocOptions() | EditorSettings::kCollapsing);
        v.SetCaret(0, 1);
        v.CollapseBlock();
        ASSERT_TRUE(doc.isLineHidden(1));
        EXPECT_EQ(v.CaretLine(), 0);   // collapsing moved the caret out
        v.SetCaret(s.column, s.line);
        const QString before = doc.Text();
        s.act(v);
        v.prepareVisibleLines();
        EXPECT_FALSE(doc.isLineHidden(v.CaretLine())) << v.CaretLine();
        if (doc.Text() == before)
            continue;
        doc.Undo();
        v.prepareVisibleLines();
        EXPECT_EQ(doc.Text(), before);
        EXPECT_FALSE(doc.isLineHidden(v.CaretLine())) << v.CaretLine();
        doc.Redo();
        v.prepareVisibleLines();
        EXPECT_FALSE(doc.isLineHidden(v.CaretLine())) << v.CaretLine();
    }
}

TEST(SourceViewEditPaths, ABookmarkInACollapsedBlockOpensItWhenTheCaretGoesThere)
{
    SourceView v;
    v.resize(400, 200);
    SourceDocument &doc = *v.Document();
    doc.InsertImpl(0, 0, "head\n. a\n. b\ntail");
    doc.SetLineData(0, 1, LineData::kBlockStart);
    doc.SetLineData(1, 1, 1 << 20);
    doc.SetLineData(2, 1, 1 << 20);
    v.Settings()->SetDocOptions(v.Settings()->DocOptions() | EditorSettings::kCollapsing);
    doc.ToggleBookmark(2);
    doc.ToggleBookmark(3);
    v.SetCaret(0, 3);
    doc.CollapseAll();
    ASSERT_TRUE(doc.isLineHidden(2));
    const int target = doc.PrevBookmark(v.CaretLine());
    EXPECT_EQ(target, 2);   // bookmarks are found in hidden lines too
    v.SetCaret(0, target);
    EXPECT_EQ(v.CaretLine(), 2);
    EXPECT_FALSE(doc.isLineHidden(2));
    EXPECT_EQ(doc.GetLineData(0, 0) & LineData::kBlockCollapsed, 0);
}

TEST(SourceViewEditPaths, ReplaceAllWithALineBreakMissesNoNeighbouringMatch)
{
    SourceView v;
    SourceDocument &doc = *v.Document();
    doc.InsertImpl(0, 0, "ee\ne");
    doc.SetLineData(1, 1, 7);
    EXPECT_EQ(v.replaceAll("e", "x\r\n", true, false), 3);
    EXPECT_EQ(doc.Text(), "x\r\nx\r\n\r\nx\r\n");
    EXPECT_EQ(lineData(doc), (std::vector<int>{0, 0, 0, 0, 7}));
}

TEST(SourceViewEditPaths, TheDialogsSingleReplaceIsOneStepThatUndoesExactly)
{
    SourceView v;
    v.resize(400, 200);
    SourceDocument &doc = *v.Document();
    doc.InsertImpl(0, 0, "abc\ndef\nghi");
    for (int i = 0; i < 3; ++i)
        doc.SetLineData(i, 1, 10 * (i + 1));
    v.SetCaret(0, 0);
    v.Replace();
    auto *dialog = v.findChild<QDialog *>();
    ASSERT_NE(dialog, nullptr);
    const QList<QLineEdit *> edits = dialog->findChildren<QLineEdit *>();
    ASSERT_EQ(edits.size(), 2);
    edits[0]->setText("e");
    edits[1]->setText("E");
    QPushButton *replace = nullptr;
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == "&Replace")
            replace = button;
    }
    ASSERT_NE(replace, nullptr);
    NotificationLog log(doc);
    replace->click();   // finds the first match
    EXPECT_TRUE(log.take().empty());
    replace->click();   // replaces it
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'D', 1, 1, 2, 1}, {'I', 1, 1, 2, 1}}));
    EXPECT_EQ(lineTexts(doc), (QStringList{"abc", "dEf", "ghi"}));
    EXPECT_EQ(lineData(doc), (std::vector<int>{10, 20, 30}));
    doc.Undo();
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'D', 1, 1, 2, 1}, {'I', 1, 1, 2, 1}}));
    EXPECT_EQ(lineTexts(doc), (QStringList{"abc", "def", "ghi"}));
    EXPECT_EQ(lineData(doc), (std::vector<int>{10, 20, 30}));
    dialog->hide();
}

TEST(SourceViewEditPaths, WhileTheDeletionIsReportedTheInsertionHasNotHappened)
{
    SourceView v;
    SourceDocument &doc = *v.Document();
    doc.InsertImpl(0, 0, "abc\ndef\nghi");
    QStringList seen;
    QObject::connect(&doc, &SourceDocument::TextDeleted, &doc, [&](int, int, int, int) {
        seen << QStringLiteral("D %1 %2").arg(doc.NumLines()).arg(doc.GetLine(0));
    });
    QObject::connect(&doc, &SourceDocument::TextInserted, &doc, [&](int, int, int, int) {
        seen << QStringLiteral("I %1 %2").arg(doc.NumLines()).arg(doc.GetLine(0));
    });
    v.SetSelection(1, 0, 2, 1);
    QTest::keyClick(&v, 'x');
    v.SetSelection(0, 0, 1, 0);
    QApplication::clipboard()->setText("p\nq");
    QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(seen, (QStringList{"D 2 af", "I 2 axf", "D 2 xf", "I 3 p"}));
}
