#include "editorsettings.h"
#include "isourcelex.h"
#include "linedata.h"
#include "notificationlog.h"
#include "sourcedocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <climits>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Ten lines "L0 text".."L9 text", each carrying 100 + line in slots 1 and 2.
void loadTenLines(SourceDocument &doc)
{
    QStringList lines;
    for (int i = 0; i < 10; ++i)
        lines << QStringLiteral("L%1 text").arg(i);
    doc.InsertImpl(0, 0, lines.join(QLatin1String("\r\n")));
    for (int i = 0; i < doc.NumLines(); ++i)
        for (int s = 1; s < 3; ++s)
            doc.SetLineData(i, s, 100 + i);
}

std::vector<int> slot1Column(const SourceDocument &doc)
{
    std::vector<int> out;
    for (int i = 0; i < doc.NumLines(); ++i)
        out.push_back(doc.GetLineData(i, 1));
    return out;
}

} // namespace

TEST(SourceDocument, StartsWithOneEmptyLine)
{
    SourceDocument doc;
    EXPECT_EQ(doc.NumLines(), 1);
    EXPECT_EQ(doc.GetLine(0), QString());
    EXPECT_EQ(doc.Text(), QString());
}

TEST(SourceDocument, LineDataFollowEditsByTheControlsModel)
{
    struct Case
    {
        const char *name;
        std::function<void(SourceDocument &)> edit;
        std::vector<int> slot1;   // expected slot-1 values, line by line
        std::vector<Notification> notes;
    };
    const std::vector<Case> cases = {
        {"typing in a line keeps its data",
         [](SourceDocument &d) { d.Insert(2, 3, "abc"); },
         {100, 101, 102, 103, 104, 105, 106, 107, 108, 109},
         {{'I', 2, 3, 5, 3}}},
        {"x LF at column 0 pushes the line's data down",
         [](SourceDocument &d) { d.Insert(0, 3, "x\n"); },
         {100, 101, 102, 0, 103, 104, 105, 106, 107, 108, 109},
         {{'I', 0, 3, 0, 4}}},
        {"LF x at column 5 keeps the data on the line",
         [](SourceDocument &d) { d.Insert(5, 3, "\nx"); },
         {100, 101, 102, 103, 0, 104, 105, 106, 107, 108, 109},
         {{'I', 5, 3, 1, 4}}},
        {"CR LF and lone CR count as one line end each",
         [](SourceDocument &d) { d.Insert(1, 3, "a\r\nb\rc"); },
         {100, 101, 102, 103, 0, 0, 104, 105, 106, 107, 108, 109},
         {{'I', 1, 3, 1, 5}}},
        {"deleting (0,3)-(0,5) brings line 5's data to line 3",
         [](SourceDocument &d) { d.Delete(0, 3, 0, 5); },
         {100, 101, 102, 105, 106, 107, 108, 109},
         {{'D', 0, 3, 0, 5}}},
        {"deleting (2,3)-(1,5) keeps line 3's data",
         [](SourceDocument &d) { d.Delete(2, 3, 1, 5); },
         {100, 101, 102, 103, 106, 107, 108, 109},
         {{'D', 2, 3, 1, 5}}},
        {"a multi-line replace reports the deletion, then the insertion",
         [](SourceDocument &d) {
             int l1 = 2, l2 = 4;
             d.InsertOverwrite(1, l1, 3, l2, "p\nq\nr");
         },
         {100, 101, 102, 0, 0, 105, 106, 107, 108, 109},
         {{'D', 1, 2, 3, 4}, {'I', 1, 2, 1, 4}}},
        {"replace at column 0 moves the surviving line down",
         [](SourceDocument &d) {
             int l1 = 2, l2 = 3;
             d.InsertOverwrite(0, l1, 0, l2, "new\n");
         },
         {100, 101, 0, 103, 104, 105, 106, 107, 108, 109},
         {{'D', 0, 2, 0, 3}, {'I', 0, 2, 0, 3}}},
        {"the single-character replacement is one change",
         [](SourceDocument &d) { d.ReplaceChar(2, 1, '\t'); },
         {100, 101, 102, 103, 104, 105, 106, 107, 108, 109},
         {{'I', 2, 1, 3, 1}}},
        {"deleting to the end of the text keeps line l1's data",
         [](SourceDocument &d) { d.Delete(1, 7, 20, 9); },
         {100, 101, 102, 103, 104, 105, 106, 107},
         {{'D', 1, 7, 7, 9}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceDocument doc;
        loadTenLines(doc);
        NotificationLog log(doc);
        c.edit(doc);
        EXPECT_EQ(slot1Column(doc), c.slot1);
        EXPECT_EQ(log.take(), c.notes);
        EXPECT_EQ(doc.NumLines(), doc.textDocument()->blockCount());
    }
}

TEST(SourceDocument, FormatChangesRaiseNothing)
{
    SourceDocument doc;
    loadTenLines(doc);
    NotificationLog log(doc);
    QTextCursor cursor(doc.textDocument());
    cursor.setPosition(3);
    cursor.setPosition(25, QTextCursor::KeepAnchor);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.mergeCharFormat(bold);
    EXPECT_TRUE(log.take().empty());
}

TEST(SourceDocument, TextJoinsWithCrLfAndReadsEveryLineEnd)
{
    SourceDocument doc;
    doc.InsertImpl(0, 0, "A\r\nB\rC\nD");
    EXPECT_EQ(doc.Text(), "A\r\nB\r\nC\r\nD");
    EXPECT_EQ(doc.NumLines(), 4);
    EXPECT_EQ(doc.GetLine(2), "C");
}

TEST(SourceDocument, LinesAndNotificationsFollowEveryBlockBreakQtMakes)
{
    // Qt also breaks a block at U+2029 and at its frame marks U+FDD0 and U+FDD1, which
    // it stores as block separators: the lines and the notification must follow what Qt
    // made, not the text as it was handed in.
    struct Case
    {
        QString text;
        QStringList lines;   // of "<text>" inserted into "ab" at column 1
    };
    const QChar ps(0x2029), bof(0xFDD0), eof(0xFDD1), ls(0x2028);
    const std::vector<Case> cases = {
        {QStringLiteral("1\r\n2\r3\n4"), {"a1", "2", "3", "4b"}},
        {QStringLiteral("1") + ps + QStringLiteral("2"), {"a1", "2b"}},
        {QStringLiteral("1") + bof + QStringLiteral("2") + eof + QStringLiteral("3"), {"a1", "2", "3b"}},
        {QStringLiteral("1") + ls + QStringLiteral("2\t3"), {QStringLiteral("a1") + ls + QStringLiteral("2\t3b")}},
    };
    for (const bool undoable : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << (undoable ? "Insert " : "InsertImpl ") << c.text.toStdString());
            SourceDocument doc;
            doc.InsertImpl(0, 0, QStringLiteral("ab"));
            NotificationLog log(doc);
            if (undoable)
                doc.Insert(1, 0, c.text);
            else
                doc.InsertImpl(1, 0, c.text);
            QStringList lines;
            for (int i = 0; i < doc.NumLines(); ++i)
                lines << doc.GetLine(i);
            EXPECT_EQ(lines, c.lines);
            // The insertion ends before the "b" that was there.
            const int last = int(c.lines.size()) - 1;
            const std::vector<Notification> expected = {{'I', 1, 0, int(c.lines.at(last).size()) - 1, last}};
            EXPECT_EQ(log.take(), expected);
        }
    }
}

TEST(SourceDocument, LoadingAddsNoUndoStepAndLeavesUnmodified)
{
    SourceDocument doc;
    NotificationLog log(doc);
    int endLine = -1, endCol = -1;
    doc.InsertImpl(0, 0, "one\r\ntwo\r\nthree", false, &endLine, &endCol);
    EXPECT_EQ(endLine, 2);
    EXPECT_EQ(endCol, 5);
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'I', 0, 0, 5, 2}}));
    EXPECT_FALSE(doc.Modified());
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_EQ(doc.UndoStepCount(), 0);
}

TEST(SourceDocument, LowLevelEditsKeepTheUndoHistoryAndModified)
{
    SourceDocument doc;
    doc.InsertImpl(0, 0, "abc\ndef");
    doc.Insert(0, 0, "x");
    doc.SetModified(false);
    doc.DeleteImpl(0, 1, 3, 1);
    doc.InsertImpl(0, 1, "DEF");
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.UndoStepCount(), 1);
    EXPECT_EQ(doc.GetLine(1), "DEF");
}

TEST(SourceDocument, ResetEmptiesWithoutNotifications)
{
    SourceDocument doc;
    loadTenLines(doc);
    doc.Insert(0, 0, "x");
    doc.ToggleBookmark(2);
    NotificationLog log(doc);
    doc.Reset();
    EXPECT_TRUE(log.take().empty());
    EXPECT_EQ(doc.NumLines(), 1);
    EXPECT_EQ(doc.GetLineData(0, 1), 0);
    EXPECT_EQ(doc.NumBookmarks(), 0);
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_FALSE(doc.Modified());
}

TEST(SourceDocument, UndoStepsCarryDescriptionsMostRecentFirst)
{
    SourceDocument doc;
    doc.InsertImpl(0, 0, "line one\nline two");
    doc.Insert(0, 0, "a");
    int l1 = 1, l2 = 1;
    doc.InsertOverwrite(0, l1, 4, l2, "LINE");
    doc.Delete(0, 0, 1, 0);
    ASSERT_EQ(doc.UndoStepCount(), 3);
    EXPECT_EQ(doc.UndoStepDescription(0), "Delete");
    EXPECT_EQ(doc.UndoStepDescription(1), "Replace");
    EXPECT_EQ(doc.UndoStepDescription(2), "Insert");
    EXPECT_TRUE(doc.Modified());

    doc.Undo();
    doc.Undo();
    EXPECT_EQ(doc.UndoStepCount(), 1);
    EXPECT_EQ(doc.UndoStepDescription(0), "Insert");
    EXPECT_TRUE(doc.CanRedo());

    doc.Insert(0, 1, "z");
    EXPECT_FALSE(doc.CanRedo());
    ASSERT_EQ(doc.UndoStepCount(), 2);
    EXPECT_EQ(doc.UndoStepDescription(0), "Insert");
    EXPECT_EQ(doc.UndoStepDescription(1), "Insert");

    doc.Undo();
    doc.Undo();
    EXPECT_EQ(doc.UndoStepCount(), 0);
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.Text(), "line one\r\nline two");

    // Undo made straight on the QTextDocument keeps the count right too.
    doc.Redo();
    doc.Redo();
    ASSERT_EQ(doc.UndoStepCount(), 2);
    doc.textDocument()->undo();
    EXPECT_EQ(doc.UndoStepCount(), 1);
    doc.Insert(0, 0, "q");
    ASSERT_EQ(doc.UndoStepCount(), 2);
    EXPECT_EQ(doc.UndoStepDescription(1), "Insert");
}

TEST(SourceDocument, EditsOfOneGroupAreOneUndoStep)
{
    SourceDocument doc;
    doc.InsertImpl(0, 0, "\tS X=1");
    NotificationLog log(doc);
    doc.beginUndoGroup("Enter");
    int l1 = 0, l2 = 0;
    doc.InsertOverwrite(3, l1, 3, l2, "\r\n\t");
    doc.Insert(1, 1, ". ");
    doc.endUndoGroup();
    EXPECT_EQ(doc.Text(), "\tS \r\n\t. X=1");
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'I', 3, 0, 1, 1}, {'I', 1, 1, 3, 1}}));
    ASSERT_EQ(doc.UndoStepCount(), 1);
    EXPECT_EQ(doc.UndoStepDescription(0), "Enter");
    doc.Undo();
    EXPECT_EQ(doc.Text(), "\tS X=1");
    EXPECT_EQ(log.take(), (std::vector<Notification>{{'D', 3, 0, 3, 1}}));
}

TEST(SourceDocument, BookmarksWrapRound)
{
    SourceDocument doc;
    loadTenLines(doc);
    EXPECT_EQ(doc.NextBookmark(0), -1);
    doc.ToggleBookmark(2);
    doc.ToggleBookmark(7);
    EXPECT_EQ(doc.NumBookmarks(), 2);
    EXPECT_TRUE(doc.GetLineData(2, 0) & LineData::kBookmark);
    struct Case { int from; int next; int prev; };
    for (const Case &c : {Case{0, 2, 7}, Case{2, 7, 7}, Case{7, 2, 2}, Case{9, 2, 7}, Case{5, 7, 2}}) {
        SCOPED_TRACE(c.from);
        EXPECT_EQ(doc.NextBookmark(c.from), c.next);
        EXPECT_EQ(doc.PrevBookmark(c.from), c.prev);
    }
    doc.ToggleBookmark(7);
    EXPECT_EQ(doc.NextBookmark(2), 2);   // the only one: round to itself
    // Bookmarks are line data: they follow the line.
    doc.Insert(0, 0, "new\n");
    EXPECT_EQ(doc.NextBookmark(0), 3);
    doc.ClearAllBookmarks();
    EXPECT_EQ(doc.NumBookmarks(), 0);
}

TEST(SourceDocument, ReadOnlyRefusesEditsButNotLoading)
{
    SourceDocument doc;
    doc.SetReadOnly(true);
    EXPECT_FALSE(doc.Insert(0, 0, "x"));
    EXPECT_EQ(doc.NumLines(), 1);
    doc.InsertImpl(0, 0, "loaded");
    EXPECT_EQ(doc.GetLine(0), "loaded");

    // A document kept read-only after edits (a routine preserved when its link dropped)
    // must not be changed through its history either.
    SourceDocument edited;
    edited.Insert(0, 0, "kept");
    edited.SetReadOnly(true);
    edited.Undo();
    EXPECT_EQ(edited.GetLine(0), "kept");
    edited.SetReadOnly(false);
    edited.Undo();
    edited.SetReadOnly(true);
    edited.Redo();
    EXPECT_EQ(edited.GetLine(0), "");
}

TEST(SourceDocument, BlocksComeFromTheFlagWordsAndCollapse)
{
    SourceDocument doc;
    // 0 IF x DO (block start, depth 0); 1-2 depth 1; 3 block start at depth 1; 4 depth 2; 5 depth 0
    doc.InsertImpl(0, 0, "a\nb\nc\nd\ne\nf");
    const int flags[] = {LineData::kBlockStart, 1 << 20, 1 << 20, LineData::kBlockStart | (1 << 20),
                         2 << 20, 0};
    for (int i = 0; i < 6; ++i)
        doc.SetLineData(i, 1, flags[i]);
    doc.setCollapsingEnabled(true);
    const int bits[] = {8, 4, 4, 8 | 4, 4, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(doc.GetLineData(i, 0) & LineData::kBlockBits, bits[i]) << i;
    EXPECT_EQ(doc.blockHeaderOf(4), 3);
    EXPECT_EQ(doc.blockHeaderOf(2), 0);
    EXPECT_EQ(doc.blockHeaderOf(5), -1);

    EXPECT_TRUE(doc.CollapseBlock(1));
    EXPECT_EQ(doc.GetLineData(0, 0) & (8 | 16), 8 | 16);
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(doc.isLineHidden(i)) << i;
    EXPECT_FALSE(doc.isLineHidden(5));
    doc.ExpandAll();
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(doc.isLineHidden(i)) << i;
    doc.CollapseAll();
    EXPECT_TRUE(doc.isLineHidden(4));
    doc.ExpandBlock(0);
    EXPECT_FALSE(doc.isLineHidden(3));
    EXPECT_TRUE(doc.isLineHidden(4));   // the inner block stays collapsed
    doc.setCollapsingEnabled(false);
    EXPECT_FALSE(doc.isLineHidden(4));
    EXPECT_EQ(doc.GetLineData(0, 0) & LineData::kBlockBits, 0);
}

TEST(SourceDocument, EditsAskedForDuringANotificationFollowIt)
{
    SourceDocument doc;
    doc.InsertImpl(0, 0, "ab\ncd");
    NotificationLog log(doc);
    bool once = true;
    QObject::connect(&doc, &SourceDocument::TextInserted, &doc, [&](int, int l1, int, int) {
        if (once) {
            once = false;
            doc.ReplaceChar(0, l1, 'X');
        }
    });
    doc.Insert(1, 1, "z");
    EXPECT_EQ(doc.GetLine(1), "Xzd");
    EXPECT_EQ(log.take(), (std::vector<Notification>{
                              {'I', 1, 1, 2, 1}, {'I', 0, 1, 1, 1}}));
}

TEST(SourceDocument, FlagWordChangesRepaintOnlyWhenTheWordChanges)
{
    struct Case { std::int32_t old, set, clear, expected; bool repaint; };
    const Case cases[] = {
        {0, LineData::kBreakpoint, 0, LineData::kBreakpoint, true},
        {LineData::kBreakpoint, LineData::kBreakpoint, 0, LineData::kBreakpoint, false},
        {LineData::kBreakpoint | LineData::kCaretLine, 0, LineData::kBreakpoint, LineData::kCaretLine, true},
        {LineData::kExecPoint, 0, LineData::kStackLevel, LineData::kExecPoint, false},
        // Setting and clearing one bit at once clears it.
        {0, LineData::kCaretLine, LineData::kCaretLine, 0, false},
        {0x7FFF0000, LineData::kStackLevel, LineData::kStateMask, LineData::kStackLevel, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.old << " " << c.set << " " << c.clear);
        SourceDocument doc;
        doc.InsertImpl(0, 0, "a\nb\nc");
        doc.SetLineData(1, LineData::kFlagSlot, c.old);
        std::vector<std::pair<int, int>> repaints;
        QObject::connect(&doc, &SourceDocument::repaintRequested,
                         [&](int from, int to) { repaints.emplace_back(from, to); });
        EXPECT_EQ(doc.changeLineFlags(1, c.set, c.clear), c.repaint);
        EXPECT_EQ(doc.GetLineData(1, LineData::kFlagSlot), c.expected);
        using Repaints = std::vector<std::pair<int, int>>;
        const Repaints expected = c.repaint ? Repaints{{1, 1}} : Repaints{};
        EXPECT_EQ(repaints, expected);
    }
}

TEST(SourceDocument, AFlagWordChangedFromOutsideAScanRecoloursItsLine)
{
    // The code window marks the new caret line and repaints only the old one;
    // the new one must be scanned again, since the lexer shows some tokens
    // plainly on the caret line.
    SourceDocument doc;
    doc.InsertImpl(0, 0, "a\nb\nc");
    doc.colourLines(0, 2);
    ASSERT_TRUE(doc.coloursValid(1));
    std::vector<std::pair<int, int>> repaints;
    QObject::connect(&doc, &SourceDocument::repaintRequested,
                     [&](int from, int to) { repaints.emplace_back(from, to); });
    doc.SetLineData(1, LineData::kFlagSlot, LineData::kCaretLine);
    EXPECT_FALSE(doc.coloursValid(1));
    EXPECT_TRUE(doc.coloursValid(0));
    EXPECT_EQ(repaints, (std::vector<std::pair<int, int>>{{1, 1}}));
    doc.colourLines(0, 2);
    doc.SetLineData(1, LineData::kFlagSlot, LineData::kCaretLine);   // unchanged: nothing
    doc.SetLineData(1, LineData::kSerialSlot, 5);
    EXPECT_TRUE(doc.coloursValid(1));
    EXPECT_EQ(repaints.size(), 1u);
}

TEST(SourceDocument, ATokenLongerThanItsLineColoursToTheLineEnd)
{
    // A lexer may give the largest length for "the rest of the line".
    class RestOfLineLexer : public ISourceLex
    {
    public:
        void BeginLineScan(SourceDocument *, int, const QString &, int) override { m_next = 0; }
        void ScanToken(SourceToken &token) override
        {
            token = m_next++ == 0 ? SourceToken{5, 4, INT_MAX, 0} : SourceToken{};
        }
        void EndLineScan(SourceDocument *, bool &scanNext) override { scanNext = false; }

    private:
        int m_next = 0;
    };
    EditorSettings settings;
    settings.SetForeColor(5, Qt::red);
    RestOfLineLexer lexer;
    SourceDocument doc;
    doc.setSettings(&settings);
    doc.InsertImpl(0, 0, "set x=1");
    doc.SetLex(&lexer);
    doc.colourLines(0, 0);
    const QList<QTextLayout::FormatRange> ranges = doc.textDocument()->findBlockByNumber(0).layout()->formats();
    ASSERT_EQ(ranges.size(), 1);
    EXPECT_EQ(ranges[0].start, 4);
    EXPECT_EQ(ranges[0].length, 3);
    doc.SetLex(nullptr);
}

TEST(SourceDocument, UndoPastAHugeEditStillKeepsTheLinesBetweenEarlierEdits)
{
    SourceDocument doc;
    loadTenLines(doc);
    doc.beginUndoGroup("Group");
    doc.Insert(0, 2, "x\n");
    doc.Insert(0, 8, "y\n");
    doc.endUndoGroup();
    const std::vector<int> afterGroup = slot1Column(doc);
    doc.Insert(0, 11, QString(1100000, QLatin1Char('h')));   // too big to keep twice
    doc.Undo();
    EXPECT_EQ(slot1Column(doc), afterGroup);
    doc.Undo();
    std::vector<int> loaded;
    for (int i = 0; i < 10; ++i)
        loaded.push_back(100 + i);
    EXPECT_EQ(slot1Column(doc), loaded);
}
