// Showing routines read-only or for editing, jumping to line references and going back:
// the requests, acknowledgements and boxes of each path against a scripted link, then the
// same flows frame by frame against the scripted M server.

#include "docfixtures.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "module1.h"
#include "mserver.h"
#include "navigationhistory.h"
#include "routinenavigator.h"
#include "vantrelerror.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using Answer = IUserPrompt::Answer;

namespace {

// A code window that refuses the read-only switch, as the real one does while frozen.
class RefusingWindow : public FakeCodeWindow
{
public:
    explicit RefusingWindow(const bool *refuse) : FakeCodeWindow(true), m_refuse(refuse) {}
    void setReadOnly(bool value) override
    {
        if (*m_refuse)
            throw VantrelError(Routine::ReadOnlyIdentity,
                               QStringLiteral("ReadOnly property is read-only while Frozen is true"));
        FakeCodeWindow::setReadOnly(value);
    }

private:
    const bool *m_refuse;
};

// The main window: it notes what had gone out on the link when a server prompt was shown,
// and (forModule1) shows the prompt as the real window does.
class PromptingHost : public FakeHost
{
public:
    bool ServerPrompt(QStringList &fields) override
    {
        logAtPrompt = link ? link->log : QStringList();
        if (forModule1) {
            prompts.push_back(fields);
            return Module1::ServerPrompt(fields);
        }
        return FakeHost::ServerPrompt(fields);
    }
    FakeDocLink *link = nullptr;
    bool forModule1 = false;
    QStringList logAtPrompt;
};

const QStringList fooLines = {"FOO\t; foo", "\tQ", "L\tS X=1", "\tQ"};
const QStringList barLines = {"BAR\t; bar", "START\tS X=1", "\tS Y=2", "\tS Z=3"};

QStringList sig(int typ, const QString &rtn, const QStringList &lines, const QString &brand = "b1")
{
    return {"SIG", QString::number(typ), rtn, "USER", "0", lines.join("\r\n"), brand};
}

class NavigatorTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        // Table tests set up afresh for each case.
        link = FakeDocLink();
        stack = FakeStackPane();
        mainWindow = PromptingHost();
        refuseReadOnly = false;
        dispatched.clear();
        DocServices &s = docServices();
        s.codeWindowFactory = [this] { return std::make_unique<RefusingWindow>(&refuseReadOnly); };
        s.stack = &stack;
        s.host = &mainWindow;
        mainWindow.link = &link;
        navigator = std::make_unique<RoutineNavigator>(
            link, *routines, [this](const QStringList &m) { dispatched.push_back(m); });
    }

    // Files a routine as the server would have given it, optionally shown and active.
    std::shared_ptr<Routine> open(const QString &rtn, const QStringList &lines, int typ = 1,
                                  bool readOnly = false, bool activate = true)
    {
        QString name = rtn, env = "USER", text = lines.join("\r\n"), line = "+1";
        auto r = Routine::from(routines->Add(&link, name, env, text, readOnly, line, typ, 0));
        r->setBrand("b1");
        if (activate)
            r->Activate(false);
        QCoreApplication::processEvents();
        return r;
    }
    static FakeCodeWindow *win(const Routine &r) { return static_cast<FakeCodeWindow *>(r.Window()); }
    QString activeKey() const { return routines->Active() ? routines->Active()->Key() : QString(); }
    std::shared_ptr<Routine> item(const QString &key) const { return Routine::from(routines->Item(key)); }
    void script(const std::vector<QStringList> &replies) { link.replies.assign(replies.begin(), replies.end()); }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &q : prompt->asked)
            out << q.title;
        return out;
    }

    FakeDocLink link;
    FakeStackPane stack;
    PromptingHost mainWindow;
    bool refuseReadOnly = false;
    std::vector<QStringList> dispatched;
    std::unique_ptr<RoutineNavigator> navigator;
};

// ---- the history ---------------------------------------------------------------------------

TEST(NavigationHistory, KeepsAtMost99PlacesNewestLastWithTheirTypes)
{
    NavigationHistory h;
    EXPECT_TRUE(h.isEmpty());
    EXPECT_EQ(h.newest().text, "");
    for (int i = 1; i <= 99; ++i)
        h.push(QStringLiteral("+%1^R^USER").arg(i), 1 + i % 3);
    EXPECT_EQ(h.count(), 99);
    h.push("+100^R^USER", 2);   // the hundredth drops the oldest
    EXPECT_EQ(h.count(), 99);
    h.push("+101^R^USER", 3);
    EXPECT_EQ(h.count(), 99);
    EXPECT_EQ(h.newest().text, "+101^R^USER");
    EXPECT_EQ(h.popNewest().type, 3);
    EXPECT_EQ(h.popNewest().text, "+100^R^USER");
    while (h.count() > 1)
        h.popNewest();
    EXPECT_EQ(h.newest().text, "+3^R^USER");   // 1 and 2 went first
    EXPECT_EQ(h.newest().type, 1);
    h.popNewest();
    EXPECT_TRUE(h.isEmpty());
    EXPECT_EQ(h.popNewest().type, 0);
}

TEST_F(NavigatorTest, JumpsBetweenOpenRoutinesRecordAtMost99PlacesAndAskNothing)
{
    open("FOO", fooLines);
    open("BAR", barLines);
    for (int i = 0; i < 100; ++i)
        navigator->ShowAtTag(i % 2 ? "START^BAR^USER" : "L^FOO^USER", true, false);
    EXPECT_EQ(navigator->history().count(), 99);
    EXPECT_EQ(navigator->history().newest().text, "L^FOO^USER");
    EXPECT_TRUE(link.log.isEmpty());
    EXPECT_EQ(activeKey(), "USER^BAR^1");

    // A bare line reference is a line of the active routine.
    navigator->ShowAtTag("START+2", false, false);
    EXPECT_EQ(win(*item("USER^BAR^1"))->caretLine(), 3);
    EXPECT_TRUE(link.log.isEmpty());
}

// ---- jumping to a line reference -------------------------------------------------------------

TEST_F(NavigatorTest, JumpsToAnUnopenedRoutineRecordingWhereTheUserWas)
{
    struct Case
    {
        const char *name;
        int activeType;   // of routine BAR, the active document
        QString target;
        bool busy;
        std::vector<QStringList> replies;
        QStringList log;
        QString activeKey;
        int caretLine;    // 0-based, in the document shown
    };
    const std::vector<Case> cases = {
        {"an empty label part is +1", 1, "^FOO^USER", false, {sig(1, "FOO", fooLines)},
         {"T:SIG|1|FOO|USER|1", "S:"}, "USER^FOO^1", 0},
        {"a bare routine is in the session's namespace", 1, "L^FOO", false, {sig(1, "FOO", fooLines)},
         {"T:SIG|1|FOO|USER|1", "S:"}, "USER^FOO^1", 2},
        {"a MAC routine the server lacks is looked for as INT", 2, "L^FOO^USER", false,
         {{"SIE", "0"}, sig(1, "FOO", fooLines)},
         {"T:SIE|2|FOO|USER", "S:", "T:SIG|1|FOO|USER|1", "S:"}, "USER^FOO^1", 2},
        {"a MAC routine the server has", 2, "L^FOO^USER", false, {{"SIE", "1"}, sig(2, "FOO", fooLines)},
         {"T:SIE|2|FOO|USER", "S:", "T:SIG|2|FOO|USER|1", "S:"}, "USER^FOO^2", 2},
        {"any other answer to SIE is acknowledged, not dispatched", 2, "L^FOO^USER", false,
         {{"MSG", "Timed out"}, sig(2, "FOO", fooLines)},
         {"T:SIE|2|FOO|USER", "S:", "T:SIG|2|FOO|USER|1", "S:"}, "USER^FOO^2", 2},
        {"a busy session loads nothing", 1, "L^FOO^USER", true, {}, {}, "USER^BAR^1", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        auto bar = open("BAR", barLines, c.activeType);
        win(*bar)->setCaret(2, 3);
        mainWindow.busy = c.busy;
        script(c.replies);

        navigator->ShowAtTag(c.target, true, false);

        EXPECT_EQ(link.log, c.log);
        EXPECT_TRUE(dispatched.empty());
        EXPECT_EQ(activeKey(), c.activeKey);
        if (auto shown = item(c.activeKey)) {
            EXPECT_EQ(win(*shown)->caretLine(), c.caretLine);
            EXPECT_EQ(shown->ReadOnly(), c.activeKey != "USER^BAR^1");
        }
        EXPECT_EQ(navigator->history().newest().text, "START+2^BAR^USER");
        EXPECT_EQ(navigator->history().newest().type, c.activeType);
        if (c.busy) {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].title, "Server is busy");
            EXPECT_EQ(prompt->asked[0].text, "Unable to load ^FOO");
            EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Exclamation);
        } else {
            EXPECT_TRUE(prompt->asked.empty());
        }
    }
}

TEST_F(NavigatorTest, JumpsIntoAnOpenRoutineEditingItWhenAskedTo)
{
    struct Case
    {
        const char *name;
        bool readOnly, editable;
        QStringList log;
        bool readOnlyAfter;
    };
    const std::vector<Case> cases = {
        {"editable, shown", false, false, {}, false},
        {"read-only, shown", true, false, {}, true},
        {"editable, edited", false, true, {}, false},
        {"read-only, edited: closed and fetched for editing", true, true, {"T:SIG|1|FOO|USER|0", "S:"}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        open("FOO", fooLines, 1, c.readOnly, false);
        open("BAR", barLines);
        script({sig(1, "FOO", fooLines, "b2")});

        navigator->ShowAtTag("L+1^FOO^USER", false, c.editable);

        EXPECT_EQ(link.log, c.log);
        EXPECT_EQ(activeKey(), "USER^FOO^1");
        auto foo = item("USER^FOO^1");
        ASSERT_TRUE(foo);
        EXPECT_EQ(foo->ReadOnly(), c.readOnlyAfter);
        EXPECT_EQ(win(*foo)->caretLine(), 3);
        EXPECT_TRUE(navigator->history().isEmpty());
    }
}

TEST_F(NavigatorTest, GoingBackFromAnIntRoutineReturnsToTheMacRoutineLeft)
{
    auto bar = open("BAR", barLines, 2);
    win(*bar)->setCaret(0, 3);
    script({{"SIE", "0"}, sig(1, "FOO", fooLines)});
    navigator->ShowAtTag("^FOO^USER", true, false);
    ASSERT_EQ(activeKey(), "USER^FOO^1");
    link.log.clear();

    const NavigationHistory::Place place = navigator->history().newest();
    navigator->ShowAtTag(place.text, false, false, place.type);

    EXPECT_TRUE(link.log.isEmpty());   // not "!SIG" [1, "BAR", …] for an INT BAR
    EXPECT_EQ(activeKey(), "USER^BAR^2");
    EXPECT_EQ(win(*bar)->caretLine(), 3);
    EXPECT_EQ(routines->Count(), 2);
}

// ---- showing read-only ------------------------------------------------------------------------

TEST_F(NavigatorTest, AStackLevelCopiesAnEditableDocumentWithoutAsking)
{
    for (bool modified : {false, true}) {
        SCOPED_TRACE(modified ? "modified" : "unmodified");
        TearDown();
        SetUp();
        auto editable = open("FOO", fooLines);
        editable->document()->SetModified(modified);
        script({sig(1, "FOO", fooLines, "b2")});

        RoutineDocPtr out;
        EXPECT_TRUE(navigator->ShowRoutine("FOO", "USER", 3, "L", false, 1, out));

        EXPECT_TRUE(prompt->asked.empty());
        EXPECT_EQ(link.log, (QStringList{"T:SIG|1|FOO|USER|1", "S:"}));
        auto copy = Routine::from(out);
        ASSERT_TRUE(copy);
        EXPECT_EQ(routines->Item("USER^FOO^1"), out);
        EXPECT_TRUE(copy->ReadOnly());
        EXPECT_EQ(copy->LowWaterMark(), 3);
        EXPECT_EQ(copy->Brand(), "b2");
        EXPECT_TRUE(copy->Visible());
        EXPECT_EQ(win(*copy)->caretLine(), 2);
        EXPECT_TRUE(editable->Frozen());
        EXPECT_EQ(routines->frozenItem("USER^FOO^1").get(), editable.get());
    }
}

TEST_F(NavigatorTest, AtLevelZeroAnEditableDocumentIsSwitchedOrCopiedOnlyAfterAsking)
{
    const QString switchText = "FOO.int from USER is already open for editing.\r\n\r\n"
                               "Do you want to switch to read-only mode?";
    const QString copyText = "FOO.int from USER is already open for editing and has been modified.\r\n\r\n"
                             "If you re-open it read-only the modified version will be frozen until you "
                             "close the read-only copy.\r\n\r\nDo you want to create the read-only copy?";
    struct Case
    {
        const char *name;
        bool modified;
        Answer answer;
        QString title, text;
        QStringList log;
        bool result, copied;
    };
    const std::vector<Case> cases = {
        {"switched", false, Answer::Yes, "Switch to Read-Only?", switchText,
         {"S:SIU|1|FOO|USER", "T:SIR|1|FOO|USER|b1", "S:"}, true, false},
        {"not switched", false, Answer::No, "Switch to Read-Only?", switchText, {}, false, false},
        {"copied", true, Answer::Yes, "Open Another Instance?", copyText, {"T:SIG|1|FOO|USER|1", "S:"}, true, true},
        {"not copied", true, Answer::No, "Open Another Instance?", copyText, {}, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        auto editable = open("FOO", fooLines);
        editable->setHoldsLock(true);
        editable->document()->SetModified(c.modified);
        open("BAR", barLines);
        prompt->answers = {c.answer};
        script({c.copied ? sig(1, "FOO", fooLines) : QStringList{"SIR"}});

        RoutineDocPtr out;
        EXPECT_EQ(navigator->ShowRoutine("FOO", "USER", 0, "+1", true, 1, out), c.result);

        ASSERT_EQ(prompt->asked.size(), 1u);
        EXPECT_EQ(prompt->asked[0].title, c.title);
        EXPECT_EQ(prompt->asked[0].text, c.text);
        EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::YesNo);
        EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Question);
        EXPECT_EQ(prompt->asked[0].defaultAnswer, Answer::No);
        EXPECT_EQ(link.log, c.log);
        EXPECT_EQ(activeKey(), "USER^FOO^1");   // shown also when the user said No
        EXPECT_EQ(editable->ReadOnly(), c.answer == Answer::Yes && !c.copied);
        EXPECT_EQ(editable->HoldsLock(), !(c.answer == Answer::Yes && !c.copied));
        EXPECT_EQ(editable->Frozen(), c.copied);
        EXPECT_EQ(out == nullptr, false);
        EXPECT_EQ(out.get() == editable.get(), !c.copied);
    }
}

TEST_F(NavigatorTest, AnOpenReadOnlyCopyIsRefreshedOnlyWhenItMayBeStale)
{
    struct Case
    {
        const char *name;
        QString rtn;
        int highWaterMark;
        bool visible, activate;
        QStringList log;
        bool visibleAfter;
    };
    const std::vector<Case> cases = {
        {"hidden, shown", "FOO", 0, false, true, {"T:SIR|1|FOO|USER|b1", "S:"}, true},
        {"hidden, not to be shown", "FOO", 0, false, false, {}, false},
        {"an @ routine", "@X", 0, false, true, {}, true},
        {"shown by a stack level", "FOO", 2, true, true, {}, true},
        {"kept for a stack level, hidden", "FOO", 2, false, true, {"T:SIR|1|FOO|USER|b1", "S:"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        auto copy = open(c.rtn, fooLines, 1, true, c.visible);
        copy->setHighWaterMark(c.highWaterMark);
        copy->setLowWaterMark(5);
        open("BAR", barLines, 1, false, false);
        script({{"SIR"}});

        RoutineDocPtr out;
        EXPECT_TRUE(navigator->ShowRoutine(c.rtn, "USER", 2, "L", c.activate, 1, out));

        EXPECT_EQ(link.log, c.log);
        EXPECT_EQ(out.get(), copy.get());
        EXPECT_EQ(copy->LowWaterMark(), 2);
        EXPECT_EQ(copy->Visible(), c.visibleAfter);
        EXPECT_EQ(activeKey(), c.activate ? copy->Key() : QString());
    }
}

TEST_F(NavigatorTest, ARefreshReloadsOnlyWhenTheServerSendsText)
{
    const QString newText = "FOO\t; new\r\n\tQ";
    struct Case
    {
        QStringList reply;
        QString line1, brand;
        int status;
    };
    const std::vector<Case> cases = {
        {{"SIR"}, "FOO\t; foo", "b1", 7},
        {{"SIR", "1", "FOO", "USER", newText, "b2"}, "FOO\t; new", "b2", 7},
        {{"SIR", "1", "FOO", "USER", newText, "b2", ""}, "FOO\t; new", "b2", 7},
        {{"SIR", "1", "FOO", "USER", newText, "b2", "3"}, "FOO\t; new", "b2", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply.join('|').toStdString());
        TearDown();
        SetUp();
        auto copy = open("FOO", fooLines, 1, true, false);
        copy->setTarvikStatus(7);
        script({c.reply});

        RoutineDocPtr out;
        EXPECT_TRUE(navigator->ShowRoutine("FOO", "USER", 0, "L", true, 1, out));

        EXPECT_EQ(copy->TextOfLine(1), c.line1);
        EXPECT_EQ(copy->Brand(), c.brand);
        EXPECT_EQ(copy->TarvikStatus(), c.status);
        EXPECT_TRUE(copy->ReadOnly());
        EXPECT_EQ(activeKey(), "USER^FOO^1");
        EXPECT_EQ(link.log.last(), "S:");
    }
}

TEST_F(NavigatorTest, ALevelInCodeWithoutARoutineGetsAnEmptyHiddenDocument)
{
    RoutineDocPtr out;
    EXPECT_TRUE(navigator->ShowRoutine("XECUTE", "USER", 4, "+1", true, 0, out));
    auto doc = Routine::from(out);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(link.log.isEmpty());
    EXPECT_EQ(doc->Key(), "USER^XECUTE^0");
    EXPECT_TRUE(doc->ReadOnly());
    EXPECT_FALSE(doc->Visible());
    EXPECT_EQ(doc->LowWaterMark(), 4);
    EXPECT_EQ(doc->saveText(), "");
}

// ---- replies other than the one awaited --------------------------------------------------------

// ShowNew: ShowRoutine of a routine not open (or open for editing); ShowRefresh: of one
// open read-only, or switched to read-only; Edit: EditRoutine.
enum class Op { ShowNew, ShowRefresh, Edit };

TEST_F(NavigatorTest, ServerPromptsAreAcknowledgedAndNeverCountAsAnOpenedDocument)
{
    struct Case
    {
        const char *name;
        Op op;
        bool answer;
        QString request;
        bool ackBeforePrompt;
    };
    const std::vector<Case> cases = {
        {"show, fetched, OK", Op::ShowNew, true, "T:SIG|1|FOO|USER|1", false},
        {"show, fetched, Cancel", Op::ShowNew, false, "T:SIG|1|FOO|USER|1", false},
        {"show, refreshed", Op::ShowRefresh, true, "T:SIR|1|FOO|USER|b1", false},
        {"edit, OK", Op::Edit, true, "T:SIG|1|FOO|USER|0", true},
        {"edit, Cancel", Op::Edit, false, "T:SIG|1|FOO|USER|0", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const QStringList sim = {"SIM", "1", "Routine FOO is being compiled"};
        std::shared_ptr<Routine> copy;
        if (c.op == Op::ShowRefresh)
            copy = open("FOO", fooLines, 1, true, false);
        script({sim});
        mainWindow.promptAnswer = c.answer;

        RoutineDocPtr out;
        bool wasReadonly = true;
        const bool result = c.op == Op::Edit
                                ? navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out)
                                : navigator->ShowRoutine("FOO", "USER", 0, "+1", true, 1, out);

        EXPECT_FALSE(result);
        EXPECT_EQ(out.get(), copy.get());     // nothing new, the open copy stays as it was
        EXPECT_TRUE(prompt->asked.empty());   // no developer's box
        ASSERT_EQ(mainWindow.prompts.size(), 1u);
        EXPECT_EQ(mainWindow.prompts[0], sim);
        EXPECT_EQ(link.log, (QStringList{c.request, "S:"}));
        EXPECT_EQ(mainWindow.logAtPrompt.contains("S:"), c.ackBeforePrompt);
        EXPECT_TRUE(dispatched.empty());
        EXPECT_EQ(routines->Count(), c.op == Op::ShowRefresh ? 1 : 0);
        if (c.op == Op::Edit) {
            EXPECT_FALSE(wasReadonly);
        }
    }
}

TEST_F(NavigatorTest, RepliesOfAnotherCodeAreDispatchedAndNotAcknowledged)
{
    struct Case
    {
        const char *name;
        Op op;
        QStringList reply;
        QString request;
    };
    const std::vector<Case> cases = {
        {"show, fetched", Op::ShowNew, {"STP", "1", "+3^ABC"}, "T:SIG|1|FOO|USER|1"},
        {"show, refreshed", Op::ShowRefresh, {"MSG", "Transaction timed out"}, "T:SIR|1|FOO|USER|b1"},
        {"edit", Op::Edit, {"STP", "1", "+3^ABC"}, "T:SIG|1|FOO|USER|0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.op == Op::ShowRefresh)
            open("FOO", fooLines, 1, true, false);
        script({c.reply});

        RoutineDocPtr out;
        bool wasReadonly = false;
        const bool result = c.op == Op::Edit
                                ? navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out)
                                : navigator->ShowRoutine("FOO", "USER", 0, "+1", true, 1, out);

        EXPECT_FALSE(result);
        EXPECT_EQ(link.log, QStringList{c.request});
        ASSERT_EQ(dispatched.size(), 1u);
        EXPECT_EQ(dispatched[0], c.reply);
        EXPECT_TRUE(prompt->asked.empty());
        EXPECT_EQ(activeKey(), "");
    }
}

// ---- editing ------------------------------------------------------------------------------------

TEST_F(NavigatorTest, EditingTakesTheLockOrRefusesARoutineOnTheStack)
{
    const QString stackText = "FOO from USER cannot be edited because it is in the execution stack of "
                              "the current debugging session.";
    struct Case
    {
        const char *name;
        int openAs;   // 0 not open, 1 read-only, 2 editable
        int typ;
        bool onStack;
        QStringList log;
        bool result;
        QString box;
    };
    const std::vector<Case> cases = {
        {"not open", 0, 1, false, {"T:SIG|1|FOO|USER|0", "S:"}, true, ""},
        {"open for editing", 2, 1, true, {}, true, ""},
        {"read-only, not on the stack", 1, 1, false, {"T:SIG|1|FOO|USER|0", "S:"}, true, ""},
        {"read-only INT on the stack", 1, 1, true, {}, false, stackText},
        {"read-only MAC on the stack", 1, 2, true, {"T:SIG|2|FOO|USER|0", "S:"}, true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        stack.inStack = c.onStack;
        stack.rtn = "FOO";
        stack.env = "USER";
        if (c.openAs != 0)
            open("FOO", fooLines, c.typ, c.openAs == 1, false);
        open("BAR", barLines);
        script({sig(c.typ, "FOO", fooLines, "b9")});

        RoutineDocPtr out;
        bool wasReadonly = true;
        EXPECT_EQ(navigator->EditRoutine("FOO", "USER", wasReadonly, c.typ, out), c.result);

        EXPECT_FALSE(wasReadonly);
        EXPECT_EQ(link.log, c.log);
        const QString key = Routine::KeyFor("FOO", "USER", c.typ);
        auto foo = item(key);
        ASSERT_TRUE(foo);
        EXPECT_EQ(out.get(), foo.get());
        EXPECT_EQ(foo->ReadOnly(), !c.result);
        EXPECT_EQ(activeKey(), c.result ? key : QString("USER^BAR^1"));
        if (!c.log.isEmpty()) {
            EXPECT_TRUE(foo->HoldsLock());
            EXPECT_EQ(foo->Brand(), "b9");
        }
        if (c.box.isEmpty()) {
            EXPECT_TRUE(prompt->asked.empty());
        } else {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].text, c.box);
            EXPECT_EQ(prompt->asked[0].title, "");
            EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Exclamation);
        }
    }
}

TEST_F(NavigatorTest, AReadOnlyCopyThatStaysOpenEndsTheAttemptToEdit)
{
    auto copy = open("FOO", fooLines, 1, true, false);
    copy->document()->SetModified(true);   // its close asks, and the cautious answer keeps it

    RoutineDocPtr out;
    bool wasReadonly = false;
    EXPECT_FALSE(navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out));

    EXPECT_FALSE(out);
    EXPECT_EQ(titles(), QStringList{"Save Changes?"});
    EXPECT_TRUE(link.log.isEmpty());
    EXPECT_EQ(routines->Item("USER^FOO^1").get(), copy.get());
}

TEST_F(NavigatorTest, ARefusalThatAllowsReadingBecomesAnOfferToOpenReadOnly)
{
    const QString offer = "Routine FOO from USER is not available for editing, for the following reason:"
                          "\r\n\r\nLocked by job 12\r\n\r\nDo you want to open it read-only?";
    for (bool consent : {true, false}) {
        SCOPED_TRACE(consent ? "yes" : "no");
        TearDown();
        SetUp();
        mainWindow.promptAnswer = consent;
        script({{"SIM", "3076", "@RO:Locked by job 12"}, sig(1, "FOO", fooLines)});

        RoutineDocPtr out;
        bool wasReadonly = false;
        EXPECT_EQ(navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out), consent);

        EXPECT_TRUE(wasReadonly);
        ASSERT_EQ(mainWindow.prompts.size(), 1u);
        EXPECT_EQ(mainWindow.prompts[0], (QStringList{"SIM", "3076", offer}));
        EXPECT_EQ(mainWindow.logAtPrompt, (QStringList{"T:SIG|1|FOO|USER|0", "S:"}));
        if (consent) {
            EXPECT_EQ(link.log, (QStringList{"T:SIG|1|FOO|USER|0", "S:", "T:SIG|1|FOO|USER|1", "S:"}));
            ASSERT_TRUE(out);
            EXPECT_TRUE(out->ReadOnly());
            EXPECT_FALSE(out->HoldsLock());
            EXPECT_EQ(activeKey(), "USER^FOO^1");
        } else {
            EXPECT_EQ(link.log, (QStringList{"T:SIG|1|FOO|USER|0", "S:"}));
            EXPECT_FALSE(out);
        }
    }
}

// ---- errors while filing a document --------------------------------------------------------------

TEST_F(NavigatorTest, AFilingErrorIsShownAcknowledgedAndReportedAsFailure)
{
    struct Case
    {
        const char *name;
        Op op;
        QStringList log;
        QString error;
    };
    const QString refused = "ReadOnly property is read-only while Frozen is true";
    const std::vector<Case> cases = {
        {"a stack copy with a modified frozen copy in the way", Op::ShowNew, {"T:SIG|1|FOO|USER|1", "S:"},
         "An older modified copy of USER^FOO^1 is still open in the execution stack"},
        // The reply granted the edit lock, and nothing holds it.
        {"fetched for editing", Op::Edit, {"T:SIG|1|FOO|USER|0", "S:", "S:SIU|1|FOO|USER"}, refused},
        {"switched to read-only", Op::ShowRefresh, {}, refused},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        std::shared_ptr<Routine> live;
        if (c.op == Op::ShowNew) {
            open("FOO", fooLines)->document()->SetModified(true);
            live = open("FOO", fooLines);   // freezes the modified one
        } else if (c.op == Op::ShowRefresh) {
            live = open("FOO", fooLines);
            live->setHoldsLock(true);
            prompt->answers = {Answer::Yes};
        }
        refuseReadOnly = c.op != Op::ShowNew;
        script({sig(1, "FOO", fooLines)});
        const int count = routines->Count();

        RoutineDocPtr out;
        bool wasReadonly = false;
        const bool result = c.op == Op::Edit
                                ? navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out)
                                : navigator->ShowRoutine("FOO", "USER", c.op == Op::ShowNew ? 3 : 0, "+1",
                                                         true, 1, out);

        EXPECT_FALSE(result);
        EXPECT_FALSE(out);
        EXPECT_EQ(link.log, c.log);
        ASSERT_FALSE(prompt->asked.empty());
        EXPECT_EQ(prompt->asked.back().text, c.error);
        EXPECT_EQ(routines->Count(), count);
        if (live) {
            EXPECT_EQ(routines->Item("USER^FOO^1").get(), live.get());
            EXPECT_FALSE(live->ReadOnly());
            EXPECT_EQ(live->HoldsLock(), c.op == Op::ShowRefresh);
        }
    }
}

// ---- all documents -------------------------------------------------------------------------------

TEST_F(NavigatorTest, SaveAllTriesEveryModifiedDocumentAndClearAllTipsEveryWindow)
{
    auto foo = open("FOO", fooLines);
    auto bar = open("BAR", barLines);
    auto baz = open("BAZ", barLines);
    foo->document()->SetModified(true);
    baz->document()->SetModified(true);
    script({{"MSG", "Save failed"}, {"SIP"}});

    EXPECT_FALSE(navigator->SaveAll());
    EXPECT_EQ(link.log, (QStringList{"T:SIP|1|FOO|USER|" + fooLines.join("\r\n"), "S:",
                                     "T:SIP|1|BAZ|USER|" + barLines.join("\r\n"), "S:"}));
    EXPECT_TRUE(foo->Modified());
    EXPECT_FALSE(baz->Modified());

    link.log.clear();
    script({{"SIP"}});
    EXPECT_TRUE(navigator->SaveAll());
    EXPECT_EQ(link.log.size(), 2);

    for (const auto &r : {foo, bar, baz})
        r->SetTip("V1:2", "tip");
    navigator->ClearAllTips();
    for (const auto &r : {foo, bar, baz})
        EXPECT_EQ(win(*r)->tipId, "");
}

// ---- on the scripted M server --------------------------------------------------------------------

using namespace mserver;

class NavigatorOnServer : public NavigatorTest
{
protected:
    void SetUp() override
    {
        NavigatorTest::SetUp();
        mainWindow.forModule1 = true;
        navigator = std::make_unique<RoutineNavigator>(
            docLink, *routines, [this](const QStringList &m) { dispatched.push_back(m); });
    }
    void connect(MServer &server)
    {
        ASSERT_TRUE(server.startAccepted(mlink));
        mlink.setBrand("CACHE");
        QString info = QStringLiteral("Cache:1:4");
        ASSERT_TRUE(mlink.VersionCheck(info));
    }
    std::shared_ptr<Routine> openOnServer(const QString &rtn, const QStringList &lines, int typ,
                                          bool readOnly = false)
    {
        QString name = rtn, env = "USER", text = lines.join("\r\n"), line = "+1";
        auto r = Routine::from(routines->Add(&docLink, name, env, text, readOnly, line, typ, 0));
        r->setBrand("b1");
        r->Activate(false);
        return r;
    }

    MLink mlink;
    MLinkDocLink docLink{&mlink};
};

TEST_F(NavigatorOnServer, AJumpFromAMacRoutineFallsBackToIntAndGoingBackAsksNothing)
{
    MServer server({
        answer({"SIE", "2", "FOO", "USER"}, {"SIE", "0"}),
        expectAck(),
        answer({"SIG", "1", "FOO", "USER", "1"}, sig(1, "FOO", fooLines)),
        expectAck(),
        expectSilence(150),
    });
    connect(server);
    auto bar = openOnServer("BAR", barLines, 2);
    win(*bar)->setCaret(0, 1);

    navigator->ShowAtTag("L^FOO^USER", true, false);
    ASSERT_EQ(activeKey(), "USER^FOO^1");
    EXPECT_TRUE(navigator->GoBack());

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(server.received(), (QList<Fields>{{"!SIE", "2", "FOO", "USER"}, {},
                                                {"!SIG", "1", "FOO", "USER", "1"}, {}}));
    EXPECT_EQ(activeKey(), "USER^BAR^2");
    EXPECT_EQ(win(*bar)->caretLine(), 1);
    EXPECT_TRUE(navigator->history().isEmpty());
    EXPECT_FALSE(navigator->GoBack());
}

TEST_F(NavigatorOnServer, ARefusalToEditIsAcknowledgedBeforeTheOfferToReadIsShown)
{
    MServer server({
        answer({"SIG", "1", "FOO", "USER", "0"}, {"SIM", "3076", "@RO:Locked by job 12"}),
        expectAck(),
        answer({"SIG", "1", "FOO", "USER", "1"}, sig(1, "FOO", fooLines)),
        expectAck(),
        expectSilence(100),
    });
    connect(server);
    prompt->answers = {Answer::Yes};

    RoutineDocPtr out;
    bool wasReadonly = false;
    EXPECT_TRUE(navigator->EditRoutine("FOO", "USER", wasReadonly, 1, out));

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(wasReadonly);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Routine FOO from USER is not available for editing, for the "
                                     "following reason:\r\n\r\nLocked by job 12\r\n\r\n"
                                     "Do you want to open it read-only?");
    EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::YesNo);
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->ReadOnly());
    EXPECT_EQ(Routine::from(out)->Brand(), "b1");
}

TEST_F(NavigatorOnServer, SwitchingToReadOnlyReleasesTheLockThenRefreshes)
{
    MServer server({
        expect({"SIU", "1", "FOO", "USER"}),
        answer({"SIR", "1", "FOO", "USER", "b1"}, {"SIR", "1", "FOO", "USER", "FOO\t; newer\r\n\tQ", "b2", "1"}),
        expectAck(),
        expectSilence(100),
    });
    connect(server);
    auto foo = openOnServer("FOO", fooLines, 1);
    foo->setHoldsLock(true);
    prompt->answers = {Answer::Yes};

    RoutineDocPtr out;
    EXPECT_TRUE(navigator->ShowRoutine("FOO", "USER", 0, "+1", true, 1, out));

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(titles(), QStringList{"Switch to Read-Only?"});
    EXPECT_TRUE(foo->ReadOnly());
    EXPECT_FALSE(foo->HoldsLock());
    EXPECT_EQ(foo->TextOfLine(1), "FOO\t; newer");
    EXPECT_EQ(foo->Brand(), "b2");
    EXPECT_EQ(foo->TarvikStatus(), 1);
}

TEST_F(NavigatorOnServer, AnUnexpectedReplyGoesToTheDispatcherWithoutAnAcknowledgement)
{
    MServer server({
        answer({"SIG", "1", "FOO", "USER", "1"}, {"STP", "1", "+3^ABC"}),
        expectSilence(150),
    });
    connect(server);

    RoutineDocPtr out;
    EXPECT_FALSE(navigator->ShowRoutine("FOO", "USER", 0, "+1", true, 1, out));

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(dispatched, (std::vector<QStringList>{{"STP", "1", "+3^ABC"}}));
    EXPECT_EQ(server.received(), (QList<Fields>{{"!SIG", "1", "FOO", "USER", "1"}}));
    EXPECT_FALSE(out);
}

} // namespace
