// The server Save As dialog on the real link against the scripted M server: the browsing
// exchange around each run, the name it proposes, the namespace it selects, and the save
// steps ("SIN" consent or refusal, "SIU" releases, the document's own "SIP") frame by frame.

#include "dialoghost.h"
#include "docfixtures.h"
#include "frmfileopen.h"
#include "frmfilesaveas.h"
#include "itemlistview.h"
#include "memento.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "modfileopen.h"
#include "mserver.h"
#include "routine.h"
#include "routines.h"
#include "sessionwindow.h"
#include "sources.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace mserver;

namespace {

const QString Host = QStringLiteral("127.0.0.1");

// The Save As dialog as its own subclasses see it, for the node tips.
class SaveAsDialog : public frmFileSaveAs
{
public:
    using frmFileSaveAs::sftSvr_CellTip;
};

class SaveAsTest : public ScriptedDocTest
{
protected:
    void SetUp() override
    {
        ScriptedDocTest::SetUp();
        docServices().host = &host;
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        window.session = &link;
        setMainWindow(&window);
        open = std::make_unique<frmFileOpen>();
        dlg = std::make_unique<SaveAsDialog>();
        modFileOpen::setOpenDialog(open.get());
        docServices().saveAs = dlg.get();
    }
    void TearDown() override
    {
        setModalRunner(nullptr);
        // The documents go while their link still answers nothing they send.
        Routines::instance().shutdown();
        modFileOpen::setOpenDialog(nullptr);
        setMainWindow(nullptr);
        dlg.reset();
        open.reset();
        ScriptedDocTest::TearDown();
    }

    void connect(MServer &server, const QString &brand = QStringLiteral("CACHE"))
    {
        ASSERT_TRUE(server.startAccepted(link));
        link.setBrand(brand);
        QString info = QStringLiteral("x:1:4");
        ASSERT_TRUE(link.VersionCheck(info));
    }

    std::shared_ptr<Routine> openRoutine(const QString &rtn, const QString &env, const QString &text, int typ = 1)
    {
        QString name = rtn, ns = env, t = text, line = QStringLiteral("+1");
        bool readOnly = false;
        return Routine::from(Routines::instance().Add(&docLink, name, ns, t, readOnly, line, typ, 0));
    }

    // The modal show runs `script` once the first listing has come in and been acknowledged.
    void onShow(const std::function<void()> &script)
    {
        setModalRunner([this, script](QDialog *shown) {
            EXPECT_EQ(shown, dlg.get());
            shown->show();
            EXPECT_TRUE(pumpUntil([this] { return dlg->outstanding() == 0; }));
            script();
            shown->hide();
            return 0;
        });
    }

    // Presses Save and waits until the exchange it started has come back.
    void save(const QString &name)
    {
        dlg->cboSvrItems()->setEditText(name);
        dlg->cmdSave_Click();
    }

    QStringList recentNames()
    {
        Sources recent;
        open->GetRecent(0, recent);
        QStringList names;
        for (const SourcePtr &s : recent)
            names << s->Name + "@" + s->Path + "@" + s->MType;
        return names;
    }

    std::vector<IUserPrompt::Question> boxes() const { return prompt->asked; }

    FakeHost host;
    MLink link;
    MLinkDocLink docLink{&link};
    SessionWindow window;
    std::unique_ptr<frmFileOpen> open;
    std::unique_ptr<SaveAsDialog> dlg;
};

// The opening of a run whose lists are loaded: "+", the namespace check, then the node
// choice of `ns` and the first listing of `pattern`, answered with `names` (flag characters
// `flags`) and acknowledged.
QList<Step> opening(const QString &ns, const QString &type, const QString &pattern, const QString &names = {},
                    const QString &flags = {}, bool loadLists = true)
{
    QList<Step> steps{expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck()};
    if (loadLists)
        steps << answer({"NSL"}, {"NSL", "Namespaces", "|USER|SAMPLES"}) << expectAck();
    steps << expect({"NSS", ns}) << expect({"SIL", "1", type, "", pattern, "25"})
          << send({"NS", ns}) << expectAck()
          << send({"SIL", "1", "", names, flags, ""}) << expectAck();
    return steps;
}

// The closing of a run: the session's namespace restored, then "-".
QList<Step> closing()
{
    return {answer({"NSS", "USER"}, {"NS", "USER"}), expectAck(), expect({"-"})};
}

TEST_F(SaveAsTest, OwnNamespaceIsSelectedAndAnUnchangedNameSavesInPlace)
{
    QList<Step> script = opening("SAMPLES", "1", "ABC", "|ABC|RO", QString(QChar(1)) + QChar(1 + 16));
    // The document's own save: no "SIN", since the item is the routine's own.
    script << answer({"SIP", "1", "ABC", "SAMPLES", "**"}, {"SIP"}) << expectAck();
    script << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    auto r = openRoutine("ABC", "SAMPLES", "ABC\t; x\r\n\tQ");
    r->document()->Insert(1, 1, "S Y=1\r\n\t");

    onShow([&] {
        QTreeWidgetItem *node = dlg->selectedNode();
        ASSERT_TRUE(node);
        EXPECT_EQ(node->text(0), "SAMPLES");
        EXPECT_EQ(dlg->sftSvr_CellTip(node), "SAMPLES at " + Host);
        EXPECT_EQ(dlg->cboSvrItems()->currentText(), "ABC");
        EXPECT_TRUE(dlg->cmdSave()->isEnabled());
        EXPECT_EQ(dlg->cboSvrItemTypes()->currentData().toInt(), 1);

        // A read-only item cannot be picked: the click only takes its selection away.
        ItemListView *list = dlg->lvwSvr();
        ASSERT_EQ(list->count(), 2);
        const int ro = list->itemText(0) == "RO" ? 0 : 1;
        list->setItemSelected(ro, true);
        dlg->lvwSvr_ItemClick(ro);
        EXPECT_FALSE(list->itemSelected(ro));
        EXPECT_EQ(dlg->cboSvrItems()->currentText(), "ABC");
        // Any other item goes into the name box.
        dlg->cboSvrItems()->setEditText("XYZ");
        list->setItemSelected(1 - ro, true);
        dlg->lvwSvr_ItemClick(1 - ro);
        EXPECT_EQ(dlg->cboSvrItems()->currentText(), "ABC");

        dlg->cmdSave()->click();
        EXPECT_TRUE(dlg->isHidden());
    });
    EXPECT_FALSE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_FALSE(r->Modified());
    EXPECT_EQ(r->Env(), "SAMPLES");
    EXPECT_TRUE(recentNames().isEmpty());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SaveAsTest, NewRoutineIsCreatedThroughTheServerAndJoinsTheRecentItems)
{
    QList<Step> script = opening("USER", "1", "*");
    // Consent without a question; no old lock to release, since the routine never had one.
    script << answer({"SIN", "1", "NEWR", "USER"}, {"SIM"}) << expectAck();
    script << answer({"SIP", "1", "NEWR", "USER", "**"}, {"SIP"}) << expectAck();
    script << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    QString rtn, env, text, line;
    bool readOnly = false;
    auto r = Routine::from(Routines::instance().Add(&docLink, rtn, env, text, readOnly, line, 1, 0));
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->Env().isEmpty());
    auto other = openRoutine("OTHER", "", "OTHER\t;\r\n\tQ");

    onShow([&] {
        EXPECT_EQ(dlg->selectedNode()->text(0), "USER");
        EXPECT_EQ(dlg->cboSvrItems()->currentText(), r->Rtn());
        // Asked again while it is shown (a routine's save from inside this one), the
        // dialog does not open a second time: nothing saved, nothing sent.
        EXPECT_TRUE(dlg->DoIt(*other));
        EXPECT_FALSE(other->SaveDoc());
        EXPECT_TRUE(dlg->isRunning());

        save("NEWR");
    });
    EXPECT_FALSE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(r->Rtn(), "NEWR");
    EXPECT_EQ(r->Env(), "USER");
    EXPECT_TRUE(r->HoldsLock());
    EXPECT_FALSE(r->ReadOnly());
    EXPECT_EQ(Routines::instance().Item(Routine::KeyFor("NEWR", "USER", 1)), r);
    EXPECT_EQ(recentNames(), QStringList{"NEWR@vantrel://" + Host + "/USER@CACHE"});
    EXPECT_TRUE(host.prompts.empty());
}

TEST_F(SaveAsTest, RenameTakesTheNewLockAndReleasesTheOldOne)
{
    QList<Step> script = opening("USER", "1", "OLD");
    script << answer({"SIN", "1", "NEW", "USER"}, {"SIM", "3108", "Overwrite NEW?"}) << expectAck();
    script << expect({"SIU", "1", "OLD", "USER"});
    script << answer({"SIP", "1", "NEW", "USER", "**"}, {"SIP"}) << expectAck();
    script << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    auto r = openRoutine("OLD", "USER", "OLD\t;\r\n\tQ");
    r->setHoldsLock(true);

    onShow([&] { save("NEW"); });
    EXPECT_FALSE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    ASSERT_EQ(host.prompts.size(), 1u);
    EXPECT_EQ(host.prompts[0], (QStringList{"SIM", "3108", "Overwrite NEW?"}));
    EXPECT_EQ(r->Key(), Routine::KeyFor("NEW", "USER", 1));
    EXPECT_TRUE(r->HoldsLock());
    EXPECT_EQ(recentNames(), QStringList{"NEW@vantrel://" + Host + "/USER@CACHE"});
}

// Each refusal leaves the routine as it was and the dialog open for another choice; the
// server hears exactly what each step sends, in order.
TEST_F(SaveAsTest, RefusalsAndFailuresKeepTheDialogOpen)
{
    QList<Step> script = opening("USER", "1", "OLD");
    script << answer({"SIN", "1", "NEW", "USER"}, {"SIM", "3108", "Overwrite NEW?"})
           << expect({"SIU", "1", "NEW", "USER"}) << expectAck();                 // refused
    script << answer({"SIN", "1", "NEW", "USER"}, {"MSG", "busy"}) << expectAck();
    script << answer({"SIN", "1", "NEW", "USER"}, {"XYZ"}) << expectAck();
    // Consent, then the save itself fails: renamed, both locks as the rename left them.
    script << answer({"SIN", "1", "NEW2", "USER"}, {"SIM"}) << expectAck()
           << expect({"SIU", "1", "OLD", "USER"})
           << answer({"SIP", "1", "NEW2", "USER", "**"}, {"MSG", "disk full"}) << expectAck();
    // "Active Connection" stands for the session's namespace.
    script << expect({"NSS", "USER"}) << expect({"SIL", "2", "1", "", "OLD", "25"}) << send({"NS", "USER"})
           << expectAck() << send({"SIL", "2", "", "|OLD", QString(QChar(1)), ""}) << expectAck();
    script << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    auto r = openRoutine("OLD", "USER", "OLD\t;\r\n\tQ");
    r->setHoldsLock(true);
    auto taken = openRoutine("TAKEN", "USER", "TAKEN\t;\r\n\tQ");
    host.promptAnswer = false;

    onShow([&] {
        QWidget *nameBox = dlg->cboSvrItems();
        struct Case
        {
            const char *name;
            QString box;   // the message box the step shows; "" none
        };
        const Case cases[] = {
            {"A*", ""},
            {"TAKEN", "This routine is already open. You cannot overwrite it."},
            {"NEW", ""},
            {"NEW", "busy"},
            {"NEW", "FileSaveAs received unexpected reply type [XYZ]"},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            prompt->asked.clear();
            save(c.name);
            EXPECT_TRUE(dlg->Cancelled());
            EXPECT_TRUE(dlg->isVisible());
            EXPECT_TRUE(dlg->focusWidget() == nameBox || nameBox->isAncestorOf(dlg->focusWidget()));
            EXPECT_EQ(r->Key(), Routine::KeyFor("OLD", "USER", 1));
            ASSERT_EQ(boxes().size(), c.box.isEmpty() ? 0u : 1u);
            if (!c.box.isEmpty()) {
                EXPECT_EQ(boxes()[0].text, c.box);
            }
        }
        EXPECT_EQ(boxes()[0].icon, IUserPrompt::Icon::Critical);

        save("NEW2");
        EXPECT_TRUE(dlg->Cancelled());
        EXPECT_EQ(r->Key(), Routine::KeyFor("NEW2", "USER", 1));
        EXPECT_TRUE(r->HoldsLock());

        // The heading is no namespace: it turns the boxes and Save off and hides the list,
        // and Save pressed anyway saves nothing, sends nothing and leaves the focus on the tree.
        QTreeWidgetItem *heading = dlg->rootNode()->child(0);
        ASSERT_TRUE(heading);
        dlg->sftSvr()->setCurrentItem(heading);
        EXPECT_FALSE(dlg->cboSvrItems()->isEnabled());
        EXPECT_FALSE(dlg->cboSvrItemTypes()->isEnabled());
        EXPECT_FALSE(dlg->cmdSave()->isEnabled());
        EXPECT_TRUE(dlg->lvwSvr()->isHidden());
        dlg->cboSvrItems()->setEditText("NEW3");
        dlg->cmdSave_Click();
        EXPECT_TRUE(dlg->Cancelled());
        EXPECT_EQ(dlg->focusWidget(), dlg->sftSvr());

        dlg->sftSvr()->setCurrentItem(dlg->rootNode());
        EXPECT_EQ(dlg->sftSvr_CellTip(dlg->rootNode()), "USER at " + Host);
        EXPECT_TRUE(dlg->cmdSave()->isEnabled());
        EXPECT_FALSE(dlg->lvwSvr()->isHidden());
        EXPECT_TRUE(pumpUntil([this] { return dlg->outstanding() == 0 && dlg->lvwSvr()->count() == 1; }));

        dlg->cmdCancel()->click();
    });
    EXPECT_TRUE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(recentNames().isEmpty());
    EXPECT_EQ(host.prompts.size(), 1u);
}

// What the name box proposes, and the type it selects: the routine's when the lists are
// (re)loaded, the one chosen last otherwise, the first when the platform has no such type.
TEST_F(SaveAsTest, ProposesTheLineOneLabelOrTheNameAndTheRoutinesType)
{
    QList<Step> script;
    script << opening("USER", "3", "ABC") << closing();
    // The lists stay loaded: no "NSL", and the type chosen last stays.
    script << opening("USER", "3", "PLAIN", {}, {}, false) << closing();
    // No name at all: no listing, and Save is off until a name comes.
    script << expect({"+"}) << answer({"NS"}, {"NS", "USER"}) << expectAck() << expect({"NSS", "USER"})
           << send({"NS", "USER"}) << expectAck() << closing();
    // After a reset, a type the platform does not list: the first entry.
    script << opening("USER", "2", "ODD") << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    auto labelled = openRoutine("XYZ", "USER", "ABC\t; x\r\n\tQ", 3);
    auto unlabelled = openRoutine("PLAIN", "USER", "\t; x\r\n\tQ");
    auto nameless = std::make_shared<Routine>();
    nameless->setMLink(&docLink);
    nameless->setTyp(1);
    auto odd = openRoutine("ODD", "USER", "ODD\t;\r\n\tQ", 7);

    QStringList proposals;
    QList<bool> saveEnabled;
    QList<int> types;
    onShow([&] {
        proposals << dlg->cboSvrItems()->currentText();
        saveEnabled << dlg->cmdSave()->isEnabled();
        types << dlg->cboSvrItemTypes()->currentData().toInt();
        dlg->cmdCancel()->click();
    });
    for (Routine *r : {labelled.get(), unlabelled.get(), nameless.get()}) {
        EXPECT_TRUE(dlg->DoIt(*r));
    }
    dlg->Reset();
    EXPECT_TRUE(dlg->DoIt(*odd));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(proposals, (QStringList{"ABC", "PLAIN", "", "ODD"}));
    EXPECT_EQ(saveEnabled, (QList<bool>{true, true, false, true}));
    EXPECT_EQ(types, (QList<int>{3, 3, 3, 2}));
}

TEST_F(SaveAsTest, FailedNamespaceCheckShowsNothing)
{
    MServer server({expect({"+"}), answer({"NS"}, {"MSG", "no"}), expectAck(), expect({"-"}), expectSilence(100)});
    connect(server);
    auto r = openRoutine("ABC", "USER", "ABC\t;\r\n\tQ");
    bool shown = false;
    setModalRunner([&](QDialog *) {
        shown = true;
        return 0;
    });
    EXPECT_TRUE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_FALSE(shown);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Failed to get initial namespace");
}

TEST_F(SaveAsTest, LinkClosingWhileShownHidesTheDialogAndSavesNothing)
{
    QList<Step> script = opening("USER", "1", "ABC");
    script << close();
    MServer server(script);
    connect(server);
    auto r = openRoutine("ABC", "USER", "ABC\t;\r\n\tQ");
    bool hidden = false;
    onShow([&] { hidden = pumpUntil([this] { return dlg->isHidden(); }); });
    EXPECT_TRUE(dlg->DoIt(*r));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(hidden);
    // The opening's nine frames and nothing after them: no restore over a closed link.
    EXPECT_EQ(server.received().size(), 9);
    EXPECT_EQ(r->Key(), Routine::KeyFor("ABC", "USER", 1));
}

TEST_F(SaveAsTest, MementoKeepsPatternsInOrderAndTheView)
{
    dlg->filePattern("B*");
    dlg->filePattern("A*");
    dlg->lvwSvr()->setView(ItemListView::Report);
    const MementoPtr saved = dlg->saveMemento();
    const MementoPtr bag = saved->readMemento("ServerItemPatterns");
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->read("#").toInt(), 2);
    EXPECT_EQ(bag->read("1").toString(), "A*");
    EXPECT_EQ(saved->read("ServerItemView").toInt(), 3);

    SaveAsDialog fresh;
    fresh.restoreMemento(*saved);
    EXPECT_EQ(fresh.patternHistory(), (QStringList{"A*", "B*"}));
    EXPECT_EQ(fresh.lvwSvr()->View(), 3);

    // No history: no block at all; the view is always written.
    SaveAsDialog empty;
    const MementoPtr none = empty.saveMemento();
    EXPECT_FALSE(none->contains("ServerItemPatterns"));
    EXPECT_TRUE(none->contains("ServerItemView"));
}

TEST(SaveAsSplitter, KeepsBothCellsAtLeastAThousandTwips)
{
    struct Case
    {
        double width, position, expected;
    };
    const Case cases[] = {
        {9000, 3000, 3000},   // both wide enough
        {9000, 500, 1000},    // the tree too narrow
        {9000, 8500, 7950},   // the list too narrow: width - 1050
        {1500, 500, 450},     // too narrow for both: the list's rule comes last
        {60, 0, 0},           // thinner than the bar: never negative
    };
    for (const Case &c : cases)
        EXPECT_EQ(frmFileSaveAs::minimumCellPosition(c.width, c.position, 90), c.expected)
            << c.width << " " << c.position;
}

} // namespace

// What is typed into the name box, as a user types it into whatever has the focus once
// the dialog is up: a name is saved under ("!SIN", then the document's own "!SIP"), by
// Enter, the keypad's Enter or Save; a pattern lists, joins the history and keeps the
// dialog up.
struct TypedCase
{
    const char *typed;
    Qt::Key key;   // Qt::Key_unknown: a click on Save
};

void PrintTo(const TypedCase &c, std::ostream *os)
{
    *os << "'" << c.typed << "' key " << int(c.key);
}

class SaveAsTyping : public SaveAsTest, public testing::WithParamInterface<TypedCase>
{
};

TEST_P(SaveAsTyping, TypedNameSavesAndTypedPatternLists)
{
    const TypedCase c = GetParam();
    const QString typed = QString::fromLatin1(c.typed);
    const bool pattern = ServerBrowseDialog::isPattern(typed);
    QList<Step> script = opening("USER", "1", "OLD", "|OLD", QString(QChar(1)));
    if (pattern) {
        script << expect({"SIL", "2", "1", "", typed, "25"}) << send({"SIL", "2", "", "|NEWER", QString(QChar(1)), ""})
               << expectAck();
    } else {
        script << answer({"SIN", "1", typed, "USER"}, {"SIM"}) << expectAck()
               << answer({"SIP", "1", typed, "USER", "**"}, {"SIP"}) << expectAck();
    }
    script << closing() << expectSilence(100);
    MServer server(script);
    connect(server);
    auto r = openRoutine("OLD", "USER", "OLD\t;\r\n\tQ");

    bool stayed = false;
    onShow([&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        // The proposed name has the focus, selected: what is typed replaces it.
        ASSERT_TRUE(pumpUntil([&] { return QApplication::focusWidget() == dlg->cboSvrItems(); }));
        QTest::keyClicks(QApplication::focusWidget(), typed);
        if (c.key == Qt::Key_unknown)
            QTest::mouseClick(dlg->cmdSave(), Qt::LeftButton);
        else
            QTest::keyClick(QApplication::focusWidget(), c.key);
        if (pattern) {
            EXPECT_TRUE(pumpUntil([&] {
                return dlg->lvwSvr()->count() == 1 && dlg->lvwSvr()->itemText(0) == "NEWER" && dlg->outstanding() == 0;
            }));
            stayed = dlg->isVisible();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        }
    });
    EXPECT_EQ(dlg->DoIt(*r), pattern);   // true: nothing saved
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(boxes().empty());
    if (pattern) {
        EXPECT_TRUE(stayed);
        EXPECT_EQ(dlg->patternHistory(), QStringList{typed});
        EXPECT_EQ(r->Rtn(), "OLD");
    } else {
        EXPECT_EQ(r->Key(), Routine::KeyFor(typed, "USER", 1));
    }
}

INSTANTIATE_TEST_SUITE_P(NameBox, SaveAsTyping,
                         testing::Values(TypedCase{"NEW", Qt::Key_Return}, TypedCase{"NEW", Qt::Key_Enter},
                                         TypedCase{"NEW", Qt::Key_unknown}, TypedCase{"N*", Qt::Key_Return},
                                         TypedCase{"N*", Qt::Key_Enter}));
