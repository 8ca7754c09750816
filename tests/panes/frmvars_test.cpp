// The variables pane on the real link against the scripted M server: the requests it
// sends, the session state it holds during a fetch, the user's expand and format keys,
// its tabs and settings, offscreen.

#include "frmvars.h"
#include "headerdrag.h"
#include "sessionwindow.h"
#include "memento.h"
#include "helpkeys.h"
#include "mlink.h"
#include "mserver.h"
#include "varlistmodel.h"
#include "vartreeview.h"

#include <QDeadlineTimer>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

using namespace mserver;

// Failures show texts, not their bytes.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The session state and the link, as the pane reaches them.
class VarsPane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.state = 1;
        window.states.clear();
        beeps = 0;
        link = std::make_unique<MLink>();
        window.session = link.get();
        setMainWindow(&window);
        pane = std::make_unique<frmVars>();
        pane->setBeeper([this] { ++beeps; });
        pane->resize(500, 300);
        pane->show();
    }
    void TearDown() override
    {
        pane.reset();
        server.reset();
        link.reset();
        setMainWindow(nullptr);
    }

    // A connected server that reads `frames` frames and then must hear nothing more.
    void serve(int frames, qint32 features = 4)
    {
        QList<Step> script;
        for (int i = 0; i < frames; ++i)
            script << expect({"**"});
        script << expectSilence(150);
        server = std::make_unique<MServer>(script);
        ASSERT_TRUE(server->startAccepted(*link));
        link->setFeatures(features);
    }
    QList<QStringList> heard()
    {
        EXPECT_TRUE(server->wait()) << server->failure().toStdString();
        return server->received();
    }

    // A row after `follows`, defined, with the value as raw value and text.
    void add(const QString &root, int level = 0, const QString &follows = QString(), bool mark = false,
             int propCount = -1, const QString &value = QStringLiteral("1"))
    {
        pane->AddVar(root, root, root, follows, level, false, true, false, true, mark, value, 0, value, propCount);
    }
    // Level `level` fetched with rows A, B and C and finished.
    void showLevel(int level)
    {
        pane->Update(level, QString());
        add("A");
        add("B", 0, "A", true);
        add("C", 0, "B", false, 2);
        pane->UpdateFinished();
        pane->SelectedList()->doItemsLayout();
    }
    VarListModel &model(int list = 1) { return *pane->listModel(list); }
    VarTreeView &view(int list = 1) { return *pane->list(list); }
    QString currentKey() { return model().keyOf(pane->SelectedList()->currentIndex()); }
    void select(const QString &key) { pane->SelectedList()->setCurrentIndex(model().indexOfKey(key)); }

    SessionWindow window;
    std::unique_ptr<MLink> link;
    std::unique_ptr<MServer> server;
    std::unique_ptr<frmVars> pane;
    int beeps = 0;
};

} // namespace

TEST_F(VarsPane, AStackLevelIsFetchedWithTheSessionHeldAtFetching)
{
    struct Case { qint32 features; const char *caption; };
    const Case cases[] = {{4, "Variables - Stack level 3"}, {0, "Variables"}};
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        serve(2, c.features);
        QSignalSpy stack(pane.get(), &frmVars::stackListEnabled);
        showLevel(2);
        window.states.clear();
        stack.clear();

        pane->Update(3, QString());
        EXPECT_EQ(pane->windowTitle(), c.caption);
        EXPECT_EQ(window.state, -6);
        EXPECT_EQ(window.states, QList<int>{-6});
        EXPECT_FALSE(pane->SelectedList()->isEnabled());
        EXPECT_FALSE(pane->TabStrip()->isEnabled());
        EXPECT_FALSE(pane->SelectedList()->updatesEnabled()) << "no redraw while rows arrive";
        ASSERT_EQ(stack.size(), 1);
        EXPECT_FALSE(stack.at(0).at(0).toBool());

        pane->UpdateFinished();
        EXPECT_EQ(window.state, 1);
        EXPECT_TRUE(pane->SelectedList()->isEnabled());
        EXPECT_TRUE(pane->TabStrip()->isEnabled());
        EXPECT_TRUE(pane->SelectedList()->updatesEnabled());
        ASSERT_EQ(stack.size(), 2);
        EXPECT_TRUE(stack.at(1).at(0).toBool());
        // Every row counts, also those under a collapsed node.
        EXPECT_EQ(heard(), (QList<QStringList>{{"VAR*", "2", "0", ""}, {"VAR*", "3", "3", ""}})) << c.features;
    }
}

// The server waits for the request: it is on the wire before the pane goes on to hold
// the stack and its own controls still, not when the event loop next runs.
TEST_F(VarsPane, TheRequestLeavesBeforeThePaneHoldsItsControls)
{
    serve(1);
    bool onTheWire = false;
    QObject::connect(pane.get(), &frmVars::stackListEnabled, [&](bool enabled) {
        QDeadlineTimer patience(1000);
        while (!enabled && !onTheWire && !patience.hasExpired()) {
            onTheWire = !server->received().isEmpty();
            QThread::msleep(5);
        }
    });
    pane->Update(2, QString());
    EXPECT_TRUE(onTheWire);
    EXPECT_EQ(heard(), (QList<QStringList>{{"VAR*", "2", "0", ""}}));
}

TEST_F(VarsPane, NoRequestWhileClosedDisconnectedOrWithoutALevel)
{
    struct Case { const char *name; int level; bool hide; bool connected; bool withLink; };
    const Case cases[] = {
        {"closed by the user", 2, true, true, true},
        {"link not connected", 2, false, false, true},
        {"no link", 2, false, true, false},
        {"no level chosen", 0, false, true, true},
    };
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        if (c.connected)
            serve(0);
        add("A");
        add("B", 0, "A");
        if (c.hide)
            pane->HideMe();
        if (!c.withLink)
            window.session = nullptr;

        pane->Update(c.level, "A");
        EXPECT_EQ(model().totalRowCount(), 2) << c.name << ": a node fetch clears nothing";
        pane->Update(c.level, QString());
        EXPECT_EQ(model().totalRowCount(), 0) << c.name;
        EXPECT_EQ(pane->windowTitle(), "Variables") << c.name;
        EXPECT_TRUE(window.states.isEmpty()) << c.name;
        EXPECT_EQ(pane->pendingFetches(), 0) << c.name;
        if (c.connected) {
            EXPECT_TRUE(heard().isEmpty()) << c.name;
        }
    }
}

TEST_F(VarsPane, ThePrivateTabAsksForPrivateVariables)
{
    serve(3);
    showLevel(2);
    pane->TabStrip()->setCurrentIndex(1);
    EXPECT_EQ(pane->currentList(), 2);
    EXPECT_EQ(pane->SelectedList(), &view(2));
    EXPECT_EQ(window.state, -6);
    pane->AddVar("P", "P", "P", "", 0, true, true, false, true, false, "1", 0, "1", -1);
    pane->AddVar("Q", "Q", "Q", "P", 0, false, false, false, true, false, "1", 0, "1", -1);
    pane->UpdateFinished();
    EXPECT_EQ(model(2).totalRowCount(), 1) << "a public entry is not listed on the private tab";
    EXPECT_EQ(model(1).totalRowCount(), 3) << "the other list is left alone";

    select("A");
    pane->TabStrip()->setCurrentIndex(0);
    EXPECT_EQ(heard(), (QList<QStringList>{
                           {"VAR*", "2", "0", ""}, {"VARp", "2", "0", ""}, {"VAR*", "2", "3", ""}}));
}

TEST_F(VarsPane, TheEndOfAFetchSelectsTheRowSelectedBefore)
{
    serve(4);
    showLevel(2);
    select("B");
    pane->Update(2, QString());
    pane->RemoveVar("A");
    add("A", 0, "C");
    pane->UpdateFinished();
    EXPECT_EQ(currentKey(), "B");

    // Its row gone: the list shows its top.
    pane->Update(2, QString());
    pane->RemoveVar("B");
    pane->UpdateFinished();
    EXPECT_EQ(window.state, 1);
    EXPECT_EQ(view().visualRect(model().index(0, 0)).top(), 0);

    // Rows fetched below a node that was opened appear opened.
    pane->Update(0, "C");
    add("C(p1)", 1, "C");
    EXPECT_FALSE(view().isExpanded(model().indexOfKey("C")));
    pane->UpdateFinished();
    EXPECT_TRUE(view().isExpanded(model().indexOfKey("C")));
    heard();
}

TEST_F(VarsPane, FormatChangesAskTheServerOnlyWhileSuspended)
{
    serve(4);
    showLevel(2);
    select("A");

    QTest::keyClick(pane->SelectedList(), Qt::Key_Space);
    pane->UpdateVarValue("A", "\"x\"", 2);
    EXPECT_EQ(model().indexOfKey("A", 1).data().toString(), "\"x\"");
    EXPECT_EQ(model().indexOfKey("A", 1).data(VarListModel::PictureRole).toString(), "#2");

    // A click on the format picture.
    const QRect picture = view().formatPictureRect(model().indexOfKey("B", 1));
    ASSERT_FALSE(picture.isEmpty());
    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, picture.center());

    // An object's picture opens it instead.
    select("C");
    QTest::keyClick(pane->SelectedList(), Qt::Key_Space);
    pane->UpdateFinished();

    window.state = -3;
    select("A");
    QTest::keyClick(pane->SelectedList(), Qt::Key_Space);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(heard(), (QList<QStringList>{{"VAR*", "2", "0", ""},
                                           {"VARfmt", "0", "A", "1"},
                                           {"VARfmt", "0", "B", "1"},
                                           {"VAR*", "2", "3", "C"}}));
}

// Every key the help's key page lists for the pane does what the page says.
TEST_F(VarsPane, TheKeysOfTheHelpPageDoWhatItSays)
{
    const QList<HelpKeyRow> rows = helpKeyRows(QStringLiteral("variables"));
    ASSERT_GE(rows.size(), 3);
    for (const HelpKeyRow &row : rows) {
        SCOPED_TRACE(row.keyText.toStdString());
        TearDown();
        SetUp();
        serve(2);
        showLevel(2);
        const QKeyCombination key = helpKeyCombination(row);
        ASSERT_NE(key.key(), Qt::Key(0)) << "not a key";
        QTreeView *list = pane->SelectedList();
        // B has descendants on the server: opening it fetches them.
        auto openB = [&](Qt::Key how) {
            select("B");
            QTest::keyClick(list, how);
            EXPECT_EQ(window.state, -6);
            add("B(1)", 1, "B");
            pane->UpdateFinished();
            EXPECT_TRUE(view().isExpanded(model().indexOfKey("B")));
        };
        if (row.does == "expand") {
            openB(key.key());
        } else if (row.does == "collapse") {
            openB(Qt::Key_Right);
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
            EXPECT_FALSE(view().isExpanded(model().indexOfKey("B")));
        } else if (row.does == "format") {
            select("A");
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
        const QList<QStringList> frames = heard();
        ASSERT_EQ(frames.size(), 2);
        if (row.does == "format")
            EXPECT_EQ(frames.at(1), (QStringList{"VARfmt", "0", "A", "1"}));
        else
            EXPECT_EQ(frames.at(1).value(0), "VAR*");
    }
}

TEST_F(VarsPane, OpeningANodeFetchesItsDescendantsWithoutResettingHighlights)
{
    serve(2);
    showLevel(2);
    ASSERT_EQ(model().indexOfKey("B", 0).data(Qt::BackgroundRole), QVariant(VarListModel::changedColour()));
    select("B");
    QTest::keyClick(pane->SelectedList(), Qt::Key_Right);
    EXPECT_EQ(window.state, -6);
    EXPECT_EQ(model().indexOfKey("B", 0).data(Qt::BackgroundRole), QVariant(VarListModel::changedColour()));
    add("B(1)", 1, "B");
    EXPECT_EQ(model().indexOfKey("B(1)", 0).data(Qt::BackgroundRole), QVariant());
    pane->UpdateFinished();
    EXPECT_TRUE(view().isExpanded(model().indexOfKey("B")));
    EXPECT_EQ(window.state, 1);

    // Loaded descendants open and close without the server.
    view().doItemsLayout();
    const QRect button = view().expandButtonRect(model().indexOfKey("B"));
    ASSERT_FALSE(button.isEmpty());
    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, button.center());
    EXPECT_FALSE(view().isExpanded(model().indexOfKey("B")));
    QTest::keyClick(pane->SelectedList(), Qt::Key_Right);
    EXPECT_TRUE(view().isExpanded(model().indexOfKey("B")));
    QTest::keyClick(pane->SelectedList(), Qt::Key_Left);
    EXPECT_FALSE(view().isExpanded(model().indexOfKey("B")));

    // Not suspended: a node still to fetch only beeps.
    window.state = -3;
    select("C");
    QTest::keyClick(pane->SelectedList(), Qt::Key_Right);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(heard(), (QList<QStringList>{{"VAR*", "2", "0", ""}, {"VAR*", "2", "3", "B"}}));
}

TEST_F(VarsPane, ThePrivateTabComesAndGoesWithTheServersSupport)
{
    QTabBar *tabs = pane->TabStrip();
    tabs->setCurrentIndex(1);
    ASSERT_EQ(pane->currentList(), 2);

    pane->setPrivateSupported(false);
    EXPECT_EQ(tabs->count(), 1);
    EXPECT_EQ(pane->currentList(), 1);
    EXPECT_EQ(pane->SelectedList(), &view(1));
    pane->setPrivateSupported(false);
    EXPECT_EQ(tabs->count(), 1);

    pane->setPrivateSupported(true);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), "Private");
    EXPECT_EQ(tabs->tabToolTip(1), "Private variables of the selected stack level");
    EXPECT_EQ(tabs->tabData(1).toInt(), 2);
    pane->setPrivateSupported(true);
    EXPECT_EQ(tabs->count(), 2);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(pane->currentList(), 2);
}

TEST_F(VarsPane, SavesEachListsColumnsAndTheTabShowing)
{
    view(2).header()->resizeSection(0, 123);
    pane->TabStrip()->setCurrentIndex(1);
    MementoPtr saved = pane->saveMemento();
    EXPECT_EQ(saved->names(), (QStringList{"PaneState", "Edge", "T1ColWid1", "T1ColSeq1", "T1ColWid0", "T1ColSeq0",
                                           "T2ColWid1", "T2ColSeq1", "T2ColWid0", "T2ColSeq0", "TabShowing"}));

    frmVars copy;
    copy.restoreMemento(*saved);
    EXPECT_EQ(copy.currentList(), 2);
    EXPECT_EQ(copy.TabStrip()->currentIndex(), 1);
    EXPECT_EQ(copy.list(2)->header()->sectionSize(0), 123);

    struct Case { QVariant showing; int list; };
    const Case cases[] = {{1, 1}, {"2", 2}, {7, 1}, {"x", 1}};
    for (const Case &c : cases) {
        frmVars restored;
        Memento memento;
        memento.write("TabShowing", c.showing);
        restored.restoreMemento(memento);
        EXPECT_EQ(restored.currentList(), c.list) << c.showing.toString().toStdString();
    }
}

// The name column moves by its header like the value column; the names keep their
// expand buttons where they now stand, and the order comes back from the settings.
TEST_F(VarsPane, TheNameColumnMovesByItsHeaderAndKeepsItsExpandButtons)
{
    serve(1);
    showLevel(2);
    add("C(1)", 1, "C");
    pane->UpdateFinished();
    view().expand(model().indexOfKey("C"));
    view().doItemsLayout();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));

    QHeaderView *header = view().header();
    dragHeader(header, 0, 1, false);   // the names onto the right half of the values
    ASSERT_EQ(header->logicalIndex(0), 1);
    ASSERT_EQ(header->logicalIndex(1), 0);

    view().doItemsLayout();
    const QModelIndex node = model().indexOfKey("C");
    const QRect button = view().expandButtonRect(node);
    ASSERT_FALSE(button.isEmpty());
    EXPECT_GE(button.left(), header->sectionViewportPosition(0));
    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, button.center());
    EXPECT_FALSE(view().isExpanded(node));

    MementoPtr saved = pane->saveMemento();
    frmVars copy;
    copy.restoreMemento(*saved);
    EXPECT_EQ(copy.list(1)->header()->logicalIndex(0), 1);
    EXPECT_EQ(copy.list(1)->header()->logicalIndex(1), 0);
}

// Requests answered in order: the state found before the first is the one restored
// after the last, and a "VARend" nobody waits for changes no state.
TEST_F(VarsPane, NestedFetchesAndStrayEndsNeverLeaveTheSessionAtFetching)
{
    serve(5);
    showLevel(2);

    pane->Update(3, QString());
    pane->Update(0, "B");
    EXPECT_EQ(pane->pendingFetches(), 2);
    pane->UpdateFinished();
    EXPECT_EQ(window.state, -6) << "the second answer is still coming";
    add("B(1)", 1, "B");
    pane->UpdateFinished();
    EXPECT_EQ(window.state, 1);
    EXPECT_TRUE(view().isExpanded(model().indexOfKey("B")));

    window.states.clear();
    pane->UpdateFinished();
    EXPECT_TRUE(window.states.isEmpty()) << "a stray end";
    EXPECT_TRUE(pane->SelectedList()->isEnabled());

    // The process ran on before the late end arrived.
    pane->Update(3, QString());
    window.state = -3;
    pane->UpdateFinished();
    EXPECT_EQ(window.state, -3);

    // The session ends while a fetch waits.
    window.state = 1;
    pane->Update(3, QString());
    pane->Clear();
    EXPECT_EQ(window.state, 1);
    EXPECT_EQ(pane->pendingFetches(), 0);
    EXPECT_TRUE(pane->TabStrip()->isEnabled());
    EXPECT_EQ(heard(), (QList<QStringList>{{"VAR*", "2", "0", ""},
                                           {"VAR*", "3", "3", ""},
                                           {"VAR*", "3", "3", "B"},
                                           {"VAR*", "3", "4", ""},
                                           {"VAR*", "3", "4", ""}}));
}

// Disabling the controls for a fetch takes the focus away; it comes back where it was.
TEST(VarsPaneFocus, GoesBackWhereItWasWhenTheFetchEnds)
{
    SessionWindow window;
    MLink link;
    window.session = &link;
    setMainWindow(&window);
    MServer server({expect({"**"}), expect({"**"}), expect({"**"}), expect({"**"})});
    ASSERT_TRUE(server.startAccepted(link));

    QWidget mainArea;
    auto *stack = new QTreeView(&mainArea);
    auto *pane = new frmVars(&mainArea);
    stack->setGeometry(0, 0, 200, 300);
    pane->setGeometry(200, 0, 400, 300);
    QObject::connect(pane, &frmVars::stackListEnabled, stack, &QWidget::setEnabled);
    mainArea.show();
    mainArea.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainArea));
    pane->Update(2, QString());
    pane->AddVar("A", "A", "A", "", 0, false, true, false, true, false, "1", 0, "1", -1);
    pane->UpdateFinished();

    struct Case { const char *name; QWidget *before; };
    const Case cases[] = {
        {"the stack grid", stack},
        {"the list", pane->SelectedList()},
        {"the tab strip", pane->TabStrip()},
    };
    for (const Case &c : cases) {
        c.before->setFocus();
        ASSERT_TRUE(c.before->hasFocus()) << c.name;
        pane->Update(2, QString());
        EXPECT_FALSE(c.before->hasFocus()) << c.name;
        pane->UpdateFinished();
        EXPECT_TRUE(c.before->hasFocus()) << c.name;
    }
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    setMainWindow(nullptr);
}
