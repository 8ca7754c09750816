#include "docfixtures.h"
#include "formfactory.h"
#include "frmbreakpoints.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "imainwindow.h"
#include "panedock.h"
#include "routine.h"
#include "routines.h"
#include "sourceview.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

using KeyDown = std::pair<int, int>;   // virtual-key code, Shift mask

// The main window as the panes reach it: records the keys offered to it and consumes
// the key codes it is told to.
class SpyMainWindow : public IMainWindow
{
public:
    void PreviewKeyDown(int &KeyCode, int &Shift) override
    {
        keyDowns.push_back({KeyCode, Shift});
        if (consumed.count(KeyCode))
            KeyCode = 0;
    }
    void PreviewKeyPress(int &KeyAscii) override { keyPresses.push_back(KeyAscii); }
    int MState() const override { return -1; }
    void setMState(int) override {}
    bool MBusy() const override { return false; }
    MLink *link() const override { return nullptr; }
    void StatusText(const QString &) override {}
    void startRelayoutTimer() override { ++relayouts; }
    bool Linewise() const override { return false; }
    bool SwitchToReportOnSaveError() const override { return true; }
    void executeCommand(const QString &) override {}

    std::vector<KeyDown> keyDowns;
    std::vector<int> keyPresses;
    std::set<int> consumed;
    int relayouts = 0;
};

// The keys offered for the chord itself: QTest presses Shift (16) and Ctrl (17) first,
// and those go to the main window like any other key.
std::vector<KeyDown> chordKeys(const std::vector<KeyDown> &keyDowns)
{
    std::vector<KeyDown> out;
    for (const KeyDown &k : keyDowns)
        if (k.first != 16 && k.first != 17)
            out.push_back(k);
    return out;
}

// The attributes of a memento, nested ones flattened as "outer.inner", values as text.
QStringList dump(const Memento &memento, const QString &prefix = QString())
{
    QStringList out;
    for (const QString &name : memento.names()) {
        if (MementoPtr child = memento.readMemento(name))
            out += dump(*child, prefix + name + QLatin1Char('.'));
        else
            out += prefix + name + QLatin1Char('=') + memento.read(name).toString();
    }
    return out;
}

// The four default panes docked in a shown main window, as the main window sets them up.
class DockedPanesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setMainWindow(&spy);
        main.setCentralWidget(new QWidget);
        main.addDockWidget(Qt::LeftDockWidgetArea, factory.breakpointsPane()->dock());
        main.addDockWidget(Qt::BottomDockWidgetArea, factory.immediatePane()->dock());
        main.addDockWidget(Qt::RightDockWidgetArea, factory.stackPane()->dock());
        main.addDockWidget(Qt::RightDockWidgetArea, factory.varsPane()->dock());
        main.resize(900, 700);
        main.show();
    }
    void TearDown() override { setMainWindow(nullptr); }

    // In the order the main window keeps them.
    std::vector<PaneForm *> panes()
    {
        return {factory.breakpointsPane(), factory.immediatePane(), factory.stackPane(),
                factory.varsPane()};
    }
    // Each pane with its main control, where the user types.
    std::vector<std::pair<PaneForm *, QWidget *>> mainControls()
    {
        return {{factory.breakpointsPane(), factory.breakpointsPane()->BPList()},
                {factory.immediatePane(), factory.immediatePane()->IO()},
                {factory.stackPane(), factory.stackPane()->Stack()},
                {factory.varsPane(), factory.varsPane()->SelectedList()}};
    }
    QString visibility()
    {
        QString out;
        for (PaneForm *pane : panes())
            out += pane->paneVisible() ? QLatin1Char('v') : QLatin1Char('h');
        return out;
    }

    SpyMainWindow spy;
    QMainWindow main;
    FormFactory factory{&main};
};

} // namespace

TEST_F(DockedPanesTest, CloseButtonHidesTheSameInstanceWithItsContents)
{
    new QTreeWidgetItem(factory.stackPane()->Stack(), {"1", "TAG+3", "ABC"});
    for (PaneForm *pane : panes()) {
        const QString name = pane->objectName();
        EXPECT_FALSE(pane->dock()->close()) << name.toStdString();
        EXPECT_FALSE(pane->Shown());
        EXPECT_TRUE(pane->dock()->isHidden());
        EXPECT_FALSE(pane->paneVisible());
        EXPECT_EQ(factory.CreateInstance(name, true), pane);

        pane->ShowMe();
        EXPECT_TRUE(pane->Shown());
        EXPECT_TRUE(pane->dock()->isVisible());
        EXPECT_TRUE(pane->paneVisible());
    }
    EXPECT_EQ(factory.stackPane()->Stack()->topLevelItemCount(), 1);
}

TEST_F(DockedPanesTest, PanePreviewsEveryKeyOnceBeforeItsControls)
{
    struct Case
    {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<KeyDown> keyDowns;
        std::vector<int> keyPresses;
        bool staysOpen;
    };
    const Case cases[] = {
        {"F8 goes to the main window", Qt::Key_F8, Qt::NoModifier, {{119, 0}}, {}, true},
        {"Ctrl+F4 hides the pane and goes no further", Qt::Key_F4, Qt::ControlModifier, {}, {}, false},
        {"Ctrl+Shift+F4 goes to the main window", Qt::Key_F4,
         Qt::ControlModifier | Qt::ShiftModifier, {{115, 3}}, {}, true},
        {"Ctrl+letter also as its control character", Qt::Key_E, Qt::ControlModifier,
         {{69, 2}}, {5}, true},
    };
    for (const Case &c : cases) {
        for (auto [pane, control] : mainControls()) {
            const std::string where = c.name + std::string(" in ") + pane->objectName().toStdString();
            spy.keyDowns.clear();
            spy.keyPresses.clear();

            QTest::keyClick(control, c.key, c.modifiers);
            EXPECT_EQ(chordKeys(spy.keyDowns), c.keyDowns) << where;
            EXPECT_EQ(spy.keyPresses, c.keyPresses) << where;
            EXPECT_EQ(pane->paneVisible(), c.staysOpen) << where;
            // A plain hide: the pane still counts as shown and keeps its edge.
            EXPECT_TRUE(pane->Shown()) << where;
            EXPECT_NE(pane->Edge(), 0) << where;
            pane->ShowMe();
        }
    }
}

TEST_F(DockedPanesTest, WidgetsAddedLaterAreWatchedAndConsumedKeysNeverReachThem)
{
    frmStack *pane = factory.stackPane();
    auto *later = new QLineEdit;
    pane->layout()->addWidget(later);
    // A widget that arrives with a child of its own.
    auto *box = new QWidget;
    auto *inner = new QLineEdit(box);
    pane->layout()->addWidget(box);
    // A child created inside a widget that is already in the pane.
    auto *nested = new QLineEdit(box);

    for (QLineEdit *edit : {later, inner, nested}) {
        spy.keyDowns.clear();
        spy.consumed = {65};
        QTest::keyClick(edit, Qt::Key_A);
        EXPECT_EQ(spy.keyDowns, std::vector<KeyDown>({{65, 0}}));
        EXPECT_EQ(edit->text(), QString());

        spy.consumed.clear();
        QTest::keyClick(edit, Qt::Key_B);
        EXPECT_EQ(spy.keyDowns, std::vector<KeyDown>({{65, 0}, {66, 0}}));
        EXPECT_EQ(edit->text(), QString("b"));
    }
}

TEST_F(DockedPanesTest, SessionStatesShowAndHidePanesThroughTheirCompanions)
{
    // The user closed the immediate pane before the session.
    factory.immediatePane()->dock()->close();
    const std::vector<PaneForm *> forms = panes();
    const std::vector<IPaneState *> notified(forms.begin(), forms.end());
    auto assignState = [&](int state) {
        for (IPaneState *pane : notified)
            if (state != -2)
                pane->Notify(state == 2 ? 1 : 0);
    };

    struct Step { int state; const char *visibility; };
    const Step steps[] = {
        {2, "hhhh"},    // a shell session with no saved shell layout
        {-2, "hhhh"},   // connected: the panes are left alone
        {1, "vhvv"},    // suspended: back as before the shell
        {1, "vhvv"},
        {-2, "vhvv"},
        {2, "hhhh"},
        {-1, "vhvv"},
    };
    for (const Step &s : steps) {
        assignState(s.state);
        EXPECT_EQ(visibility(), QString::fromLatin1(s.visibility)) << "state " << s.state;
    }
}

TEST_F(DockedPanesTest, PaneReturnsToTheEdgeItWasLastDockedAt)
{
    frmStack *pane = factory.stackPane();
    PaneDock *dock = pane->dock();
    EXPECT_EQ(pane->Edge(), 2);
    EXPECT_EQ(dock->State(), PaneDock::StateDocked);

    main.addDockWidget(Qt::BottomDockWidgetArea, dock);
    EXPECT_EQ(pane->Edge(), 8);

    // Floating is no edge to remember; showing the pane docks it again.
    dock->setFloating(true);
    EXPECT_EQ(dock->State(), PaneDock::StateFloating);
    EXPECT_EQ(dock->DockPosition(), 0);
    EXPECT_EQ(pane->Edge(), 8);
    pane->HideMe();
    EXPECT_EQ(dock->State(), PaneDock::StateHidden);
    pane->ShowMe();
    EXPECT_FALSE(dock->isFloating());
    EXPECT_EQ(main.dockWidgetArea(dock), Qt::BottomDockWidgetArea);

    // A floating pane whose saved edge is the top goes there.
    dock->setFloating(true);
    Memento saved;
    saved.write("Edge", 4);
    pane->restoreMemento(saved);
    pane->ShowMe();
    EXPECT_FALSE(dock->isFloating());
    EXPECT_EQ(main.dockWidgetArea(dock), Qt::TopDockWidgetArea);
    EXPECT_EQ(pane->Edge(), 4);
}

TEST(PaneForm, DockOfAMainWindowNotYetShownCountsAsOpen)
{
    QMainWindow main;
    FormFactory factory(&main);
    frmStack *pane = factory.stackPane();
    main.addDockWidget(Qt::RightDockWidgetArea, pane->dock());
    EXPECT_TRUE(pane->paneVisible());

    // A shell session assigned while the main window loads keeps the pane closed.
    pane->Notify(1);
    EXPECT_FALSE(pane->paneVisible());
    main.show();
    EXPECT_FALSE(pane->dock()->isVisible());
    pane->Notify(0);
    EXPECT_TRUE(pane->dock()->isVisible());
}

TEST(PaneForm, SavesSharedThenOwnAttributes)
{
    struct Case { std::unique_ptr<PaneForm> pane; QStringList names; };
    Case cases[] = {
        {std::make_unique<frmStack>(),
         {"ColWid2", "ColSeq2", "ColWid1", "ColSeq1", "ColWid0", "ColSeq0", "PaneState", "Edge", "Order"}},
        {std::make_unique<frmBreakpoints>(),
         {"ColWid5", "ColSeq5", "ColWid4", "ColSeq4", "ColWid3", "ColSeq3", "ColWid2", "ColSeq2",
          "ColWid1", "ColSeq1", "ColWid0", "ColSeq0", "PaneState", "Edge", "WColWid3", "WColSeq3",
          "WColWid2", "WColSeq2", "WColWid1", "WColSeq1", "WColWid0", "WColSeq0"}},
        {std::make_unique<frmVars>(),
         {"PaneState", "Edge", "T1ColWid1", "T1ColSeq1", "T1ColWid0", "T1ColSeq0", "T2ColWid1", "T2ColSeq1",
          "T2ColWid0", "T2ColSeq0", "TabShowing"}},
        {std::make_unique<frmImmediate>(), {"PaneState", "Edge", "WrapIO", "WrapReport"}},
    };
    for (Case &c : cases) {
        MementoPtr saved = c.pane->saveMemento();
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->names(), c.names) << c.pane->objectName().toStdString();
        ASSERT_TRUE(saved->readMemento("PaneState"));
        EXPECT_EQ(saved->readMemento("PaneState")->names(), QStringList({"0.Visible", "1.Visible"}));
    }
}

TEST(PaneForm, SettingsRoundTripAndAnEmptyMementoChangesNothing)
{
    std::vector<std::unique_ptr<PaneForm>> (*make)() = [] {
        std::vector<std::unique_ptr<PaneForm>> out;
        out.push_back(std::make_unique<frmStack>());
        out.push_back(std::make_unique<frmBreakpoints>());
        out.push_back(std::make_unique<frmVars>());
        out.push_back(std::make_unique<frmImmediate>());
        return out;
    };
    auto originals = make();
    auto copies = make();
    for (size_t i = 0; i < originals.size(); ++i) {
        PaneForm &pane = *originals[i];
        const std::string name = pane.objectName().toStdString();
        // Columns rearranged by the user, an edge noted and a shell layout remembered.
        for (QTreeWidget *grid : pane.findChildren<QTreeWidget *>()) {
            grid->header()->setStretchLastSection(false);
            grid->header()->moveSection(0, grid->columnCount() - 1);
            grid->header()->resizeSection(1, 77);
        }
        Memento layout;
        auto shell = std::make_shared<Memento>();
        shell->write("1.Visible", true);
        layout.writeMemento("PaneState", shell);
        layout.write("Edge", 8);
        pane.restoreMemento(layout);
        ASSERT_EQ(pane.Edge(), 8) << name;
        ASSERT_TRUE(pane.paneState().visibleFlag(1)) << name;

        MementoPtr saved = pane.saveMemento();
        const QStringList before = dump(*saved);
        pane.restoreMemento(Memento());
        EXPECT_EQ(dump(*pane.saveMemento()), before) << name;

        PaneForm &copy = *copies[i];
        for (QTreeWidget *grid : copy.findChildren<QTreeWidget *>())
            grid->header()->setStretchLastSection(false);
        copy.restoreMemento(*saved);
        EXPECT_EQ(copy.Edge(), 8) << name;
        EXPECT_EQ(dump(*copy.saveMemento()), before) << name;
    }
}

// Hiding a pane beside a maximised code window asks the main window to lay out again.
class PaneRelayoutTest : public ScriptedDocTest
{
protected:
    void SetUp() override
    {
        ScriptedDocTest::SetUp();
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(); };
        docServices().host = &host;
        setMainWindow(&spy);
    }
    void TearDown() override
    {
        setMainWindow(nullptr);
        Routines::instance().shutdown();
        ScriptedDocTest::TearDown();
    }

    FakeHost host;
    SpyMainWindow spy;
};

TEST_F(PaneRelayoutTest, HideMeRelaysOutOnlyBesideAMaximisedActiveCodeWindow)
{
    struct Case { const char *name; bool open; bool maximised; int relayouts; };
    const Case cases[] = {
        {"no active routine", false, false, 0},
        {"active code window in its normal size", true, false, 0},
        {"active code window maximised", true, true, 1},
    };
    for (const Case &c : cases) {
        std::shared_ptr<Routine> routine;
        if (c.open) {
            QString rtn, env, text, initial;
            bool readOnly = false;
            routine = Routine::from(Routines::instance().Add(nullptr, rtn, env, text, readOnly,
                                                             initial, 1, 0));
            ASSERT_TRUE(routine);
            routine->Activate(true);
            static_cast<FakeCodeWindow *>(routine->Window())->maximised = c.maximised;
            ASSERT_EQ(Routine::from(Routines::instance().Active()), routine);
        }
        spy.relayouts = 0;
        frmVars pane;
        pane.HideMe();
        EXPECT_EQ(spy.relayouts, c.relayouts) << c.name;
        EXPECT_FALSE(pane.Shown()) << c.name;
        if (routine)
            Routines::instance().Remove(routine->Key(), false, true);
    }
}
