// The undo list under the undo button, and Redo All.

#include "frmundolist.h"
#include "sourcedocument.h"

#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A document with three undo steps over an empty line: "a", then "b", then "c" typed at
// its end, described as the view would describe them.
std::unique_ptr<SourceDocument> threeSteps()
{
    auto doc = std::make_unique<SourceDocument>();
    const char *steps[][2] = {{"a", "Typing"}, {"b", "Paste"}, {"c", "Insert"}};
    for (auto &step : steps) {
        doc->setPendingUndoDescription(QLatin1String(step[1]));
        doc->Insert(doc->GetLineLength(0), 0, QLatin1String(step[0]));
    }
    return doc;
}

void clickRow(frmUndoList &list, int row)
{
    QListWidget *items = list.lstItems();
    QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, items->visualItemRect(items->item(row)).center());
}

} // namespace

TEST(UndoList, ListsTheStepsMostRecentFirst)
{
    SourceDocument empty;
    EXPECT_EQ(frmUndoList(&empty).lstItems()->count(), 0);

    auto doc = threeSteps();
    frmUndoList list(doc.get());
    QStringList rows;
    for (int i = 0; i < list.lstItems()->count(); ++i)
        rows << list.lstItems()->item(i)->text();
    EXPECT_EQ(rows, (QStringList{"Insert", "Paste", "Typing"}));
}

TEST(UndoList, ChoosingRowKUndoesKPlusOneSteps)
{
    const QString textAfter[] = {"ab", "a", ""};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        auto doc = threeSteps();
        frmUndoList *list = frmUndoList::dropDown(doc.get(), QRect(10, 10, 20, 20));
        QPointer<frmUndoList> alive(list);
        EXPECT_EQ(list->pos(), QPoint(10, 30));
        clickRow(*list, k);
        EXPECT_EQ(doc->GetLine(0), textAfter[k]);
        EXPECT_EQ(doc->UndoStepCount(), 2 - k);
        EXPECT_TRUE(alive.isNull() || !alive->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(alive.isNull());
    }
}

TEST(UndoList, ArrowsOnlyMoveEnterUndoesToTheRowEscUndoesNothing)
{
    auto doc = threeSteps();
    {
        frmUndoList list(doc.get());
        list.show();
        QTest::keyClick(list.lstItems(), Qt::Key_Down);
        EXPECT_EQ(list.lstItems()->currentRow(), 1);
        EXPECT_EQ(doc->GetLine(0), "abc");
        QTest::keyClick(list.lstItems(), Qt::Key_Return);
        EXPECT_EQ(doc->GetLine(0), "a");
        EXPECT_FALSE(list.isVisible());
    }
    frmUndoList list(doc.get());
    list.show();
    QTest::keyClick(list.lstItems(), Qt::Key_Escape);
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(doc->GetLine(0), "a");
}

TEST(RedoAll, RedoesEverythingAndEndsWhenNothingMoves)
{
    auto doc = threeSteps();
    for (int i = 0; i < 3; ++i)
        doc->Undo();
    EXPECT_EQ(RedoAll(doc.get()), 3);
    EXPECT_EQ(doc->GetLine(0), "abc");
    EXPECT_FALSE(doc->CanRedo());

    // A read-only document can redo but does not: one run, not an endless loop.
    doc->Undo();
    doc->SetReadOnly(true);
    EXPECT_EQ(RedoAll(doc.get()), 1);
    EXPECT_TRUE(doc->CanRedo());
    int runs = 0;
    doc->SetReadOnly(false);
    EXPECT_EQ(RedoAll(doc.get(), [&] { ++runs; }), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(RedoAll(nullptr), 0);
}
