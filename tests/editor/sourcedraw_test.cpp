// The margin painter on a real source view, offscreen: each case sets line data, the
// routine's breakpoints or the stack pane's levels, renders the view and reads pixels.

#include "sourcedraw.h"

#include "docfixtures.h"
#include "editorsettings.h"
#include "imainwindow.h"
#include "linedata.h"
#include "sourceview.h"

#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace LineData;

namespace {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kBlack = 0x000000;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kDarkRed = 0x800000;
constexpr QRgb kBlue = 0x0000FF;
constexpr QRgb kGreen = 0x00FF00;
constexpr QRgb kOlive = 0xC0C000;
constexpr QRgb kGrey = 0xC0C0C0;

class LinewiseMainWindow : public IMainWindow
{
public:
    void PreviewKeyDown(int &, int &) override {}
    void PreviewKeyPress(int &) override {}
    int MState() const override { return 2; }
    void setMState(int) override {}
    bool MBusy() const override { return false; }
    MLink *link() const override { return nullptr; }
    void StatusText(const QString &) override {}
    void startRelayoutTimer() override {}
    bool Linewise() const override { return linewise; }
    bool SwitchToReportOnSaveError() const override { return false; }
    void executeCommand(const QString &) override {}
    bool linewise = true;
};

// Where a probe stands: x from the view's left, the margin's right edge or the text's
// right edge; y from the row's top, middle or bottom pixel row.
enum class X { Left, Edge, Right };
enum class Y { Top, Middle, Bottom };
struct Probe
{
    X xFrom;
    int dx;
    Y yFrom;
    int dy;
    QRgb colour;
};

class SourceDrawTest : public BreakpointDocTest
{
protected:
    void SetUp() override
    {
        BreakpointDocTest::SetUp();
        // Without the lexer nothing but the test writes the flag words.
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(false); };
    }
    void TearDown() override
    {
        setMainWindow(nullptr);
        draw.reset();
        BreakpointDocTest::TearDown();
    }

    // Routine ABC with these lines after a header line, in a view with the painter.
    void show(const QStringList &lines, int width = 480)
    {
        open(QStringList{"ABC\t; margin"} + lines);
        view = static_cast<FakeCodeWindow *>(r->Window())->createView(width, 720);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(13);
        view->SetFont(font);
        view->SetBackColor(Qt::white);
        draw = std::make_unique<SourceDraw>(view);
        draw->setRoutine(r.get());
        ASSERT_GE((view->MarginWidth() - 1) * view->CharWidth(), 16);
        ASSERT_GE(view->CharHeight(), 14);
    }

    void setFlags(int line, qint32 flags) { r->document()->SetLineData(line, kFlagSlot, flags); }
    void addBreakpoint(int line, int cmd, bool enabled)
    {
        BreakpointPtr bp = enabledBreakpoint(QStringLiteral("+%1").arg(line + 1), "ABC", cmd);
        bp->Enabled = enabled;
        r->BPSet(bp, line + 1);
    }
    void addLevel(int line, int startCol, int endCol)
    {
        auto level = std::make_shared<StackLevel>();
        level->Rtn = "ABC";
        level->StartCol = startCol;
        level->EndCol = endCol;
        stack.levels[QStringLiteral("+%1^ABC").arg(line + 1)] = level;
    }

    void render()
    {
        QCoreApplication::processEvents();
        shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    int edge() const { return (view->MarginWidth() - 1) * view->CharWidth(); }
    int textRight() const { return view->MarginWidth() * view->CharWidth() + view->viewport()->width(); }
    // Device x and row top of a column.
    QPoint at(int column, int line) const
    {
        int x = 0, y = 0;
        view->DocToDevice(column, line, x, y);
        return {x, y};
    }
    int rowTop(int line, int row = 0) const
    {
        const QTextBlock block = view->document()->findBlockByNumber(line);
        return at(block.layout()->lineAt(row).textStart(), line).y();
    }
    QRgb pixel(int x, int y) const
    {
        const QPoint origin = view->contentsRect().topLeft();
        return shot.pixel(origin.x() + x, origin.y() + y) & 0xFFFFFF;
    }
    QRgb probe(const Probe &p, int top) const
    {
        const int ch = view->CharHeight();
        const int x = p.dx + (p.xFrom == X::Edge ? edge() : p.xFrom == X::Right ? textRight() : 0);
        const int y = p.dy + top + (p.yFrom == Y::Middle ? ch / 2 : p.yFrom == Y::Bottom ? ch - 1 : 0);
        return pixel(x, y);
    }
    // The 12 x 12 picture spot of a row, and what it should show.
    QImage pictureSpot(int top) const
    {
        const QPoint origin = view->contentsRect().topLeft();
        return shot.copy(origin.x() + 3, origin.y() + top + 1, 12, 12);
    }
    static QImage expectedSpot(const QStringList &pictures)
    {
        QImage image(12, 12, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        for (const QString &name : pictures)
            painter.drawPixmap(0, 0, QPixmap(QStringLiteral(":/margin/%1.png").arg(name)));
        return image;
    }

    SourceView *view = nullptr;
    std::unique_ptr<SourceDraw> draw;
    QImage shot;
};

TEST_F(SourceDrawTest, PicturesStandAtTheirRows)
{
    struct Case
    {
        const char *name;
        const char *breakpoints;   // E enabled, D disabled, one per command
        qint32 flags;
        bool bookmark;
        QStringList pictures;
    };
    const Case cases[] = {
        {"one enabled breakpoint", "E", kBreakpoint, false, {"Break"}},
        {"one disabled breakpoint", "D", kBreakpoint, false, {"BreakDisabled"}},
        {"two enabled", "EE", kBreakpoint, false, {"MultiBreak"}},
        {"two disabled", "DD", kBreakpoint, false, {"MultiBreakDisabled"}},
        {"one of each", "ED", kBreakpoint, false, {"MultiBreakMixed"}},
        {"execution point on a breakpoint", "E", kBreakpoint | kExecPoint, false, {"Break", "ExecPtr"}},
        {"stack level", "", kStackLevel, false, {"StackPtr"}},
        {"execution point of the top level", "", kStackLevel | kExecPoint, false, {"ExecPtr"}},
        {"bookmark", "", 0, true, {"Bookmark"}},
        {"bookmark on the caret line of a continued statement", "",
         kCaretLine | kContinues | kStateCarry | kRescanNext, true, {"Bookmark"}},
        {"bookmark under a breakpoint", "E", kBreakpoint, true, {"Break"}},
        {"bookmark under a stack level", "", kStackLevel, true, {"StackPtr"}},
        {"breakpoint flag without breakpoints", "", kBreakpoint, false, {}},
        {"breakpoints the flag does not show", "E", 0, false, {}},
        {"plain line", "", 0, false, {}},
    };
    QStringList lines;
    for (size_t i = 0; i < std::size(cases); ++i)
        lines << "\tS X=1";
    lines << "\tQ";
    show(lines);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int line = int(i) + 1;
        int cmd = 0;
        for (const char *b = cases[i].breakpoints; *b; ++b)
            addBreakpoint(line, ++cmd, *b == 'E');
        setFlags(line, cases[i].flags);
        if (cases[i].bookmark)
            r->document()->SetLineData(line, kControlSlot, kBookmark);
    }
    render();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(pictureSpot(rowTop(int(i) + 1)), expectedSpot(cases[i].pictures)) << cases[i].name;
}

TEST_F(SourceDrawTest, ExecutionPointFollowsTheSteppingMode)
{
    show({"\tS X=1"});
    setFlags(1, kStackLevel | kExecPoint);
    LinewiseMainWindow main;
    setMainWindow(&main);
    render();
    EXPECT_EQ(pictureSpot(rowTop(1)), expectedSpot({"ExecPtrL"}));
    main.linewise = false;
    render();
    EXPECT_EQ(pictureSpot(rowTop(1)), expectedSpot({"ExecPtr"}));
}

TEST_F(SourceDrawTest, WithoutRoutineOnlyTheLineDataIsDrawn)
{
    show({"\tS X=1 W X"});
    addBreakpoint(1, 2, true);
    addLevel(1, 8, 10);
    setFlags(1, kBreakpoint | kStackLevel | kExecPoint);
    draw->setRoutine(nullptr);
    render();
    EXPECT_EQ(pictureSpot(rowTop(1)), expectedSpot({"ExecPtr"}));
    EXPECT_EQ(pixel(at(7, 1).x(), rowTop(1)), kWhite) << "no command outline";
}

// Each case stands on its own line after a line with `previous` flags.
TEST_F(SourceDrawTest, MarginMarksAtTheirPlaces)
{
    auto depth = [](int d) { return qint32(d << kDepthShift); };
    struct Case
    {
        const char *name;
        qint32 previous;
        qint32 flags;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"guides: one level closes", depth(2), depth(1),
         {{X::Left, 2, Y::Top, 0, kBlack}, {X::Left, 2, Y::Bottom, 0, kBlack},
          {X::Left, 4, Y::Top, 0, kBlack}, {X::Left, 4, Y::Middle, -1, kBlack},
          {X::Left, 4, Y::Middle, 0, kWhite}, {X::Left, 4, Y::Bottom, 0, kWhite},
          {X::Left, 3, Y::Top, 0, kWhite}, {X::Left, 6, Y::Top, 0, kWhite}}},
        {"guides: one level opens", depth(1), depth(2),
         {{X::Left, 2, Y::Top, 0, kBlack}, {X::Left, 2, Y::Bottom, 0, kBlack},
          {X::Left, 4, Y::Middle, -1, kWhite}, {X::Left, 4, Y::Middle, 0, kBlack},
          {X::Left, 4, Y::Bottom, 0, kBlack}, {X::Left, 6, Y::Bottom, 0, kWhite}}},
        {"guides: three levels open at once", depth(0), depth(3),
         {{X::Left, 2, Y::Top, 0, kWhite}, {X::Left, 2, Y::Bottom, 0, kBlack},
          {X::Left, 6, Y::Middle, -1, kWhite}, {X::Left, 6, Y::Bottom, 0, kBlack},
          {X::Left, 5, Y::Bottom, 0, kWhite}, {X::Left, 8, Y::Bottom, 0, kWhite}}},
        {"guides: no levels", depth(0), depth(0), {{X::Left, 2, Y::Middle, 0, kWhite}}},
        {"block start", 0, kBlockStart,
         {{X::Edge, 1, Y::Middle, 0, kBlack}, {X::Edge, 2, Y::Middle, 0, kWhite},
          {X::Edge, 3, Y::Middle, 0, kBlack}, {X::Edge, 5, Y::Middle, 0, kBlack},
          {X::Edge, 6, Y::Middle, 0, kWhite}, {X::Edge, 0, Y::Middle, 0, kWhite},
          {X::Edge, 1, Y::Middle, -1, kWhite}}},
        {"re-parse mark", 0, kReparsePrev,
         {{X::Edge, -9, Y::Middle, 0, kRed}, {X::Edge, -1, Y::Middle, 0, kRed},
          {X::Edge, -10, Y::Middle, 0, kWhite}, {X::Edge, 0, Y::Middle, 0, kWhite}}},
        {"end of routine in the parse state", 0, kEom | kStateCarry,
         {{X::Edge, 0, Y::Bottom, 0, kGrey}, {X::Right, -1, Y::Bottom, 0, kGrey},
          {X::Edge, -1, Y::Bottom, 0, kWhite}, {X::Edge, 0, Y::Bottom, -1, kWhite}}},
        {"no end of routine", 0, kStateCarry,
         {{X::Edge, 0, Y::Bottom, 0, kWhite}, {X::Right, -1, Y::Bottom, 0, kWhite}}},
    };
    QStringList lines;
    for (size_t i = 0; i < std::size(cases); ++i)
        lines << "\tQ" << "\tQ";
    lines << "\tQ";
    show(lines);
    for (size_t i = 0; i < std::size(cases); ++i) {
        setFlags(2 * int(i) + 1, cases[i].previous);
        setFlags(2 * int(i) + 2, cases[i].flags);
    }
    render();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int top = rowTop(2 * int(i) + 2);
        for (const Probe &p : cases[i].probes)
            EXPECT_EQ(probe(p, top), p.colour)
                << cases[i].name << ": probe " << (&p - cases[i].probes.data());
    }
    const int last = r->document()->NumLines() - 1;
    EXPECT_EQ(probe({X::Edge, 0, Y::Bottom, 0, 0}, rowTop(last)), kGrey) << "the last line has its rule";
    EXPECT_EQ(probe({X::Right, -1, Y::Bottom, 0, 0}, rowTop(last)), kGrey);
}

// A collapsed block's head shows a boxed plus where an open one shows its dashes, so a
// user sees that lines are hidden under it.
TEST_F(SourceDrawTest, CollapsedBlockHeadsLookUnlikeOpenOnes)
{
    show({"\tQ", "\tQ", "\tQ", "\tQ", "\tQ", "\tQ"});
    view->Settings()->SetDocOptions(view->Settings()->DocOptions() | EditorSettings::kCollapsing);
    const qint32 inside = qint32(1) << kDepthShift;
    setFlags(1, kBlockStart);
    setFlags(2, inside);
    setFlags(3, kBlockStart);
    setFlags(4, inside);
    ASSERT_TRUE(r->document()->CollapseBlock(4));
    ASSERT_TRUE(r->document()->GetLineData(3, kControlSlot) & kBlockCollapsed);
    render();
    const std::vector<Probe> open = {{X::Edge, 1, Y::Middle, 0, kBlack}, {X::Edge, 2, Y::Middle, 0, kWhite},
                                     {X::Edge, 2, Y::Middle, -2, kWhite}, {X::Edge, 4, Y::Middle, -2, kWhite}};
    const std::vector<Probe> collapsed = {{X::Edge, 1, Y::Middle, 0, kBlue},   {X::Edge, 2, Y::Middle, -2, kBlue},
                                          {X::Edge, 7, Y::Middle, 3, kBlue},   {X::Edge, 1, Y::Middle, -3, kBlue},
                                          {X::Edge, 2, Y::Middle, 0, kWhite},  {X::Edge, 6, Y::Middle, 0, kWhite},
                                          {X::Edge, 4, Y::Middle, -2, kWhite}, {X::Edge, 4, Y::Middle, 2, kWhite},
                                          {X::Edge, 0, Y::Middle, 0, kWhite},  {X::Edge, 1, Y::Middle, -4, kWhite}};
    for (const Probe &p : open)
        EXPECT_EQ(probe(p, rowTop(1)), p.colour) << "open: probe " << (&p - open.data());
    for (const Probe &p : collapsed)
        EXPECT_EQ(probe(p, rowTop(3)), p.colour) << "collapsed: probe " << (&p - collapsed.data());
}

TEST_F(SourceDrawTest, StackLevelOutlinesItsCommand)
{
    struct Case
    {
        const char *name;
        qint32 flags;
        bool filed;   // the stack pane has a level on the line
        QRgb colour;
    };
    const Case cases[] = {
        {"a level", kStackLevel, true, kGreen},
        {"the execution point", kStackLevel | kExecPoint, true, kOlive},
        {"flag without a level", kStackLevel, false, kWhite},
        {"level without the flag", 0, true, kWhite},
    };
    QStringList lines;
    for (size_t i = 0; i < std::size(cases); ++i)
        lines << "\tS X=1 W X";
    lines << "\tQ";
    show(lines);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int line = int(i) + 1;
        setFlags(line, cases[i].flags);
        if (cases[i].filed)
            addLevel(line, 8, 10);   // "W X": positions 8 to 10
    }
    render();
    const int bottom = view->CharHeight() - 1;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int line = int(i) + 1;
        const int top = rowTop(line);
        const int left = at(7, line).x();
        const int right = at(10, line).x() - 1;
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(pixel(left, top), cases[i].colour);
        EXPECT_EQ(pixel(right, top), cases[i].colour);
        EXPECT_EQ(pixel(left, top + bottom), cases[i].colour);
        EXPECT_EQ(pixel(right, top + bottom), cases[i].colour);
        EXPECT_EQ(pixel((left + right) / 2, top), cases[i].colour);
        EXPECT_EQ(pixel(left - 1, top), kWhite);
        EXPECT_EQ(pixel(right + 1, top), kWhite);
    }
}

TEST_F(SourceDrawTest, BreakpointsMarkTheirCommands)
{
    struct Case
    {
        const char *name;
        int cmd;
        bool enabled;
        QRgb inside;   // the colour within the mark's frame
        QRgb frame;
    };
    const Case cases[] = {
        {"enabled", 2, true, kDarkRed, kDarkRed},
        {"disabled", 2, false, kWhite, kDarkRed},
        {"on the whole line", 0, true, kWhite, kWhite},
    };
    // The engine puts command 2 on blanks, so the marks stand on clean background.
    engine->on("Cmd2Rng^PARSE", "9,12");
    QStringList lines;
    for (size_t i = 0; i < std::size(cases); ++i)
        lines << "\tS X=1            ";
    show(lines);
    for (size_t i = 0; i < std::size(cases); ++i)
        addBreakpoint(int(i) + 1, cases[i].cmd, cases[i].enabled);
    render();
    const int half = view->CharHeight() / 2;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int line = int(i) + 1;
        // Under position 9, the character at column 8: x is that cell's right edge.
        const int x = at(9, line).x();
        const int y = rowTop(line) + half;
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(pixel(x - 6, y), cases[i].frame);
        EXPECT_EQ(pixel(x - 3, y + 3), cases[i].frame);
        EXPECT_EQ(pixel(x - 5, y + 1), cases[i].inside);
        EXPECT_EQ(pixel(x - 4, y + 2), cases[i].inside);
        EXPECT_EQ(pixel(x - 7, y), kWhite);
        EXPECT_EQ(pixel(x - 2, y), kWhite);
        EXPECT_EQ(pixel(x - 6, y + 4), kWhite);
    }
}

TEST_F(SourceDrawTest, WrappedLineKeepsPicturesOnItsFirstRow)
{
    // A last line long enough for three rows, a breakpoint on it and a stack level whose
    // command starts on the first row and ends on the second.
    QString text = "\tS X=1";
    while (text.size() < 120)
        text += " W X";
    show({text}, 360);
    view->ModifyViewOptions(SourceView::kWrap, 0);
    QCoreApplication::processEvents();
    const QTextLayout *layout = view->document()->findBlockByNumber(1).layout();
    ASSERT_GE(layout->lineCount(), 3);
    const int secondRowStart = layout->lineAt(1).textStart();
    addBreakpoint(1, 0, true);
    addLevel(1, secondRowStart - 3, secondRowStart + 2);
    setFlags(1, kBreakpoint | kStackLevel | (1 << kDepthShift));
    render();

    const int ch = view->CharHeight();
    const int row0 = rowTop(1, 0), row1 = rowTop(1, 1), row2 = rowTop(1, 2);
    const int lastRow = rowTop(1, layout->lineCount() - 1);
    ASSERT_EQ(row1, row0 + ch);
    EXPECT_EQ(pictureSpot(row0), expectedSpot({"Break", "StackPtr"}));
    EXPECT_EQ(pixel(edge() - 5, row0 + ch / 2), kWhite) << "no bar on the first row";
    for (int top : {row1, row2}) {
        SCOPED_TRACE(top);
        EXPECT_EQ(pixel(5, top + ch / 2), kWhite) << "no picture";
        EXPECT_EQ(pixel(edge() - 6, top + 3), kBlue);
        EXPECT_EQ(pixel(edge() - 4, top + ch - 4), kBlue);
        EXPECT_EQ(pixel(edge() - 7, top + ch / 2), kWhite);
        EXPECT_EQ(pixel(edge() - 3, top + ch / 2), kWhite);
        EXPECT_EQ(pixel(edge() - 5, top + 2), kWhite);
    }
    // The rule ends the line, not its first row.
    EXPECT_EQ(pixel(edge(), lastRow + ch - 1), kGrey);
    EXPECT_EQ(pixel(edge(), row0 + ch - 1), kWhite);
    EXPECT_EQ(pixel(textRight() - 1, row1 + ch - 1), kWhite);
    // The outline runs off the first row's right and comes in at the margin on the second.
    const int outlineStart = at(secondRowStart - 4, 1).x();
    EXPECT_EQ(pixel(outlineStart, row0), kGreen);
    EXPECT_EQ(pixel(textRight() - 1, row0), kGreen);
    EXPECT_EQ(pixel(edge(), row1), kGreen);
    EXPECT_EQ(pixel(edge() - 1, row1), kWhite);
    EXPECT_EQ(pixel(at(secondRowStart + 2, 1).x() - 1, row1), kGreen);
    EXPECT_EQ(pixel(at(secondRowStart + 2, 1).x(), row1), kWhite);
    EXPECT_EQ(pixel(edge(), row2), kWhite) << "the command ended on the row before";
    // The level the line opens starts halfway down its first row and has no gap after it.
    EXPECT_EQ(pixel(2, row0), kWhite);
    EXPECT_EQ(pixel(2, row0 + ch - 1), kBlack);
    EXPECT_EQ(pixel(2, row1), kBlack);
    EXPECT_EQ(pixel(2, row2 + ch / 2), kBlack);
}

// On a tinted background the marks show as the AND of their colour and what is under
// them, which keeps the letters under them readable.
TEST_F(SourceDrawTest, MarksAreAndedWithWhatIsUnderThem)
{
    engine->on("Cmd2Rng^PARSE", "9,12");
    show({"\tS X=1            ", "\tQ"});
    const QColor tint(0xDF, 0xBF, 0xFF);
    view->SetBackColor(tint);
    addBreakpoint(1, 2, false);
    addLevel(2, 2, 2);
    setFlags(2, kStackLevel);
    render();
    const QRgb background = tint.rgb() & 0xFFFFFF;
    const int x = at(9, 1).x();
    const int y = rowTop(1) + view->CharHeight() / 2;
    EXPECT_EQ(pixel(x - 5, y + 1), background) << "inside a disabled mark";
    EXPECT_EQ(pixel(x - 6, y), kDarkRed & background);
    const int last = rowTop(2);
    EXPECT_EQ(pixel(at(1, 2).x(), last), kGreen & background) << "outline";
    EXPECT_EQ(probe({X::Edge, 0, Y::Bottom, 0, 0}, last), kGrey & background) << "rule in the margin";
    EXPECT_EQ(probe({X::Right, -1, Y::Bottom, 0, 0}, last), kGrey & background) << "rule in the text";
}

} // namespace
