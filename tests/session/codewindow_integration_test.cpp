#include "mainwindowfixture.h"

#include "docfakes.h"
#include "frmbreakpoints.h"
#include "frmcode.h"
#include "gtmcorpus.h"
#include "linedata.h"
#include "mlink.h"
#include "mserver.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QImage>
#include <QTest>

namespace {

// The 0-based index of the first line that starts with a label, or -1.
int labelLineOf(const QStringList &lines)
{
    for (int i = 0; i < lines.size(); ++i) {
        const QString &l = lines[i];
        if (!l.isEmpty() && (l[0].isLetter() || l[0] == '%'))
            return i;
    }
    return -1;
}

// A small routine of the GT.M corpus with a label (and, as they all have, empty lines).
GtmRoutine corpusRoutine()
{
    for (const GtmRoutine &r : loadGtmCorpus(gtmInstallationFolder())) {
        if (r.lines.size() >= 20 && r.lines.size() <= 400 && labelLineOf(r.lines) >= 0)
            return r;
    }
    return {};
}

// The main window of the program, a scripted server for its session, and a routine
// opened for editing through the navigator.
class CodeWindowSession : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window = start("SQ0");
        ASSERT_NE(window, nullptr);
        routine = corpusRoutine();
        if (routine.lines.isEmpty())
            GTEST_SKIP() << "no GT.M routines installed";
        name = QFileInfo(routine.path).baseName().toUpper().remove('_');
        docServices().stack = &stack;
    }
    void TearDown() override
    {
        docServices().stack = nullptr;
        MainWindowTest::TearDown();
    }

    frmMDI *window = nullptr;
    GtmRoutine routine;
    QString name;
    FakeStackPane stack;
};

TEST_F(CodeWindowSession, ARoutineFromTheServerIsEditedMarkedAndShownAtItsStop)
{
    using namespace mserver;
    const QString text = routine.lines.join("\r\n");
    MServer server({
        answer({"SIG", "1", name, "USER", "0"}, {"SIG", "1", name, "USER", "0", text, "GTM"}),
        expectAck(),
        expect({"BP", "+", "**"}),
    });
    server.setStepTimeoutMs(30000);
    ASSERT_TRUE(server.startAccepted(*window->link()));
    window->setMState(1);

    RoutineDocPtr doc;
    bool wasReadOnly = false;
    ASSERT_TRUE(window->navigator()->EditRoutine(name, "USER", wasReadOnly, 1, doc));
    auto *rtn = dynamic_cast<Routine *>(doc.get());
    ASSERT_NE(rtn, nullptr);
    auto *code = dynamic_cast<frmCode *>(rtn->Window());
    ASSERT_NE(code, nullptr);
    EXPECT_TRUE(code->isMaximised());   // "ChildMaxed": code windows open maximised
    SourceView *view = code->SourceView1();
    // The window parses its lines in the background, empty lines included, and stops.
    EXPECT_TRUE(waitUntil([&] { return !code->parseTimerRunning(); }, 10000));
    EXPECT_EQ(view->Document()->NumLines(), routine.lines.size());

    // Opened for editing, it opens at its first line: what the user types lands there.
    EXPECT_EQ(view->CaretLine(), 0);
    const QString firstLine = view->Document()->GetLine(0);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Z);
    EXPECT_EQ(view->Document()->GetLine(0), "z" + firstLine);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->Document()->GetLine(0), firstLine);

    // The first line with a command below the first line: the stop and the breakpoint go there.
    int line = 2;
    while (line < routine.lines.size() && !code->LineHasCommand(line))
        ++line;
    ASSERT_LT(line, routine.lines.size());

    // Typed at the end of the command line, the text lands in the document.
    view->setFocus();
    const QString before = view->Document()->GetLine(line - 1);
    const int tab = before.indexOf('\t');
    ASSERT_GE(tab, 0);
    view->SetCaret(before.size(), line - 1);
    QTest::keyClicks(view, " S ZZ=1");
    EXPECT_TRUE(view->Document()->GetLine(line - 1).endsWith(" S ZZ=1"));

    // A label typed over the first label renames it; the old name no longer resolves.
    const int labelLine = labelLineOf(routine.lines);
    const QString labelText = view->Document()->GetLine(labelLine);
    int labelEnd = 0;
    while (labelEnd < labelText.size() && (labelText[labelEnd].isLetterOrNumber() || labelText[labelEnd] == '%'))
        ++labelEnd;
    const QString oldLabel = labelText.left(labelEnd);
    ASSERT_EQ(rtn->LineOfLabel(oldLabel), labelLine + 1);
    view->SetSelection(0, labelLine, labelEnd, labelLine);
    QTest::keyClicks(view, "ZQLBL");
    EXPECT_TRUE(waitUntil([&] { return rtn->LineOfLabel("ZQLBL") == labelLine + 1; }, 3000));
    EXPECT_EQ(rtn->LineOfLabel(oldLabel), 0);
    EXPECT_TRUE(rtn->Modified());

    // Enter at the end of the command line opens a line that carries its line-start tab.
    const int lines = view->Document()->NumLines();
    view->SetCaret(view->Document()->GetLine(line - 1).size(), line - 1);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(view->Document()->NumLines(), lines + 1);
    EXPECT_EQ(view->Document()->GetLine(line), "\t");
    EXPECT_EQ(rtn->LineOfLabel("ZQLBL"), labelLine + 2);   // the label moved down with its line

    // A click in the breakpoint margin of the command line sets a breakpoint there; the
    // breakpoints pane files it and tells the server.
    view->SetCaret(0, line - 1);
    view->ensureCursorVisible();
    QCoreApplication::processEvents();
    int x = 0, y = 0;
    view->DocToDevice(0, line - 1, x, y);
    int button = 1, shift = 0, mx = 2, my = y + view->CharHeight() / 2;
    emit view->MouseDown(button, shift, mx, my);
    emit view->Click();
    EXPECT_FALSE(rtn->BPsOnLine(line).empty());
    EXPECT_EQ(window->breakpointsPane()->BPs(name).size(), 1u);
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();

    // The stop: the caret on the command, the execution point in the margin.
    view->SetCaret(tab + 1, line - 1);
    QCoreApplication::processEvents();
    view->DocToDevice(0, line - 1, x, y);
    const QWidget *textArea = view->viewport();
    const QRect marginRow(textArea->x() - view->MarginWidth() * view->CharWidth(), textArea->y() + y,
                          view->MarginWidth() * view->CharWidth(), view->CharHeight());
    const QImage unmarked = view->grab(marginRow).toImage();
    rtn->SetLineFlags(line, LineData::kStackLevel | LineData::kExecPoint, 0);
    QCoreApplication::processEvents();
    const QImage marked = view->grab(marginRow).toImage();
    const bool drawn = unmarked != marked;
    EXPECT_TRUE(drawn) << "no execution-point picture in the margin";
}

} // namespace
