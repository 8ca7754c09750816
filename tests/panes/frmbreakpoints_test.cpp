// The breakpoint pane on the real link against the scripted M server: every message it
// sends, field by field, the server's reports, and the lists' editing keys offscreen.

#include "docfixtures.h"
#include "frmbreakpoints.h"
#include "gridcontrol.h"
#include "headerdrag.h"
#include "imainwindow.h"
#include "memento.h"
#include "mlink.h"
#include "mserver.h"
#include "routine.h"
#include "routines.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

using namespace mserver;

namespace {

class LinkedMainWindow : public IMainWindow
{
public:
    explicit LinkedMainWindow(MLink *link) : m_link(link) {}
    void PreviewKeyDown(int &, int &) override {}
    void PreviewKeyPress(int &) override {}
    int MState() const override { return 0; }
    void setMState(int) override {}
    bool MBusy() const override { return busy; }
    MLink *link() const override { return m_link; }
    bool ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target, bool activate,
                     int type) override
    {
        shown << QStringLiteral("%1^%2|%3|%4|%5|%6").arg(env, rtn).arg(level).arg(target).arg(activate).arg(type);
        return false;
    }
    bool busy = false;
    QStringList shown;   // ShowRoutine calls
    void StatusText(const QString &) override {}
    void startRelayoutTimer() override {}
    bool Linewise() const override { return false; }
    bool SwitchToReportOnSaveError() const override { return true; }
    void executeCommand(const QString &) override {}

private:
    MLink *m_link;
};

QStringList bpFrame(const char *sign, const QString &line, const QString &rtn, int cmd, int id,
                    int delay = 0, const QString &condition = QString())
{
    return {"BP", sign, line, rtn, QString::number(cmd), QString::number(id), QString::number(delay), condition};
}

BreakpointPtr record(const QString &line, const QString &rtn, int cmd, bool enabled = true,
                     const QString &env = QStringLiteral("USER"))
{
    auto bp = std::make_shared<Breakpoint>();
    bp->Line = line;
    bp->Rtn = rtn;
    bp->Env = env;
    bp->Cmd = cmd;
    bp->Enabled = enabled;
    return bp;
}

class BreakpointPane : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        setMainWindow(&window);
        pane = std::make_unique<frmBreakpoints>();
        pane->setRoutines(routines.get());
        docServices().breakpoints = pane.get();
        pane->resize(600, 300);
        pane->show();
    }
    void TearDown() override
    {
        docServices().breakpoints = nullptr;
        pane.reset();
        setMainWindow(nullptr);
        RoutineDocTest::TearDown();
    }

    // Starts a server that reads `frames` frames and then must hear nothing more.
    void serve(int frames, QList<Step> before = {})
    {
        QList<Step> script = before;
        for (int i = 0; i < frames; ++i)
            script << expect({"**"});
        script << expectSilence(150);
        server = std::make_unique<MServer>(script);
        ASSERT_TRUE(server->startAccepted(link));
        link.setBrand("CACHE");
        QString info = QStringLiteral("Cache:1:5");
        ASSERT_TRUE(link.VersionCheck(info));
    }
    QList<QStringList> heard()
    {
        EXPECT_TRUE(server->wait()) << server->failure().toStdString();
        return server->received();
    }

    GridControl &bp() { return *pane->bpGrid(); }
    QStringList rowTexts(int row)
    {
        QStringList out;
        for (int col = 1; col < bp().columnCount(); ++col)
            out << bp().text(row, col);
        return out;
    }
    // Runs queued editor openings.
    static void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }
    QLineEdit *editor() { settle(); return bp().editor(); }

    MLink link;
    LinkedMainWindow window{&link};
    std::unique_ptr<frmBreakpoints> pane;
    std::unique_ptr<MServer> server;
};

// ---- the model ------------------------------------------------------------------------

TEST_F(BreakpointPane, SendsEveryChangeUnderTheRowIdentifier)
{
    // The entry row is row identifier 1; new rows take 2, 3, ...
    struct Case { const char *what; std::function<void()> act; QList<QStringList> frames; };
    BreakpointPtr abc = record("TAG+2", "ABC", 1);
    BreakpointPtr any;
    const Case cases[] = {
        {"SetBP appends", [&] { pane->SetBP(abc); }, {bpFrame("+", "TAG+2", "ABC", 1, 2)}},
        {"SetBP disabled", [&] { abc->Enabled = false; pane->SetBP(abc); }, {bpFrame("-", "TAG+2", "ABC", 1, 2)}},
        {"SetBP with Cmd 0 takes the row's command",
         [&] { any = record("TAG+2", "ABC", 0); any->Delay = 3; any->Condition = "X>1"; pane->SetBP(any); },
         {bpFrame("+", "TAG+2", "ABC", 1, 2, 3, "X>1")}},
        {"another routine sorts first", [&] { pane->SetBP(record("A+1", "AAA", 2)); },
         {bpFrame("+", "A+1", "AAA", 2, 3)}},
        {"check box off and on", [&] { emit bp().checkClicked(0); emit bp().checkClicked(0); },
         {bpFrame("-", "A+1", "AAA", 2, 3), bpFrame("+", "A+1", "AAA", 2, 3)}},
        {"a check box of the entry row sends nothing", [&] { emit bp().checkClicked(2); }, {}},
        {"an error shown as ??? is no condition",
         [&] { pane->OnReport({"BPU", "3", "<UNDEFINED>"}); emit bp().checkClicked(0); },
         {bpFrame("-", "A+1", "AAA", 2, 3)}},
        {"SetBPsOnServer sends the enabled ones bottom-up",
         [&] { pane->SetBPsOnServer(); }, {bpFrame("+", "TAG+2", "ABC", 1, 2, 3, "X>1")}},
        {"DeleteBP with lookup", [&] { pane->DeleteBP(record("TAG+2", "ABC", 0), true); },
         {bpFrame("-", "TAG+2", "ABC", 1, 2)}},
        {"DeleteBP without a place sends nothing", [&] { pane->DeleteBP(record("", "ABC", 1), false); }, {}},
    };
    int total = 0;
    for (const Case &c : cases)
        total += int(c.frames.size());
    serve(total);
    QList<QStringList> expected;
    for (const Case &c : cases) {
        c.act();
        expected += c.frames;
    }
    EXPECT_EQ(heard(), expected);
    EXPECT_EQ(abc->ID, 2);
    EXPECT_EQ(any->Cmd, 1);
    EXPECT_EQ(any->ID, 2);
    ASSERT_EQ(bp().rowCount(), 2);
    EXPECT_EQ(rowTexts(0), (QStringList{"A+1", "AAA", "2", "", "???"}));
    EXPECT_EQ(bp().picture(0, 5), "Error");
}

TEST_F(BreakpointPane, BPsListsCopiesBottomUpWithoutTheEntryRow)
{
    pane->SetBP(record("B+1", "BBB", 1));
    pane->SetBP(record("A+1", "AAA", 1));
    auto all = pane->BPs("");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->Rtn, "BBB");
    EXPECT_EQ(all[1]->Rtn, "AAA");
    all[0]->Line = "changed";
    EXPECT_EQ(pane->BPs("BBB").at(0)->Line, "B+1");
    EXPECT_TRUE(pane->BPs("bbb").empty());
    // Disconnected: nothing goes out and the rows keep their state.
    emit bp().checkClicked(0);
    EXPECT_EQ(bp().number(0, 0), 0);
}

TEST_F(BreakpointPane, ReportsChangeOnlyTheirRow)
{
    pane->SetBP(record("A+1", "AAA", 1));
    const int id = bp().rowId(0);
    const QString sid = QString::number(id);
    struct Case { QStringList report; QString delay, condition, error, picture; };
    const Case cases[] = {
        {{"BPU", sid, "<ERR>", "3"}, "3", "???", "<ERR>", "Error"},
        {{"BPU", sid, ""}, "3", "???", "", ""},            // short form: the delay stays
        {{"BPU", sid, "", "0"}, "", "???", "", ""},
        {{"BPU", sid, "E", "5", "x"}, "", "???", "", ""},  // other counts change nothing
        {{"BPU", sid}, "", "???", "", ""},
        {{"BPU", "99", "E", "7"}, "", "???", "", ""},      // no such row
        {{"BPU", "x", "E", "7"}, "", "???", "", ""},       // reads as 0: no row
        {{"BPU", sid, "", "y"}, "", "???", "", ""},        // delay reads as 0
        {{"BPU", sid, "", "99999"}, "", "???", "", ""},    // no 16-bit number: 0
    };
    for (const Case &c : cases) {
        pane->OnReport(c.report);
        const std::string what = c.report.join('|').toStdString();
        EXPECT_EQ(bp().text(0, 4), c.delay) << what;
        EXPECT_EQ(bp().text(0, 5), c.condition) << what;
        EXPECT_EQ(bp().hidden(0, 5), c.error) << what;
        EXPECT_EQ(bp().picture(0, 5), c.picture) << what;
    }
    // A row deleted while its report was on the way: the identifier is never reused.
    pane->DeleteBP(record("A+1", "AAA", 1), true);
    pane->SetBP(record("A+1", "AAA", 1));
    EXPECT_NE(bp().rowId(0), id);
    pane->OnReport({"BPU", sid, "late", "4"});
    EXPECT_EQ(bp().text(0, 4), "");
    EXPECT_EQ(bp().hidden(0, 5), "");
}

TEST_F(BreakpointPane, WatchpointReportsShiftPreviousOnlyOnARealChange)
{
    GridControl &wp = *pane->wpGrid();
    pane->TabStrip()->setCurrentIndex(1);
    EXPECT_EQ(pane->SelectedList(), pane->WPList());
    wp.setFocus();
    wp.setCurrentRowIndex(0);
    QTest::keyClick(&wp, Qt::Key_Return);
    settle();
    ASSERT_TRUE(wp.editor());
    wp.editor()->setText("^X");
    QTest::keyClick(wp.editor(), Qt::Key_Return);
    settle();
    ASSERT_EQ(wp.rowCount(), 2);
    const QString sid = QString::number(wp.rowId(0));
    struct Case { QStringList report; QString value, valuePic, previous, previousPic; };
    const Case cases[] = {
        {{"WPU", sid, "1", "0"}, "1", "", "", ""},
        {{"WPU", sid, "1", "False"}, "1", "", "", ""},
        {{"WPU", sid, "2", "0"}, "2", "", "1", ""},
        {{"WPU", sid, "2", "0"}, "2", "", "1", ""},
        {{"WPU", sid, "<UNDEF>", "True"}, "<UNDEF>", "Error", "2", ""},
        {{"WPU", sid, "<UNDEF>", "1"}, "<UNDEF>", "Error", "2", ""},
        {{"WPU", sid, "<UNDEF>", "0"}, "<UNDEF>", "", "<UNDEF>", "Error"},
        {{"WPU", "777", "9", "0"}, "<UNDEF>", "", "<UNDEF>", "Error"},
        {{"WPU", sid, "9"}, "<UNDEF>", "", "<UNDEF>", "Error"},
    };
    for (const Case &c : cases) {
        pane->OnReport(c.report);
        const std::string what = c.report.join('|').toStdString();
        EXPECT_EQ(wp.text(0, 2), c.value) << what;
        EXPECT_EQ(wp.picture(0, 2), c.valuePic) << what;
        EXPECT_EQ(wp.text(0, 3), c.previous) << what;
        EXPECT_EQ(wp.picture(0, 3), c.previousPic) << what;
    }
    EXPECT_EQ(pane->cellTip(true, 0, 3), "Error when expression was evaluated: <UNDEF>");
    EXPECT_EQ(pane->cellTip(true, 0, 2), "");
}

TEST_F(BreakpointPane, WatchpointsGoOutAsTheyAreWrittenAndAfterAGreeting)
{
    GridControl &wp = *pane->wpGrid();
    serve(5);
    wp.setFocus();
    wp.setCurrentRowIndex(0);
    QTest::keyClick(&wp, Qt::Key_Return);
    settle();
    ASSERT_TRUE(wp.editor());
    wp.editor()->setText("X");
    QTest::keyClick(wp.editor(), Qt::Key_Return);
    settle();
    const QString id = QString::number(wp.rowId(0));
    emit wp.checkClicked(0);
    emit wp.checkClicked(0);
    pane->SetBPsOnServer();
    wp.selectOnly(0);
    QTest::keyClick(&wp, Qt::Key_Delete);
    EXPECT_EQ(heard(), (QList<QStringList>{{"WP+", id, "X"}, {"WP-", id}, {"WP+", id, "X"},
                                           {"WP+", id, "X"}, {"WP-", id}}));
    EXPECT_EQ(wp.rowCount(), 1);
}

TEST(BreakpointOrder, IsAStrictWeakOrderWithBlankRowsLast)
{
    struct Row { QString text; qint64 value; };
    const std::vector<Row> rows = {{"", 0}, {"", 1}, {"", -255}, {"ABC", 256 + 1}, {"ABC", 2 * 256 + 1},
                                   {"ABC", 0}, {"abc", 1}, {"", 600}, {"AB", 5}, {"ABC", 257}};
    auto less = [](const Row &a, const Row &b) {
        return frmBreakpoints::compareRows(a.text, b.text, a.value, b.value) < 0;
    };
    for (const Row &a : rows) {
        EXPECT_FALSE(less(a, a));
        for (const Row &b : rows) {
            EXPECT_EQ(frmBreakpoints::compareRows(a.text, b.text, a.value, b.value),
                      -frmBreakpoints::compareRows(b.text, a.text, b.value, a.value));
            for (const Row &c : rows) {
                if (less(a, b) && less(b, c)) {
                    EXPECT_TRUE(less(a, c));
                }
            }
        }
    }
    std::vector<Row> sorted = rows;
    std::mt19937 shuffle(7);
    std::shuffle(sorted.begin(), sorted.end(), shuffle);
    std::stable_sort(sorted.begin(), sorted.end(), less);
    for (size_t i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(sorted[i].text.isEmpty() && sorted[i].value < 2, i >= sorted.size() - 3) << i;
}

// ---- with the routine documents -------------------------------------------------------

TEST_F(BreakpointPane, ABreakpointFollowsItsLine)
{
    FakeDocLink docLink;
    auto r = openRoutine(&docLink, "ABC", "ABC\t; hdr\r\n\tS X=1\r\nA\tS Y=2\r\n\tS Y=3\r\n\tQ");
    QCoreApplication::processEvents();
    ASSERT_TRUE(r);
    serve(4);
    r->ToggleBreakpoint(4, 1);
    const int first = bp().rowId(0);
    // A condition and a delay given in the list reach the document as a new copy.
    auto edited = record("A+1", "ABC", 1);
    edited->Delay = 2;
    edited->Condition = "Y>1";
    pane->SetBP(edited);
    r->document()->InsertImpl(0, 3, "\tS Z=0\r\n");
    const auto frames = heard();
    ASSERT_EQ(bp().rowCount(), 2);
    const int second = bp().rowId(0);
    EXPECT_NE(second, first);
    EXPECT_EQ(frames, (QList<QStringList>{bpFrame("+", "A+1", "ABC", 1, first),
                                          bpFrame("+", "A+1", "ABC", 1, first, 2, "Y>1"),
                                          bpFrame("-", "A+1", "ABC", 1, first, 2, "Y>1"),
                                          bpFrame("+", "A+2", "ABC", 1, second, 2, "Y>1")}));
    EXPECT_EQ(rowTexts(0), (QStringList{"A+2", "ABC", "1", "2", "Y>1"}));
    EXPECT_EQ(rowTexts(0)[0], "A+2");
    EXPECT_EQ(r->BPsOnLine(5).size(), 1u);
    EXPECT_EQ(r->BPsOnLine(5).at(0)->ID, second);
    EXPECT_TRUE(r->BPsOnLine(4).empty());
}

TEST_F(BreakpointPane, DocumentsGetCopiesAndKeepTheirRecord)
{
    FakeDocLink docLink;
    auto r = openRoutine(&docLink, "ABC", "ABC\t; hdr\r\n\tS X=1\r\nA\tS Y=2\r\n\tQ");
    QCoreApplication::processEvents();
    r->ToggleBreakpoint(3, 1);
    BreakpointPtr kept = r->BPAtCmdOnLine(3, 1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->ID, bp().rowId(0));
    r->ToggleBreakpointState(3, 1);
    EXPECT_EQ(r->BPAtCmdOnLine(3, 1), kept);
    EXPECT_FALSE(kept->Enabled);
    EXPECT_EQ(bp().number(0, 0), 0);
    EXPECT_NE(pane->BPs("ABC").at(0), kept);
    r->ToggleBreakpoint(3, 1);
    EXPECT_EQ(bp().rowCount(), 1);
    EXPECT_TRUE(r->BPsOnLine(3).empty());
    EXPECT_EQ(pane->TabStrip()->tabBar()->tabData(0).toString(), "");
}

TEST_F(BreakpointPane, SelectingABreakpointShowsItsLine)
{
    FakeDocLink docLink;
    auto r = openRoutine(&docLink, "ABC", "ABC\t; hdr\r\n\tS X=1\r\nA\tS Y=2\r\n\tQ");
    QCoreApplication::processEvents();
    r->ToggleBreakpoint(3, 1);
    auto *code = static_cast<FakeCodeWindow *>(r->Window());
    code->setCaret(0, 0);
    bp().selectOnly(0);
    EXPECT_EQ(code->caretLine(), 2);
    // A routine that is not open is opened for viewing by the main window, unless busy.
    this->window.busy = true;
    pane->SetBP(record("A+1", "ZZZ", 1));
    bp().selectOnly(1);
    EXPECT_TRUE(this->window.shown.isEmpty());
    this->window.busy = false;
    bp().selectOnly(0);
    bp().selectOnly(1);
    EXPECT_EQ(this->window.shown, QStringList{"USER^ZZZ|0|+1|1|1"});
    EXPECT_EQ(code->caretLine(), 2);
}

// ---- the lists ------------------------------------------------------------------------

TEST_F(BreakpointPane, TypingIntoTheEntryRowAndEnter)
{
    serve(1, {answer({"NS"}, {"NS", "USER"}), expectAck()});
    bp().setFocus();
    bp().setCurrentRowIndex(0);
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    QTest::keyClicks(editor(), "TAG+2. ");   // "." and the space are filtered out
    QTest::keyClick(editor(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    EXPECT_EQ(bp().editColumn(), 2);
    QTest::keyClicks(editor(), "ABC+");
    QTest::keyClick(editor(), Qt::Key_Return);
    settle();
    EXPECT_EQ(heard(), (QList<QStringList>{{"!NS"}, {}, bpFrame("+", "TAG+2", "ABC", 1, 1)}));
    ASSERT_EQ(bp().rowCount(), 2);
    EXPECT_EQ(rowTexts(0), (QStringList{"TAG+2", "ABC", "1", "", ""}));
    EXPECT_EQ(bp().hidden(0, 2), "USER");
    EXPECT_EQ(bp().selectedRows(), QList<int>{0});
    // The pane selected the committed row itself: not the user's choice, so the routine,
    // which is not open, is neither fetched nor opened.
    EXPECT_TRUE(window.shown.isEmpty()) << window.shown.join(", ").toStdString();
    EXPECT_EQ(pane->TabStrip()->tabBar()->tabData(0).toString(), "Checked");
}

// The hint "Double-click here to add a breakpoint" spans several columns: wherever on it
// the user double-clicks, typing starts in the first column of a breakpoint, and a
// character a cell refuses is answered with a beep rather than vanishing unnoticed.
TEST_F(BreakpointPane, ADoubleClickOnTheHintStartsInTheFirstColumnAndARefusedCharacterBeeps)
{
    struct Beeps
    {
        Beeps() { GridControl::setBeeper([this] { ++count; }); }
        ~Beeps() { GridControl::setBeeper(nullptr); }
        int count = 0;
    } beeps;
    QApplication::setActiveWindow(pane.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(pane.get()));
    ASSERT_TRUE(bp().showsEntryHint());
    QWidget *viewport = bp().viewport();
    const int row = bp().rowCount() - 1;
    const QRect rowRect = bp().visualItemRect(bp().topLevelItem(row));
    auto columnCentre = [&](int col) {
        return QPoint(bp().columnViewportPosition(col) + bp().columnWidth(col) / 2, rowRect.center().y());
    };
    const struct { const char *where; QPoint at; } places[] = {
        {"Line", columnCentre(1)},
        {"Routine", columnCentre(2)},
        {"middle of the hint", QPoint((bp().columnViewportPosition(1) + viewport->width()) / 2, rowRect.center().y())},
        {"Condition", columnCentre(5)},
    };
    for (const auto &place : places) {
        SCOPED_TRACE(place.where);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, place.at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, place.at);
        ASSERT_TRUE(editor());
        EXPECT_EQ(bp().editColumn(), 1);
        EXPECT_EQ(QApplication::focusWidget(), bp().editor());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        settle();
    }

    serve(1, {answer({"NS"}, {"NS", "USER"}), expectAck()});
    QTest::mouseClick(viewport, Qt::LeftButton, {}, places[2].at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, places[2].at);
    ASSERT_TRUE(editor());
    QTest::keyClicks(QApplication::focusWidget(), "SUB+1");
    EXPECT_EQ(beeps.count, 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    EXPECT_EQ(bp().editColumn(), 2);
    QTest::keyClicks(QApplication::focusWidget(), "ABC+ ");   // neither belongs in a routine name
    EXPECT_EQ(beeps.count, 2);
    EXPECT_EQ(bp().editor()->text(), "ABC");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_EQ(heard(), (QList<QStringList>{{"!NS"}, {}, bpFrame("+", "SUB+1", "ABC", 1, 1)}));
}

TEST_F(BreakpointPane, CellValidationTable)
{
    pane->SetBP(record("A+1", "AAA", 1));
    // Typed text goes through the key filter character by character; pasted text through
    // the same filter as a whole.
    struct Case { int col; const char *typed; bool paste; const char *stored; };
    const Case cases[] = {
        {3, "", false, "1"}, {4, "0", false, ""}, {4, "007", false, "7"}, {4, "32767", false, "32767"},
        {4, "99999", false, "32767"},   // refused: the previous text stays
        {3, "4x2", false, "42"}, {1, "b%+.^ ", false, "b%+"}, {2, "r%.+", false, "r%."},
        {1, "\xC3\xA9+1", true, "\xC3\xA9+1"}, {1, "A.B", true, "\xC3\xA9+1"}, {3, "1a", true, "42"},
    };
    for (const Case &c : cases) {
        bp().setFocus();
        bp().setCurrentRowIndex(0);
        emit bp().cellDoubleClicked(0, c.col);
        ASSERT_TRUE(editor()) << c.typed;
        if (c.paste) {
            editor()->insert(QString::fromUtf8(c.typed));
        } else {
            editor()->clear();
            QTest::keyClicks(editor(), QString::fromUtf8(c.typed));
        }
        QTest::keyClick(editor(), Qt::Key_Return);
        if (bp().editor())
            QTest::keyClick(bp().editor(), Qt::Key_Escape);
        settle();
        EXPECT_EQ(bp().text(0, c.col), QString::fromUtf8(c.stored)) << c.typed;
    }
}

TEST_F(BreakpointPane, RefusedCommitsSendNothingAndReopenTheCell)
{
    FakeDocLink docLink;
    auto r = openRoutine(&docLink, "ABC", "ABC\t; hdr\r\nA\tS Y=2\r\n\tQ");
    QCoreApplication::processEvents();
    r->ToggleBreakpoint(2, 1);
    serve(0);
    bp().setFocus();
    bp().setCurrentRowIndex(0);
    emit bp().cellDoubleClicked(0, 1);
    ASSERT_TRUE(editor());
    editor()->setText("NOPE");
    QTest::keyClick(editor(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    EXPECT_EQ(bp().editColumn(), 1);
    EXPECT_EQ(bp().text(0, 1), "A");
    // Cancelling the reopened edit leaves the row as the server has it.
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(bp().isEditing());
    EXPECT_EQ(rowTexts(0), (QStringList{"A", "ABC", "1", "", ""}));
    // An emptied Routine is refused the same way, also through Down.
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    QTest::keyClick(editor(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    editor()->clear();
    QTest::keyClick(editor(), Qt::Key_Down);
    ASSERT_TRUE(editor());
    EXPECT_EQ(bp().editColumn(), 2);
    EXPECT_EQ(bp().editRow(), 0);
    EXPECT_EQ(bp().text(0, 2), "ABC");
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(heard(), QList<QStringList>{});
    EXPECT_EQ(bp().rowCount(), 2);
}

TEST_F(BreakpointPane, EditingARowWithdrawsItsOldContentOnce)
{
    pane->SetBP(record("A+1", "AAA", 1));
    const int id = bp().rowId(0);
    serve(2);
    bp().setFocus();
    bp().setCurrentRowIndex(0);
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    editor()->setText("A+3");
    // Down commits the row itself; the grid must not commit it a second time.
    QTest::keyClick(editor(), Qt::Key_Down);
    settle();
    EXPECT_EQ(bp().editRow(), 1);
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(heard(), (QList<QStringList>{bpFrame("-", "A+1", "AAA", 1, id), bpFrame("+", "A+3", "AAA", 1, id)}));
    EXPECT_EQ(bp().rowCount(), 2);
}

TEST_F(BreakpointPane, CancellingAfterTabMovesRestoresTheRow)
{
    pane->SetBP(record("A+1", "AAA", 1));
    serve(0);
    bp().setFocus();
    bp().setCurrentRowIndex(0);
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    editor()->setText("B+1");
    QTest::keyClick(editor(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    editor()->setText("BBB");
    QTest::keyClick(editor(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    editor()->setText("7");
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(rowTexts(0), (QStringList{"A+1", "AAA", "1", "", ""}));
    // The entry row goes back to blank.
    bp().setCurrentRowIndex(1);
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    editor()->setText("X");
    QTest::keyClick(editor(), Qt::Key_Tab);
    ASSERT_TRUE(editor());
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(rowTexts(1), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(heard(), QList<QStringList>{});
}

TEST_F(BreakpointPane, TabWrapsOverTheDisplayedColumnsAndNeverReachesTheCheckBox)
{
    struct Case { std::vector<int> order; int from; Qt::Key key; int to; };
    const Case cases[] = {
        {{0, 1, 2, 3, 4, 5}, 5, Qt::Key_Tab, 1},
        {{0, 1, 2, 3, 4, 5}, 1, Qt::Key_Backtab, 5},
        {{0, 5, 1, 2, 3, 4}, 4, Qt::Key_Tab, 5},
        {{0, 5, 1, 2, 3, 4}, 5, Qt::Key_Backtab, 4},
        {{1, 2, 3, 0, 4, 5}, 3, Qt::Key_Tab, 4},
        {{1, 2, 3, 0, 4, 5}, 5, Qt::Key_Tab, 1},
    };
    QHeaderView *header = bp().header();
    for (const Case &c : cases) {
        for (int pos = 0; pos < int(c.order.size()); ++pos)
            header->moveSection(header->visualIndex(c.order[pos]), pos);
        emit bp().cellDoubleClicked(0, c.from);
        ASSERT_TRUE(editor());
        QTest::keyClick(editor(), c.key);
        ASSERT_TRUE(editor());
        EXPECT_EQ(bp().editColumn(), c.to) << c.from;
        QTest::keyClick(editor(), Qt::Key_Escape);
        settle();
    }
}

TEST_F(BreakpointPane, ADuplicateMadeByAnEditLeavesOneRow)
{
    pane->SetBP(record("A+1", "AAA", 1));
    pane->SetBP(record("A+2", "AAA", 1));
    const int edited = bp().rowId(1);
    serve(2);
    bp().setFocus();
    bp().setCurrentRowIndex(1);
    QTest::keyClick(&bp(), Qt::Key_Return);
    ASSERT_TRUE(editor());
    editor()->setText("A+1");
    QTest::keyClick(editor(), Qt::Key_Return);
    settle();
    EXPECT_EQ(heard(), (QList<QStringList>{bpFrame("-", "A+2", "AAA", 1, edited), bpFrame("+", "A+1", "AAA", 1, edited)}));
    ASSERT_EQ(bp().rowCount(), 2);
    EXPECT_EQ(bp().rowId(0), edited);
    EXPECT_EQ(bp().selectedRows(), QList<int>{0});
}

TEST_F(BreakpointPane, TabImageFollowsEveryRemoval)
{
    QTabBar *tabs = pane->TabStrip()->tabBar();
    EXPECT_EQ(tabs->tabData(0).toString(), "");
    pane->SetBP(record("A+1", "AAA", 1, false));
    EXPECT_EQ(tabs->tabData(0).toString(), "Unchecked");
    pane->SetBP(record("A+2", "AAA", 1));
    EXPECT_EQ(tabs->tabData(0).toString(), "Checked");
    pane->DeleteBP(record("A+2", "AAA", 1), true);
    EXPECT_EQ(tabs->tabData(0).toString(), "Unchecked");
    pane->DeleteBP(record("A+1", "AAA", 1), true);
    EXPECT_EQ(tabs->tabData(0).toString(), "");
}

TEST_F(BreakpointPane, ShowBPSelectsTheRowOnTheCodeTab)
{
    pane->SetBP(record("A+1", "AAA", 3));
    pane->SetBP(record("B", "AAA", 1));
    pane->TabStrip()->setCurrentIndex(1);
    // Not open, the routine's rows sort by command: B (1) before A+1 (3).
    pane->ShowBP("USER", "AAA", "A", 1);
    EXPECT_EQ(pane->TabStrip()->currentIndex(), 0);
    EXPECT_EQ(bp().selectedRows(), QList<int>{1});
    pane->ShowBP("USER", "AAA", "B", 0);
    EXPECT_EQ(bp().selectedRows(), QList<int>{0});
    pane->ShowBP("OTHER", "AAA", "A", 1);   // the namespace must match
    EXPECT_EQ(bp().selectedRows(), QList<int>{0});
    EXPECT_EQ(pane->SelectedList(), pane->BPList());
}

TEST_F(BreakpointPane, SpaceDeleteInsertAndTheHeader)
{
    pane->SetBP(record("A+1", "AAA", 1));
    pane->SetBP(record("B+1", "AAA", 1));
    pane->SetBP(record("C+1", "AAA", 1, false));
    const int a = bp().rowId(0), b = bp().rowId(1), c = bp().rowId(2);
    serve(7);
    bp().setFocus();
    // Space: the current row is enabled, so every selected row is disabled, last first.
    bp().clearSelection();
    for (int row : {0, 1, 2})
        bp().topLevelItem(row)->setSelected(true);
    bp().setCurrentRowIndex(1);
    QTest::keyClick(&bp(), Qt::Key_Space);
    // The header of the check boxes: the first selected row is disabled, so all are enabled.
    emit bp().header()->sectionDoubleClicked(0);
    // Delete with the entry row selected too: the entry row stays.
    bp().clearSelection();
    bp().topLevelItem(1)->setSelected(true);
    bp().topLevelItem(3)->setSelected(true);
    QTest::keyClick(&bp(), Qt::Key_Delete);
    EXPECT_EQ(heard(), (QList<QStringList>{bpFrame("-", "C+1", "AAA", 1, c), bpFrame("-", "B+1", "AAA", 1, b),
                                           bpFrame("-", "A+1", "AAA", 1, a), bpFrame("+", "A+1", "AAA", 1, a),
                                           bpFrame("+", "B+1", "AAA", 1, b), bpFrame("+", "C+1", "AAA", 1, c),
                                           bpFrame("-", "B+1", "AAA", 1, b)}));
    ASSERT_EQ(bp().rowCount(), 3);
    EXPECT_EQ(bp().text(1, 1), "C+1");
    EXPECT_EQ(bp().text(2, 1), "");
}

TEST_F(BreakpointPane, InsertThenEscapeRemovesTheRow)
{
    for (const char *line : {"A+1", "A+2", "A+3", "A+4"})
        pane->SetBP(record(line, "AAA", 1));
    bp().setFocus();
    bp().setCurrentRowIndex(3);
    QTest::keyClick(&bp(), Qt::Key_Insert);
    ASSERT_TRUE(editor());
    EXPECT_EQ(bp().editRow(), 3);
    EXPECT_EQ(bp().rowCount(), 6);
    QTest::keyClick(editor(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(bp().rowCount(), 5);
    EXPECT_EQ(bp().text(3, 1), "A+4");
    // A blank row inserted and not filled goes nowhere at a greeting.
    QTest::keyClick(&bp(), Qt::Key_Insert);
    settle();
    serve(4);
    pane->SetBPsOnServer();
    EXPECT_EQ(heard().size(), 4);
}

TEST_F(BreakpointPane, TipsAndSettingsRoundTrip)
{
    EXPECT_EQ(frmBreakpoints::headerTip(false, 0, 1), "");
    EXPECT_EQ(frmBreakpoints::headerTip(false, 0, 2),
              "Double-click column header to disable or enable all code breakpoints");
    EXPECT_EQ(frmBreakpoints::headerTip(true, 1, 1), "Expression to monitor, breaking when its value changes");
    pane->SetBP(record("A+1", "AAA", 1));
    pane->UpdateBP(bp().rowId(0), "<SYNTAX>", -1);
    EXPECT_EQ(pane->cellTip(false, 0, 5), "Error when condition was last tested: <SYNTAX>");
    EXPECT_EQ(pane->cellTip(false, 0, 4), "");

    for (QTreeWidget *grid : {pane->BPList(), pane->WPList()}) {
        grid->header()->setStretchLastSection(false);
        grid->header()->moveSection(3, 1);
        grid->header()->resizeSection(2, 91);
    }
    MementoPtr saved = pane->saveMemento();
    ASSERT_TRUE(saved);
    EXPECT_TRUE(saved->names().contains("WColSeq1"));
    frmBreakpoints copy;
    for (QTreeWidget *grid : {copy.BPList(), copy.WPList()})
        grid->header()->setStretchLastSection(false);
    copy.restoreMemento(*saved);
    for (auto [from, to] : {std::pair{pane->BPList(), copy.BPList()}, std::pair{pane->WPList(), copy.WPList()}}) {
        for (int col = 0; col < from->columnCount(); ++col) {
            EXPECT_EQ(to->header()->visualIndex(col), from->header()->visualIndex(col)) << col;
            EXPECT_EQ(to->header()->sectionSize(col), from->header()->sectionSize(col)) << col;
        }
    }
}

// The check box column moves like any other, and others move in front of it; the
// drag toggles no breakpoint.
TEST_F(BreakpointPane, EveryColumnMovesByItsHeaderTheCheckBoxToo)
{
    pane->SetBP(record("A+1", "AAA", 1));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    QHeaderView *header = bp().header();
    const auto order = [&] {
        std::vector<int> columns;
        for (int position = 0; position < header->count(); ++position)
            columns.push_back(header->logicalIndex(position));
        return columns;
    };
    dragHeader(header, 1, 0, true);   // "Line" onto the left half of the check box's header
    EXPECT_EQ(order(), (std::vector<int>{1, 0, 2, 3, 4, 5}));
    dragHeader(header, 0, 5, false);   // the check box onto the right half of "Condition"
    EXPECT_EQ(order(), (std::vector<int>{1, 2, 3, 4, 5, 0}));
    EXPECT_NE(bp().number(0, 0), 0);   // still enabled
}

} // namespace
