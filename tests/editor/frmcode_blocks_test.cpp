// Collapsing blocks in a long routine from the Blocks tool bar, with the code window as the
// command manager's active child, as the main window routes the user's commands.

#include "codewindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "commandui.h"
#include "eventwait.h"
#include "linedata.h"
#include "routine.h"
#include "sanitized.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>
#include <set>

namespace {

using namespace ParseReply;

// Blocks of ten lines: a labelled line at depth 0, nine body lines at depth 1.
QStringList blockLines(int blocks, int firstBlock)
{
    QStringList lines;
    lines.reserve(blocks * 10);
    for (int b = firstBlock; b < firstBlock + blocks; ++b) {
        lines << QStringLiteral("B%1\tS X=%1").arg(b);
        for (int i = 1; i < 10; ++i)
            lines << QStringLiteral("\tS Y=%1").arg(i);
    }
    return lines;
}

} // namespace

class CodeBlocksTest : public CodeWindowTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        main.setMenuItemChecked(QStringLiteral("mnuViewRich"), true);
        main.setMenuItemChecked(QStringLiteral("mnuViewBlocks"), true);
        // A labelled line starts a block; the rest lie inside it. The first parse of every
        // line also asks for the line above to be parsed again, as the engine does when a
        // line changes how the one before it reads: a background parse of a pasted text
        // then runs from its end up to its start.
        engine->on("Begin^PARSE", ScriptedEngine::Reply::computed([this](const ScriptedEngine::Call &call) {
            const bool firstParse = parsedSerials.insert(call.args.value(3).toInt()).second;
            const bool header = !call.text(2).startsWith(QLatin1Char('\t'));
            return begin(firstParse ? 0x100 : 0, 1, 0, {lineItem(header ? 8 : 0, header ? 0 : 1)});
        }));
        manager = std::make_unique<CommandManager>();
        manager->load(vantrelCommandDesign());
        host = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(host.get());
        layout->addWidget(manager->toolBar(QStringLiteral("tlbEdit")));
        layout->addWidget(manager->toolBar(QStringLiteral("tlbBlocks")));
        host->show();
    }
    void TearDown() override
    {
        host.reset();
        manager.reset();
        CodeWindowTest::TearDown();
    }

    // The window of the routine, shown, active and holding the keys.
    void openWindow(const QStringList &lines)
    {
        r = open(lines);
        w = window(*r);
        manager->registerChildForm(w, w);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        w->SourceView1()->setFocus();
        ASSERT_TRUE(waitUntil([this] { return manager->activeChild() == w; }, 10000));
    }
    // A click on the tool-bar button of the command, once the window has enabled it.
    void click(const char *id)
    {
        Command *command = manager->command(QString::fromLatin1(id));
        ASSERT_NE(command, nullptr) << id;
        QWidget *button = command->uiObjects().value(0)->widget();
        ASSERT_TRUE(waitUntil([command] { return command->enabled(); }, 10000)) << id;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    // The labelled lines, and those of them whose block is collapsed.
    int headers() const
    {
        int count = 0;
        for (int line = 0; line < r->document()->NumLines(); ++line)
            count += r->document()->GetLine(line).startsWith(QLatin1Char('B')) ? 1 : 0;
        return count;
    }
    int collapsedHeaders() const
    {
        SourceDocument *doc = r->document();
        int count = 0;
        for (int line = 0; line < doc->NumLines(); ++line)
            count += (doc->GetLineData(line, LineData::kControlSlot) & LineData::kBlockCollapsed) ? 1 : 0;
        return count;
    }

    std::set<int> parsedSerials;
    std::unique_ptr<CommandManager> manager;
    std::unique_ptr<QWidget> host;
    std::shared_ptr<Routine> r;
    frmCode *w = nullptr;
};

// A routine of more than 65,536 lines opens with most of it waiting for the background
// parse; Collapse All parses what waits and collapses every block. The user then pastes
// twice as many lines again at its end, so that the background parse runs from the new end
// upwards through lines far beyond any the routine had when it opened, waits for it to
// finish, and collapses all blocks again.
TEST_F(CodeBlocksTest, CollapseAllCollapsesEveryBlockOfARoutineOfMoreThan65536Lines)
{
    const int blocks = 6600;
    ASSERT_NO_FATAL_FAILURE(openWindow(blockLines(blocks, 0)));
    ASSERT_GT(r->document()->NumLines(), 65536);
    ASSERT_TRUE(r->lexer()->hasQueuedLines());

    ASSERT_NO_FATAL_FAILURE(click("BlkCollapseAll"));
    EXPECT_EQ(collapsedHeaders(), blocks);
    EXPECT_TRUE(r->document()->isLineHidden(11));
    EXPECT_FALSE(r->document()->isLineHidden(10));

    ASSERT_NO_FATAL_FAILURE(click("BlkExpandAll"));
    EXPECT_EQ(collapsedHeaders(), 0);
    QApplication::clipboard()->setText(QStringLiteral("\r\n")
                                       + blockLines(2 * blocks, blocks).join(QStringLiteral("\r\n")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End, Qt::ControlModifier);
    ASSERT_NO_FATAL_FAILURE(click("EdPaste"));
    ASSERT_EQ(r->document()->NumLines(), 30 * blocks);
    ASSERT_EQ(r->document()->GetLine(10 * blocks), QStringLiteral("B%1\tS X=%1").arg(blocks));
    engine->clearCalls();   // hundreds of thousands of parses follow

    // The end of the paste is shown coloured at once; the rest is parsed in the background,
    // which takes seconds: the limits are for a loaded machine.
    const int last = r->document()->NumLines() - 1;
    ASSERT_TRUE(waitUntil([this, last] { return r->document()->coloursValid(last); }, 30000));
    ASSERT_TRUE(waitUntil([this] { return !w->parseTimerEnabled(); }, sanitized::Sanitized ? 450000 : 90000))
        << "the background parse never finished: " << r->lexer()->queuedLines().size() << " lines queued";

    ASSERT_NO_FATAL_FAILURE(click("BlkCollapseAll"));
    EXPECT_EQ(headers(), 3 * blocks);
    EXPECT_EQ(collapsedHeaders(), 3 * blocks);
    EXPECT_TRUE(r->document()->isLineHidden(last));
}
