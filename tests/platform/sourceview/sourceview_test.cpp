#include "linedata.h"
#include "notificationlog.h"
#include "sourceview.h"

#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <functional>

namespace {

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1 text").arg(i);
    return lines.join(QLatin1String("\r\n"));
}

struct ShownView
{
    explicit ShownView(const QString &text, int width = 500, int height = 300)
    {
        view.resize(width, height);
        view.Document()->InsertImpl(0, 0, text);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.prepareVisibleLines();
    }
    SourceView view;
};

} // namespace

TEST(SourceViewCoordinates, CharacterCellsBothWays)
{
    ShownView shown(numberedLines(5));
    SourceView &v = shown.view;
    const int cw = v.CharWidth();
    const int ch = v.CharHeight();
    int x = 0, y = 0;
    v.DocToDevice(0, 0, x, y);
    EXPECT_EQ(x, v.MarginWidth() * cw);   // text starts right after the margin
    EXPECT_EQ(y, 0);

    struct Case { int px; int py; int column; int line; };
    const int left = v.MarginWidth() * cw;
    const std::vector<Case> cases = {
        {left + 2 * cw + 1, ch / 2, 2, 0},                  // left half of a cell
        {left + 2 * cw + (3 * cw) / 4, ch / 2, 2, 0},       // right half: still that cell
        {left + 3 * cw + 1, 3 * ch + 1, 3, 3},
        {left + cw / 2, 40 * ch, 0, 4},                      // below the text: last line
        {left + 200 * cw, ch + 1, 11, 1},                    // beyond the line end: its end
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.px << "," << c.py);
        int column = -1, line = -1;
        v.DeviceToDoc(c.px, c.py, column, line);
        EXPECT_EQ(column, c.column);
        EXPECT_EQ(line, c.line);
    }
    for (int line = 0; line < 5; ++line) {
        for (int column : {0, 3, 7}) {
            v.DocToDevice(column, line, x, y);
            int c = -1, l = -1;
            v.DeviceToDoc(x + 1, y + 1, c, l);
            EXPECT_EQ(c, column);
            EXPECT_EQ(l, line);
        }
    }
}

TEST(SourceViewCoordinates, ScrollPositionAndLastVisibleLine)
{
    ShownView shown(numberedLines(200));
    SourceView &v = shown.view;
    const int shownLines = v.viewport()->height() / v.CharHeight();
    EXPECT_NEAR(v.LastVisibleLine(), shownLines, 1);
    v.SetScrollPosition(0, 50);
    int column = -1, line = -1;
    v.GetScrollPosition(column, line);
    EXPECT_EQ(line, 50);
    EXPECT_EQ(v.Document()->LastVisibleLine(), v.LastVisibleLine());
    v.ShowLines(10, 10);
    v.GetScrollPosition(column, line);
    EXPECT_EQ(line, 10);
    v.ShowLines(150, 150);
    EXPECT_GE(v.LastVisibleLine(), 150);
    v.GetScrollPosition(column, line);
    EXPECT_LE(line, 150);
}

namespace {

// The line Qt's own hit test finds in the viewport's last pixel row. A line whose top
// lies within the last pixel still counts as shown, so the answer may be one more.
void expectLastVisibleLineMatchesTheScreen(const SourceView &v)
{
    const int hit = v.cursorForPosition(QPoint(1, v.viewport()->height() - 1)).blockNumber();
    const int last = v.LastVisibleLine();
    EXPECT_GE(last, hit);
    EXPECT_LE(last, hit + 1);
}

} // namespace

TEST(SourceViewCoordinates, LastVisibleLineFollowsEveryChangeOfWhatIsShown)
{
    // Each change moves the bottom of the view by several lines; the lexer asks for the
    // last visible line between any two of them, and an answer from before the change
    // would leave lines on screen unrepainted.
    struct Case
    {
        const char *name;
        bool wrap;
        std::function<void(SourceView &)> change;
    };
    const std::vector<Case> cases = {
        {"scroll a page down", false,
         [](SourceView &v) { v.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd); }},
        {"make the window taller", false, [](SourceView &v) { v.resize(v.width(), v.height() + 120); }},
        {"narrow a wrapping window", true, [](SourceView &v) { v.resize(v.width() / 2, v.height()); }},
        {"collapse a block", false,
         [](SourceView &v) {
             SourceDocument &doc = *v.Document();
             doc.SetLineData(2, LineData::kFlagSlot, LineData::kBlockStart);
             for (int line = 3; line < 12; ++line)
                 doc.SetLineData(line, LineData::kFlagSlot, 1 << LineData::kDepthShift);
             doc.setCollapsingEnabled(true);
             doc.CollapseBlock(2);
         }},
        {"lengthen a wrapped line", true,
         [](SourceView &v) { v.Document()->InsertImpl(0, 1, QString(600, QLatin1Char('w'))); }},
        {"enlarge the font", false,
         [](SourceView &v) {
             QFont font = v.Font();
             font.setPointSize(font.pointSize() * 2);
             v.SetFont(font);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceView v;
        if (c.wrap)
            v.ModifyViewOptions(SourceView::kWrap, 0);
        v.resize(500, 300);
        QStringList lines;   // lines that wrap in half the window's width
        for (int i = 0; i < 300; ++i)
            lines << QStringLiteral("line %1 ").arg(i) + QString(40, QLatin1Char('x'));
        v.Document()->InsertImpl(0, 0, lines.join(QLatin1Char('\r')));
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        v.prepareVisibleLines();
        expectLastVisibleLineMatchesTheScreen(v);
        const int before = v.LastVisibleLine();
        c.change(v);
        v.prepareVisibleLines();
        expectLastVisibleLineMatchesTheScreen(v);
        EXPECT_GE(std::abs(v.LastVisibleLine() - before), 3);
    }
}

TEST(SourceViewKeys, HandlersCancelAndReplaceKeys)
{
    ShownView shown("abc");
    SourceView &v = shown.view;
    v.SetCaret(3, 0);
    QObject::connect(&v, &SourceView::KeyDown, [](int &code, int shift) {
        if (code == 'Q' && shift == 0)
            code = 0;
    });
    QObject::connect(&v, &SourceView::KeyPress, [](int &ascii) {
        if (ascii == 'r')
            ascii = 0;
        else if (ascii == 'u')
            ascii = 'U';
    });
    QTest::keyClicks(&v, "xqruy");
    EXPECT_EQ(v.Document()->GetLine(0), "abcxUy");
}

TEST(SourceViewKeys, ReadOnlyKeepsAMovableCaretAndRefusesTyping)
{
    ShownView shown("abc\r\ndef");
    SourceView &v = shown.view;
    v.Document()->SetReadOnly(true);
    EXPECT_TRUE(v.textInteractionFlags() & Qt::TextSelectableByKeyboard);
    v.SetCaret(0, 0);
    QTest::keyClick(&v, Qt::Key_Right);
    QTest::keyClick(&v, Qt::Key_Down);
    EXPECT_EQ(v.CaretColumn(), 1);
    EXPECT_EQ(v.CaretLine(), 1);
    QTest::keyClicks(&v, "zz");
    QTest::keyClick(&v, Qt::Key_Return);
    QTest::keyClick(&v, Qt::Key_Backspace);
    EXPECT_EQ(v.Document()->Text(), "abc\r\ndef");
    EXPECT_FALSE(v.Document()->Modified());
}

TEST(SourceViewCommands, OvertypeToggleIsCancellable)
{
    ShownView shown("abcdef");
    SourceView &v = shown.view;
    bool cancel = true;
    QObject::connect(&v, &SourceView::BeforeCommand, [&](int &command) {
        if (command == SourceView::CmdToggleOvertype && cancel)
            command = 0;
    });
    v.ExecuteCommand(SourceView::CmdToggleOvertype);
    EXPECT_FALSE(v.Overtype());
    QTest::keyClick(&v, Qt::Key_Insert);
    EXPECT_FALSE(v.Overtype());
    cancel = false;
    QTest::keyClick(&v, Qt::Key_Insert);
    EXPECT_TRUE(v.Overtype());

    NotificationLog log(*v.Document());
    v.SetCaret(2, 0);
    QTest::keyClick(&v, 'X');
    EXPECT_EQ(v.Document()->GetLine(0), "abXdef");
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'D', 2, 0, 3, 0}, {'I', 2, 0, 3, 0}}));
}

TEST(SourceViewUndo, KeysMakeNamedStepsAndAHandlersEditsJoinTheirKey)
{
    ShownView shown("\tS X=1");
    SourceView &v = shown.view;
    SourceDocument *doc = v.Document();
    v.SetCaret(6, 0);
    QTest::keyClicks(&v, "23");        // one Typing step
    QTest::keyClick(&v, Qt::Key_Return);
    // Like the code window's Enter: the handler breaks the line itself and
    // carries the line-start tab over, in two edits.
    QObject::connect(&v, &SourceView::KeyPress, [&](int &ascii) {
        if (ascii != 13)
            return;
        int line = v.CaretLine();
        int same = line;
        doc->InsertOverwrite(v.CaretColumn(), line, v.CaretColumn(), same, "\r\n");
        doc->Insert(0, line + 1, "\t");
        ascii = 0;
    });
    v.SetCaret(3, 0);
    QTest::keyClick(&v, Qt::Key_Return);
    EXPECT_EQ(doc->Text(), "\tS \r\n\tX=123\r\n");
    ASSERT_EQ(doc->UndoStepCount(), 3);
    EXPECT_EQ(doc->UndoStepDescription(0), "Enter");
    EXPECT_EQ(doc->UndoStepDescription(1), "Enter");
    EXPECT_EQ(doc->UndoStepDescription(2), "Typing");
    doc->Undo();
    EXPECT_EQ(doc->Text(), "\tS X=123\r\n");
    v.SetCaret(3, 0);
    QTest::keyClick(&v, Qt::Key_Backspace);
    QTest::keyClick(&v, Qt::Key_Backspace);   // Qt merges the second into the first
    EXPECT_EQ(doc->Text(), "\tX=123\r\n");
    ASSERT_EQ(doc->UndoStepCount(), 3);
    EXPECT_EQ(doc->UndoStepDescription(0), "Delete");
}

TEST(SourceViewCaret, CaretMoveHandlersMayMoveTheCaret)
{
    ShownView shown("abcdef\r\nxy");
    SourceView &v = shown.view;
    v.SetCaret(0, 0);
    QObject::connect(&v, &SourceView::CaretMove, [](int &column, int &line) {
        if (line == 1 && column > 1)
            column = 1;
    });
    v.SetCaret(2, 1);
    EXPECT_EQ(v.CaretColumn(), 1);
    EXPECT_EQ(v.CaretLine(), 1);
}

TEST(SourceViewBlocks, CollapsingHidesTheBodyAndKeepsTheCaretOut)
{
    ShownView shown("head\r\n. a\r\n. b\r\ntail\r\nend");
    SourceView &v = shown.view;
    SourceDocument *doc = v.Document();
    doc->SetLineData(0, 1, LineData::kBlockStart);
    doc->SetLineData(1, 1, 1 << 20);
    doc->SetLineData(2, 1, 1 << 20);
    v.Settings()->SetDocOptions(v.Settings()->DocOptions() | EditorSettings::kCollapsing);
    v.SetCaret(1, 2);
    v.CollapseBlock();
    EXPECT_EQ(doc->GetLineData(0, 0) & (LineData::kBlockHeader | LineData::kBlockCollapsed),
              LineData::kBlockHeader | LineData::kBlockCollapsed);
    EXPECT_TRUE(doc->isLineHidden(1));
    EXPECT_TRUE(doc->isLineHidden(2));
    EXPECT_EQ(v.CaretLine(), 0);
    // Walking down steps over the hidden lines.
    QTest::keyClick(&v, Qt::Key_Down);
    EXPECT_EQ(v.CaretLine(), 3);
    QTest::keyClick(&v, Qt::Key_Up);
    EXPECT_EQ(v.CaretLine(), 0);
    // Placing the caret in a hidden line opens its block.
    v.SetCaret(0, 2);
    EXPECT_FALSE(doc->isLineHidden(2));
    EXPECT_EQ(v.CaretLine(), 2);
    v.CollapseAllBlocks();
    EXPECT_EQ(v.CaretLine(), 0);
    v.ExpandAllBlocks();
    EXPECT_FALSE(doc->isLineHidden(1));
}

TEST(SourceViewSearch, FindWrapsAndReplaceAllIsOneStep)
{
    ShownView shown("a cat\r\nno\r\ncat and cat");
    SourceView &v = shown.view;
    v.SetCaret(0, 2);
    EXPECT_TRUE(v.findText("cat", false, false, false));
    EXPECT_EQ(v.CaretLine(), 2);
    EXPECT_EQ(v.CaretColumn(), 3);
    v.SetCaret(0, 2);
    v.findText("cat", false, false, false);
    v.findText("cat", false, false, false);
    EXPECT_TRUE(v.findText("cat", false, false, false));   // round to the top
    EXPECT_EQ(v.CaretLine(), 0);
    EXPECT_FALSE(v.findText("dog", false, false, false));
    EXPECT_EQ(v.replaceAll("cat", "dog", true, true), 3);
    EXPECT_EQ(v.Document()->Text(), "a dog\r\nno\r\ndog and dog");
    EXPECT_EQ(v.Document()->UndoStepCount(), 1);
}

TEST(SourceViewMouse, NotificationsCarryControlPixelsMarginIncluded)
{
    ShownView shown(numberedLines(5));
    SourceView &v = shown.view;
    struct Event { char kind; int button, shift, x, y; };
    std::vector<Event> events;
    int clicks = 0;
    QObject::connect(&v, &SourceView::MouseDown, [&](int &b, int &s, int &x, int &y) { events.push_back({'D', b, s, x, y}); });
    QObject::connect(&v, &SourceView::MouseUp, [&](int &b, int &s, int &x, int &y) { events.push_back({'U', b, s, x, y}); });
    QObject::connect(&v, &SourceView::Click, [&] { ++clicks; });
    const int left = v.MarginWidth() * v.CharWidth();
    const int ch = v.CharHeight();

    // In the text: the viewport's point shifted by the margin.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 2 * ch + 2));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, 'D');
    EXPECT_EQ(events[0].button, 1);
    EXPECT_EQ(events[0].shift, 1);
    EXPECT_EQ(events[0].x, left + 5);
    EXPECT_EQ(events[0].y, 2 * ch + 2);
    EXPECT_EQ(clicks, 1);

    // In the margin: its own pixels are the control's.
    events.clear();
    QWidget *margin = v.childAt(2, ch + 2);
    ASSERT_NE(margin, nullptr);
    ASSERT_NE(margin, v.viewport());
    QTest::mouseClick(margin, Qt::LeftButton, Qt::NoModifier, QPoint(2, ch + 2));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, 'U');
    EXPECT_EQ(events[1].x, 2);
    EXPECT_EQ(events[1].y, ch + 2);
    EXPECT_EQ(clicks, 2);
    int column = -1, line = -1;
    v.DeviceToDoc(events[1].x, events[1].y, column, line);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 0);

    // The right button gives no Click.
    QTest::mouseClick(margin, Qt::RightButton, Qt::NoModifier, QPoint(2, ch + 2));
    EXPECT_EQ(events.back().button, 2);
    EXPECT_EQ(clicks, 2);
}

TEST(SourceViewSelection, WholeLineSelectionMayEndPastTheLastLine)
{
    ShownView shown("ab\r\ncd");
    SourceView &v = shown.view;
    v.SetSelection(0, 1, 0, 2);
    EXPECT_EQ(v.textCursor().selectedText(), "cd");
    int c1, l1, c2, l2;
    v.GetSelection(c1, l1, c2, l2);
    EXPECT_EQ(std::vector<int>({c1, l1, c2, l2}), std::vector<int>({0, 1, 2, 1}));
    v.SetSelection(1, 0, 99999, 0);   // a column past the end stops at the line's end
    EXPECT_EQ(v.textCursor().selectedText(), "b");
}

TEST(SourceViewEdits, AHandlerMayEditTheDocumentFromANotification)
{
    ShownView shown("ab cd");
    SourceView &v = shown.view;
    NotificationLog log(*v.Document());
    // Like the lexer's label rule: the first blank of the line becomes a TAB.
    bool armed = true;
    QObject::connect(&v, &SourceView::TextInserted, [&](int, int l1, int, int) {
        const int blank = v.Document()->GetLine(l1).indexOf(' ');
        if (blank >= 0 && armed)
            v.Document()->ReplaceChar(blank, l1, '\t');
        armed = false;
    });
    v.SetCaret(2, 0);
    QTest::keyClick(&v, 'x');
    EXPECT_EQ(v.Document()->GetLine(0), "abx\tcd");
    EXPECT_EQ(log.take(), (std::vector<Notification>{
                              {'I', 2, 0, 3, 0}, {'I', 3, 0, 4, 0}}));
    // The handler's low-level edit belongs to the key's undo step.
    v.Document()->Undo();
    EXPECT_EQ(v.Document()->GetLine(0), "ab cd");
}

namespace {
// Qt delivers drops only inside a real drag; the test hands the event over itself.
class DropView : public SourceView
{
public:
    using SourceView::dropEvent;
};
} // namespace

TEST(SourceViewEdits, DroppedTextIsAnInsertionOfItsOwn)
{
    DropView v;
    v.resize(400, 200);
    SourceDocument *doc = v.Document();
    doc->InsertImpl(0, 0, "abc\r\ndef\r\nghi");
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    doc->SetLineData(2, 1, 77);
    NotificationLog log(*doc);
    int x = 0, y = 0;
    v.DocToDevice(1, 1, x, y);
    QMimeData mime;
    mime.setText("X\r\nY");
    QDropEvent drop(QPointF(x - v.MarginWidth() * v.CharWidth() + 1, y + 2), Qt::CopyAction,
                    &mime, Qt::LeftButton, Qt::NoModifier);
    v.dropEvent(&drop);
    EXPECT_EQ(doc->Text(), "abc\r\ndX\r\nYef\r\nghi");
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'I', 1, 1, 1, 2}}));
    EXPECT_EQ(doc->GetLineData(3, 1), 77);
    EXPECT_EQ(doc->UndoStepDescription(0), "Drag and Drop");
}

TEST(SourceViewSearch, TheReplaceDialogReplacesThroughTheDocument)
{
    ShownView shown("SET A=1\r\nSET B=A");
    SourceView &v = shown.view;
    NotificationLog log(*v.Document());
    v.Replace();
    auto *dialog = v.findChild<QDialog *>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    const QList<QLineEdit *> edits = dialog->findChildren<QLineEdit *>();
    ASSERT_EQ(edits.size(), 2);
    edits[0]->setText("SET");
    edits[1]->setText("S");
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == "Replace &All")
            button->click();
    }
    EXPECT_EQ(v.Document()->Text(), "S A=1\r\nS B=A");
    EXPECT_EQ(log.take().size(), 4u);   // a deletion and an insertion per place
    dialog->hide();

    // Read-only: the dialog finds but offers no replacing.
    v.Document()->SetReadOnly(true);
    v.Replace();
    EXPECT_FALSE(edits[1]->isVisible());
    edits[0]->setText("B");
    v.SetCaret(0, 0);
    v.FindNext();
    EXPECT_EQ(v.CaretLine(), 1);
    EXPECT_EQ(v.textCursor().selectedText(), "B");
}

TEST(SourceViewKeys, ClipboardAndUndoKeysAskKeyPressFirst)
{
    ShownView shown("abc");
    SourceView &v = shown.view;
    QGuiApplication::clipboard()->setText("Z");
    v.SetCaret(3, 0);
    QTest::keyClick(&v, 'V', Qt::ControlModifier);   // no handler: the control pastes, once
    EXPECT_EQ(v.Document()->GetLine(0), "abcZ");

    // Like the immediate pane while the program runs: every character is swallowed,
    // the control's own paste, cut and undo included.
    std::vector<int> seen;
    QObject::connect(&v, &SourceView::KeyPress, [&](int &ascii) {
        seen.push_back(ascii);
        ascii = 0;
    });
    v.SetSelection(0, 0, 2, 0);
    QTest::keyClick(&v, 'V', Qt::ControlModifier);
    QTest::keyClick(&v, 'X', Qt::ControlModifier);
    QTest::keyClick(&v, 'Z', Qt::ControlModifier);
    EXPECT_EQ(v.Document()->GetLine(0), "abcZ");
    EXPECT_EQ(seen, (std::vector<int>{22, 24, 26}));
}

TEST(SourceViewUndo, UndoAndRedoReportEachEditOfAStepAndKeepTheLinesBetween)
{
    ShownView shown("a cat\r\nno\r\nmid\r\ncat");
    SourceView &v = shown.view;
    SourceDocument *doc = v.Document();
    for (int line = 0; line < 4; ++line)
        doc->SetLineData(line, 1, 10 + line);
    NotificationLog log(*doc);
    ASSERT_EQ(v.replaceAll("cat", "dog\r\nx", true, true), 2);   // one step of two edits
    log.take();
    doc->Undo();
    EXPECT_EQ(doc->Text(), "a cat\r\nno\r\nmid\r\ncat");
    // The second place first, each on its own: the lines between keep their data.
    EXPECT_EQ(log.take(), (std::vector<Notification>{
                              {'D', 0, 4, 1, 5}, {'I', 0, 4, 3, 4}, {'D', 2, 0, 1, 1}, {'I', 2, 0, 5, 0}}));
    for (int line = 0; line < 4; ++line)
        EXPECT_EQ(doc->GetLineData(line, 1), 10 + line) << line;
    doc->Redo();
    EXPECT_EQ(doc->Text(), "a dog\r\nx\r\nno\r\nmid\r\ndog\r\nx");
    EXPECT_EQ(log.take(), (std::vector<Notification>{
                              {'D', 2, 0, 5, 0}, {'I', 2, 0, 1, 1}, {'D', 0, 4, 3, 4}, {'I', 0, 4, 1, 5}}));
    EXPECT_EQ(doc->GetLineData(2, 1), 11);
    EXPECT_EQ(doc->GetLineData(3, 1), 12);
    EXPECT_EQ(doc->GetLineData(5, 1), 13);
}

TEST(SourceViewUndo, UndoingTheDotCarryOverKeepsTheLineEnterWasPressedOn)
{
    ShownView shown("\tS X=1\r\n\t. W Y\r\n\tQ");
    SourceView &v = shown.view;
    SourceDocument *doc = v.Document();
    for (int line = 0; line < 3; ++line)
        doc->SetLineData(line, 1, 10 + line);
    // Like the code window's Enter after a dot prefix: break the line, carry the
    // prefix over, then re-enter the line through the low-level operations.
    QObject::connect(&v, &SourceView::KeyPress, [&](int &ascii) {
        if (ascii != 13)
            return;
        int line = v.CaretLine();
        int same = line;
        doc->InsertOverwrite(v.CaretColumn(), line, v.CaretColumn(), same, "\r\n\t");
        doc->Insert(1, line + 1, ". ");
        const QString text = doc->GetLine(line);
        doc->DeleteImpl(0, line, text.size(), line);
        doc->InsertImpl(0, line, text);
        ascii = 0;
    });
    v.SetCaret(5, 1);
    QTest::keyClick(&v, Qt::Key_Return);
    ASSERT_EQ(doc->Text(), "\tS X=1\r\n\t. W \r\n\t. Y\r\n\tQ");
    EXPECT_EQ(doc->GetLineData(1, 1), 11);
    NotificationLog log(*doc);
    doc->Undo();
    EXPECT_EQ(doc->Text(), "\tS X=1\r\n\t. W Y\r\n\tQ");
    for (int line = 0; line < 3; ++line)
        EXPECT_EQ(doc->GetLineData(line, 1), 10 + line) << line;
    // No line was ever removed from the start of line 1.
    for (const Notification &n : log.take())
        EXPECT_FALSE(n.kind == 'D' && n.c1 == 0 && n.l2 > n.l1) << n;
}

namespace {

// Without wrapping, the horizontal scroll range covers the widest line shown whatever the
// window's width did before: wider than the line, nothing to scroll; narrower, the line's
// overhang; and the long line keeps its one line throughout.
TEST(SourceViewScroll, TheHorizontalRangeFollowsTheWindowsWidthWithoutWrapping)
{
    const QString longLine = QStringLiteral("\tW ") + QString(150, QLatin1Char('w'));
    ShownView shown(QStringLiteral("A\t; short\r\n") + longLine + QStringLiteral("\r\n\tQ"), 300, 200);
    SourceView &v = shown.view;
    QScrollBar *bar = v.horizontalScrollBar();
    const auto settle = [&v] {
        QCoreApplication::processEvents();
        v.prepareVisibleLines();
        v.viewport()->repaint();
        QCoreApplication::processEvents();
    };
    settle();
    const int overhang = bar->maximum();
    EXPECT_GT(overhang, 0);

    v.resize(4000, 200);
    settle();
    EXPECT_EQ(bar->maximum(), 0);

    v.resize(300, 200);
    settle();
    EXPECT_EQ(bar->maximum(), overhang);
    EXPECT_EQ(v.Document()->textDocument()->findBlockByNumber(1).layout()->lineCount(), 1);
}

} // namespace
