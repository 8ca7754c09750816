// The life of routine documents in the open-routine collection, with real documents on
// fake windows: new routines, the text as it arrives from the server, hiding and closing,
// saving from the close prompts, and the collection's keys through renames.

#include "docfixtures.h"
#include "routine.h"
#include "routines.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>

namespace {

class Lifecycle : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        DocServices &s = docServices();
        s.codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        s.reportPane = [this] { return &report; };
        s.saveAs = &saveAs;
    }

    std::shared_ptr<Routine> open(const QString &rtn, const QString &text, int typ = 1,
                                  const QString &env = QStringLiteral("USER"))
    {
        auto doc = openRoutine(&link, rtn, text, typ, env);
        QCoreApplication::processEvents();
        return doc;
    }
    std::shared_ptr<Routine> newRoutine()
    {
        QString name, env, text, line;
        bool readOnly = false;
        return Routine::from(routines->Add(&link, name, env, text, readOnly, line, 1, 0));
    }
    static FakeCodeWindow *win(Routine &r) { return static_cast<FakeCodeWindow *>(r.Window()); }

    FakeDocLink link;
    FakeReportPane report;
    FakeSaveAs saveAs;
};

TEST_F(Lifecycle, TextFromTheServerOpensUnmodifiedWhateverItsLineEnds)
{
    // Labels followed by a space are normalised to a TAB without marking the routine.
    auto r = open("ABC", "ABC ; hdr\r\nA S X=1\nB\tQ\r\tQ");
    EXPECT_EQ(r->document()->NumLines(), 4);
    EXPECT_EQ(r->LineOfLabel("A"), 2);
    EXPECT_EQ(r->LineOfLabel("B"), 3);
    EXPECT_FALSE(r->Modified());
    prompt->asked.clear();
    EXPECT_TRUE(r->CloseDoc(false));
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(Lifecycle, AnUntitledRoutineClosesOnlyWhenTheSaveAsDialogSavesIt)
{
    auto r = newRoutine();
    EXPECT_EQ(r->Key(), "^Rtn1^1");
    EXPECT_FALSE(r->ReadOnly());
    EXPECT_EQ(win(*r)->caretLine(), 1);
    EXPECT_EQ(win(*r)->caretColumn(), 1);
    r->document()->Insert(1, 1, "Q");
    ASSERT_TRUE(r->Modified());

    prompt->answers = {IUserPrompt::Answer::Yes};
    saveAs.cancel = true;
    EXPECT_FALSE(r->CloseDoc(false));
    ASSERT_EQ(prompt->asked.size(), 1u);
    const IUserPrompt::Question &q = prompt->asked[0];
    EXPECT_EQ(q.title, "Save New Routine?");
    EXPECT_EQ(q.text, "The new routine Rtn1.int has not yet been saved. Do you want to save it?");
    EXPECT_EQ(q.buttons, IUserPrompt::Buttons::YesNoCancel);
    EXPECT_EQ(q.icon, IUserPrompt::Icon::Question);
    EXPECT_EQ(win(*r)->routine(), r.get());

    prompt->answers = {IUserPrompt::Answer::Yes};
    saveAs.cancel = false;
    EXPECT_TRUE(routines->Remove(r->Key(), false, false));
    EXPECT_EQ(saveAs.shown, 2);
    EXPECT_EQ(win(*r)->routine(), nullptr);
    EXPECT_EQ(routines->Count(), 0);
    EXPECT_TRUE(link.log.isEmpty());
}

TEST_F(Lifecycle, AnsweringSaveWhenTheServerRefusesKeepsTheDocumentAndItsLock)
{
    auto r = open("ABC", "ABC\t; x\r\n\tQ");
    r->document()->Insert(1, 1, "S X=1 ");
    r->setHoldsLock(true);
    link.log.clear();
    link.replies = {{"MSG", "Routine is locked by job 42"}};
    prompt->answers = {IUserPrompt::Answer::Yes};

    EXPECT_FALSE(routines->Remove(r->Key(), false, false));
    EXPECT_EQ(link.log, (QStringList{"T:SIP|1|ABC|USER|ABC\t; x\r\n\tS X=1 Q", "S:"}));
    ASSERT_EQ(prompt->asked.size(), 2u);
    EXPECT_EQ(prompt->asked[0].title, "Save Changes?");
    EXPECT_EQ(prompt->asked[1].text, "Routine is locked by job 42");
    EXPECT_EQ(prompt->asked[1].buttons, IUserPrompt::Buttons::Ok);
    EXPECT_TRUE(r->Modified());
    EXPECT_TRUE(r->HoldsLock());
    EXPECT_EQ(win(*r)->routine(), r.get());
    EXPECT_EQ(routines->Item(r->Key()), r);

    // Busy without a lock: the short form of the question.
    host.busy = true;
    r->setHoldsLock(false);
    prompt->asked.clear();
    prompt->answers = {IUserPrompt::Answer::No};
    EXPECT_FALSE(r->CloseDoc(false));
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text,
              "Server is not currently able to save your modified routine.\rIt might be busy "
              "processing application code.\r\rClose it anyway, and lose changes?");
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Question);
    EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::YesNo);
    host.busy = false;
}

TEST_F(Lifecycle, ReopeningAnOpenRoutineFreezesTheOldWindowAndShutdownReleasesBothLocks)
{
    auto older = open("ABC", "ABC\t; v1\r\n\tQ");
    older->setVisible(true);
    older->Activate(true);
    win(*older)->lineWrap = true;
    older->setHoldsLock(true);
    auto newer = open("ABC", "ABC\t; v2\r\n\tQ");
    EXPECT_TRUE(older->Frozen());
    EXPECT_FALSE(newer->Frozen());
    EXPECT_TRUE(newer->LineWrap());   // taken from the active document
    EXPECT_EQ(routines->Item("USER^ABC^1"), newer);
    EXPECT_EQ(routines->frozenItem("USER^ABC^1"), older);
    newer->setHoldsLock(true);

    link.log.clear();
    routines->shutdown();
    EXPECT_EQ(link.log, (QStringList{"S:SIU|1|ABC|USER", "S:SIU|1|ABC|USER"}));
    EXPECT_EQ(routines->Count(), 0);
    EXPECT_EQ(routines->frozenCount(), 0);
}

TEST_F(Lifecycle, AFreedDocumentIsHiddenAtTheTopAndComesBackActive)
{
    auto r = open("ABC", "ABC\t; x\r\n\tS X=1\r\n\tQ");
    r->Activate(true);
    win(*r)->setCaret(3, 2);
    routines->Free(r->Key(), false);
    EXPECT_FALSE(r->Visible());
    EXPECT_EQ(r->LowWaterMark(), 9999);
    EXPECT_EQ(win(*r)->caretLine(), 0);
    EXPECT_EQ(win(*r)->caretColumn(), 0);
    EXPECT_EQ(routines->Active(), nullptr);
    EXPECT_EQ(routines->hiddenKeys(), QStringList{"USER^ABC^1"});
    routines->Allocate(r->Key(), true);
    EXPECT_TRUE(r->Visible());
    EXPECT_TRUE(routines->hiddenKeys().isEmpty());
}

// The Save As dialog as it saves: the document takes its new name (and with it a new key
// in the collection) and the lock of the item it was saved to.
class RenamingSaveAs : public ISaveAsDialog
{
public:
    bool DoIt(Routine &routine) override
    {
        QString rtn = name, env = QStringLiteral("USER");
        int typ = 1;
        if (!routine.Rename(rtn, env, typ))
            return true;
        routine.setHoldsLock(true);
        return false;
    }
    QString name = QStringLiteral("SAVED");
};

// A link whose transaction lets other server messages be handled before the reply, as the
// real link does while it waits.
class DispatchingLink : public FakeDocLink
{
public:
    QStringList Transact(int timeout, const QStringList &request) override
    {
        if (whileWaiting) {
            auto hook = std::move(whileWaiting);
            whileWaiting = nullptr;
            hook();
        }
        return FakeDocLink::Transact(timeout, request);
    }
    std::function<void()> whileWaiting;
};

TEST_F(Lifecycle, ClosingAfterSavingAsANewNameTakesTheDocumentOut)
{
    RenamingSaveAs renaming;
    docServices().saveAs = &renaming;
    auto r = newRoutine();
    const QString oldKey = r->Key();
    r->document()->Insert(1, 1, "Q");
    link.log.clear();
    prompt->answers = {IUserPrompt::Answer::Yes};

    EXPECT_TRUE(routines->Remove(oldKey, false, false));
    EXPECT_EQ(r->Key(), "USER^SAVED^1");
    EXPECT_EQ(routines->Count(), 0);
    EXPECT_EQ(routines->Item("USER^SAVED^1"), nullptr);
    EXPECT_EQ(link.log, QStringList{"S:SIU|1|SAVED|USER"});

    // Freed the same way: the trim of the hidden list closes it for good.
    auto kept = newRoutine();
    kept->document()->Insert(1, 1, "Q");
    routines->Free(kept->Key(), false);
    renaming.name = "KEPT";
    for (int i = 0; i < Routines::MaxHidden; ++i) {
        if (i == 0)
            prompt->answers = {IUserPrompt::Answer::Yes};
        routines->Free(open(QString("R%1").arg(i), "\tQ")->Key(), false);
    }
    EXPECT_EQ(routines->Item("USER^KEPT^1"), nullptr);
    EXPECT_EQ(routines->Count(), Routines::MaxHidden);
    EXPECT_EQ(routines->hiddenKeys().size(), Routines::MaxHidden);
}

TEST_F(Lifecycle, ADocumentFrozenWhileItsClosePromptWaitsIsTheOneTakenOut)
{
    DispatchingLink server;
    auto older = openRoutine(&server, "ABC", "ABC\t; v1\r\n\tQ");
    older->document()->Insert(1, 1, "S X=1 ");
    std::shared_ptr<Routine> newer;
    // The stack shows the routine again while the save is on its way: a read-only copy.
    server.whileWaiting = [&] { newer = openRoutine(&server, "ABC", "ABC\t; v2\r\n\tQ"); };
    server.replies = {{"SIP", "", "", "ABC\t; v1\r\n\tS X=1 Q"}};
    prompt->answers = {IUserPrompt::Answer::Yes};

    EXPECT_TRUE(routines->Remove("USER^ABC^1", false, false));
    ASSERT_TRUE(newer);
    EXPECT_EQ(routines->Item("USER^ABC^1"), newer);
    EXPECT_FALSE(newer->Frozen());
    EXPECT_EQ(routines->frozenCount(), 0);
    EXPECT_EQ(routines->Count(), 1);
}

TEST_F(Lifecycle, ARoutineOpenedAgainWhileItLoadsLosesNoCopy)
{
    DispatchingLink server;
    server.protocol = 5;   // loading asks the server for the parser properties
    server.replies = {{"PPG"}, {"PPG"}, {"PPG"}};
    auto first = openRoutine(&server, "ABC", "ABC\t; v1\r\n\tQ");
    std::shared_ptr<Routine> nested;
    server.whileWaiting = [&] { nested = openRoutine(&server, "ABC", "ABC\t; v2\r\n\tQ"); };
    auto outer = openRoutine(&server, "ABC", "ABC\t; v3\r\n\tQ");

    ASSERT_TRUE(nested);
    EXPECT_EQ(routines->Item("USER^ABC^1"), outer);
    EXPECT_EQ(routines->frozenItem("USER^ABC^1"), nested);
    EXPECT_TRUE(nested->Frozen());
    EXPECT_EQ(static_cast<FakeCodeWindow *>(first->Window())->routine(), nullptr);   // closed
    EXPECT_EQ(routines->Count(), 1);
    EXPECT_EQ(routines->frozenCount(), 1);
}

} // namespace
