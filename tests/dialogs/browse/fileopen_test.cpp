#include "browsefixture.h"
#include "frmfileopen.h"
#include "itemlistview.h"
#include "memento.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

using namespace mserver;
using browse::Steps;

namespace {

// The main window as the Open dialog sees it: counts the recent-list updates.
class RecordingHost : public IDialogHost
{
public:
    RecordingHost() { setDialogHost(this); }
    ~RecordingHost() override { setDialogHost(nullptr); }
    bool EditRoutine(const QString &, const QString &, bool &, int, QString &) override { return false; }
    bool ShowRoutine(const QString &, const QString &, int, QString &) override { return false; }
    void UpdateRecent() override { ++updates; }
    void Listen() override {}
    QString LocalAddress() const override { return QString(); }
    quint16 SentryPort() const override { return 0; }
    QWidget *dialogParent() const override { return nullptr; }
    int updates = 0;
};

struct Item
{
    int type;
    QString name, path, platform;
    bool readOnly;
    QString displayName;
};

std::vector<Item> items(const Sources &sources)
{
    std::vector<Item> out;
    for (const SourcePtr &s : sources)
        out.push_back({s->TypeOfSource, s->Name, s->Path, s->MType, s->ReadOnly, s->DisplayName()});
    return out;
}

bool operator==(const Item &a, const Item &b)
{
    return a.type == b.type && a.name == b.name && a.path == b.path && a.platform == b.platform
        && a.readOnly == b.readOnly && a.displayName == b.displayName;
}

void PrintTo(const Item &i, std::ostream *os)
{
    *os << i.type << " " << i.name.toStdString() << " " << i.path.toStdString() << " " << i.platform.toStdString()
        << (i.readOnly ? " ro " : " rw ") << i.displayName.toStdString();
}

Sources sourcesOf(const std::vector<Item> &list)
{
    Sources out;
    for (const Item &i : list) {
        SourcePtr s = out.Add(i.type, i.name, i.path, QString(), i.platform);
        s->ReadOnly = i.readOnly;
        if (!i.displayName.isEmpty())
            s->setDisplayName(i.displayName);
    }
    return out;
}

void typeName(frmFileOpen &d, const QString &text)
{
    // The keys go to the box the user clicked, which hands them to its line edit.
    QComboBox *box = d.cboSvrItems();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// The opening of the Open dialog on USER with the first (empty or given) page.
Steps openOnUser(const QStringList &names = {}, const QString &flags = {})
{
    Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", names, flags);
    return script;
}

const QString Location = QStringLiteral("vantrel://127.0.0.1/USER");

} // namespace

// A typed name is checked with "SIE" [type, namespace, name] after its ending gave the
// type; the reply decides whether the dialog closes.
TEST(FileOpen, TypedNameIsCheckedWithTheServer)
{
    const struct { QStringList reply; const char *box; bool chosen; } cases[] = {
        {{"SIE", "1"}, nullptr, true},
        {{"SIE", "0"}, "abc not found in USER", false},
        {{"XYZ"}, "FileOpen SIE-check received unexpected reply type [XYZ]", false},
    };
    for (const auto &c : cases) {
        RecordingHost host;
        BrowseSession s;
        Steps script = openOnUser();
        script << answer({"SIE", "2", "USER", "abc"}, c.reply) << expectAck() << browse::closing("USER");
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        frmFileOpen d;
        s.runModal([&](QDialog *dlg) {
            pumpUntil([&] { return d.outstanding() == 0; });
            typeName(d, "abc.mac");
            EXPECT_TRUE(d.currentPattern().isEmpty());
            EXPECT_TRUE(d.cmdOpenEdit()->isDefault());
            QTest::keyClick(d.cboSvrItems(), Qt::Key_Return);   // the default button
            if (dlg->isVisible())
                d.cmdCancel()->click();
        });
        bool readOnly = false;
        const Sources chosen = d.DoIt(readOnly);
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();
        if (c.chosen) {
            EXPECT_EQ(items(chosen), (std::vector<Item>{{2, "abc", Location, "CACHE", false, "abc"}}));
            EXPECT_TRUE(s.prompt->asked.empty());
        } else {
            EXPECT_EQ(chosen.Count(), 0);
            ASSERT_EQ(s.prompt->asked.size(), 1u);
            EXPECT_EQ(s.prompt->asked[0].text, QString(c.box));
        }
        EXPECT_FALSE(readOnly);
    }
}

// Below protocol 1 a typed name is taken unchecked.
TEST(FileOpen, TypedNameUncheckedBeforeProtocolOne)
{
    BrowseSession s;
    Steps script = openOnUser();
    script << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "DSM", 0));
    frmFileOpen d;
    s.runModal([&](QDialog *) {
        pumpUntil([&] { return d.outstanding() == 0; });
        typeName(d, "XYZ.mac");
        d.cmdOpenReadonly()->click();
    });
    bool readOnly = false;
    const Sources chosen = d.DoIt(readOnly);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(items(chosen), (std::vector<Item>{{1, "XYZ.mac", Location, "DSM", true, "XYZ.mac"}}));
    EXPECT_TRUE(readOnly);
}

// Two selected items, one only readable: one question; Yes opens it read-only and the
// other as asked, No keeps the dialog open (and Cancel then opens nothing).
TEST(FileOpen, SelectionWithAReadOnlyItemAsksOnce)
{
    for (bool yes : {true, false}) {
        BrowseSession s;
        s.prompt->answers.push_back(yes ? IUserPrompt::Answer::Yes : IUserPrompt::Answer::No);
        Steps script = openOnUser({"ALPHA", "BETA"}, "\x02\x13");
        script << browse::closing("USER");
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        frmFileOpen d;
        bool stayedOpen = false;
        s.runModal([&](QDialog *dlg) {
            EXPECT_TRUE(pumpUntil([&] { return d.lvwSvr()->count() == 2 && d.outstanding() == 0; }));
            d.lvwSvr()->setItemSelected(0, true);
            d.lvwSvr()->setItemSelected(1, true);
            d.cmdOpenEdit()->click();
            stayedOpen = dlg->isVisible();
            if (stayedOpen)
                d.cmdCancel()->click();
        });
        bool readOnly = false;
        const Sources chosen = d.DoIt(readOnly);
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();
        ASSERT_EQ(s.prompt->asked.size(), 1u);
        EXPECT_EQ(s.prompt->asked[0].title, QString("Read-only Item Selected"));
        EXPECT_EQ(s.prompt->asked[0].buttons, IUserPrompt::Buttons::YesNo);
        EXPECT_EQ(stayedOpen, !yes);
        if (yes) {
            EXPECT_EQ(items(chosen), (std::vector<Item>{{2, "ALPHA", Location, "CACHE", false, "ALPHA"},
                                                        {3, "BETA", Location, "CACHE", true, "BETA"}}));
        } else {
            EXPECT_EQ(chosen.Count(), 0);
        }
    }
}

// With a pattern in the box and nothing selected, Open is a valid choice of nothing.
TEST(FileOpen, PatternWithoutSelectionChoosesNothing)
{
    BrowseSession s;
    Steps script = openOnUser({"ALPHA"}, "\x01");
    script << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    frmFileOpen d;
    s.runModal([&](QDialog *) {
        pumpUntil([&] { return d.lvwSvr()->count() == 1 && d.outstanding() == 0; });
        d.cmdOpenEdit()->click();
    });
    bool readOnly = false;
    EXPECT_EQ(d.DoIt(readOnly).Count(), 0);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_FALSE(d.Cancelled());
}

// The recent list: newest on top, one row per item, the platform and display name kept
// through GetRecent, the first 20 rows saved, and the same order after a restore.
TEST(FileOpen, RecentListRoundTrip)
{
    RecordingHost host;
    frmFileOpen d;
    const std::vector<Item> first{{1, "A", "vantrel://h/USER", "CACHE", false, "A"},
                                  {2, "B", "vantrel://h/USER", "CACHE", true, "B+3^B"},
                                  {1, "C", "vantrel://h/DOCS", "DSM", false, "C"}};
    d.AddToRecent(sourcesOf(first));
    d.AddToRecent(sourcesOf({{1, "A", "vantrel://h/USER", "CACHE", true, "A"}}));
    EXPECT_EQ(host.updates, 2);

    Sources all;
    d.GetRecent(0, all);
    const std::vector<Item> expected{{1, "A", "vantrel://h/USER", "CACHE", true, "A"},
                                     {1, "C", "vantrel://h/DOCS", "DSM", false, "C"},
                                     {2, "B", "vantrel://h/USER", "CACHE", true, "B+3^B"}};
    EXPECT_EQ(items(all), expected);
    Sources second;
    d.GetRecent(2, second);
    EXPECT_EQ(items(second), std::vector<Item>{expected[1]});
    EXPECT_EQ(d.sftRecent()->topLevelItem(0)->text(2), QString("Read"));

    d.setPatternHistory({"A*", "B*"});
    d.lvwSvr()->setView(3);
    const MementoPtr saved = d.saveMemento();
    frmFileOpen restored;
    restored.restoreMemento(*saved);
    Sources back;
    restored.GetRecent(0, back);
    EXPECT_EQ(items(back), expected);
    EXPECT_EQ(restored.patternHistory(), QStringList({"A*", "B*"}));
    EXPECT_EQ(restored.lvwSvr()->View(), 3);

    // Only the first 20 of 25 rows are saved.
    std::vector<Item> many;
    for (int i = 25; i >= 1; --i)
        many.push_back({1, QString("R%1").arg(i), "vantrel://h/USER", "CACHE", false, ""});
    frmFileOpen big;
    big.AddToRecent(sourcesOf(many));
    const MementoPtr bigSaved = big.saveMemento();
    const MementoPtr recent = bigSaved->readMemento("Recent");
    ASSERT_TRUE(recent);
    qint32 count = 0;
    EXPECT_TRUE(recent->readInt("#", count));
    EXPECT_EQ(count, 20);
    EXPECT_TRUE(recent->contains("N20"));
    EXPECT_FALSE(recent->contains("N21"));
    QString firstName;
    recent->readString("N1", firstName);
    EXPECT_EQ(firstName, QString("R1"));
}

// On the Recent tab the buttons follow the row selected there, even when the server
// tab offers no namespace; the request's read-only flag overrides the row's mode.
TEST(FileOpen, RecentTabButtonsFollowTheRow)
{
    RecordingHost host;
    BrowseSession s;
    // The tree offers no namespace: both buttons are off on the server tab.
    Steps script = browse::opening("USER", {"MSG", "Timeout"}, {}, true);
    script << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    frmFileOpen d;
    d.AddToRecent(sourcesOf({{2, "OLD", "vantrel://h/USER", "CACHE", true, "OLD"},
                             {1, "NEW", "vantrel://h/USER", "CACHE", false, "NEW"}}));
    s.runModal([&](QDialog *) {
        EXPECT_FALSE(d.cmdOpenEdit()->isEnabled());
        EXPECT_FALSE(d.cmdOpenReadonly()->isEnabled());
        d.selectTab("Recent");
        EXPECT_TRUE(d.cmdOpenEdit()->isEnabled());
        EXPECT_TRUE(d.cmdOpenReadonly()->isEnabled());
        EXPECT_TRUE(d.cmdOpenEdit()->isDefault());   // row 1, NEW, is editable
        d.sftRecent()->clearSelection();
        d.sftRecent()->setCurrentItem(d.sftRecent()->topLevelItem(1));
        d.sftRecent()->topLevelItem(1)->setSelected(true);
        EXPECT_TRUE(d.cmdOpenReadonly()->isDefault());   // OLD was opened read-only
        d.sftRecent()->topLevelItem(0)->setSelected(true);
        d.cmdOpenEdit()->click();
    });
    bool readOnly = false;
    const Sources chosen = d.DoIt(readOnly);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(items(chosen), (std::vector<Item>{{1, "NEW", "vantrel://h/USER", "CACHE", false, "NEW"},
                                                {2, "OLD", "vantrel://h/USER", "CACHE", false, "OLD"}}));
    EXPECT_EQ(d.currentTabKey(), QString("Recent"));
}

// The default button: none while a pattern is in the box, Open for Editing for a plain
// name or an empty box, Open Read-only for a ghosted item clicked.
TEST(FileOpen, DefaultButtonFollowsTheNameBoxAndTheList)
{
    BrowseSession s;
    Steps script = openOnUser({"ALPHA", "BETA"}, "\x01\x11");
    script << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    frmFileOpen d;
    s.runModal([&](QDialog *dlg) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
        pumpUntil([&] { return d.lvwSvr()->count() == 2 && d.outstanding() == 0; });
        // The name box has the focus, with "*" in it: Enter lists, no button takes it.
        EXPECT_TRUE(pumpUntil([&] { return QApplication::focusWidget() == d.cboSvrItems(); }));
        EXPECT_FALSE(d.cmdOpenEdit()->isDefault());
        typeName(d, "A*");
        EXPECT_FALSE(d.cmdOpenEdit()->isDefault());
        EXPECT_FALSE(d.cmdOpenReadonly()->isDefault());
        typeName(d, "AB");
        EXPECT_TRUE(d.cmdOpenEdit()->isDefault());
        // An item clicked: the name box empties, the selection governs.
        d.lvwSvr()->setItemSelected(1, true);
        d.lvwSvr_ItemClick(1);
        EXPECT_TRUE(d.cboSvrItems()->currentText().isEmpty());
        EXPECT_FALSE(d.cmdOpenEdit()->isEnabled());
        EXPECT_TRUE(d.cmdOpenReadonly()->isDefault());
        // Back in the name box a name may be typed for editing again; with the box empty
        // Enter opens what is selected, with a pattern in it Enter only lists.
        d.lvwSvr()->setFocus(Qt::TabFocusReason);
        d.cboSvrItems()->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(d.cmdOpenEdit()->isEnabled());
        EXPECT_TRUE(d.cmdOpenEdit()->isDefault());
        typeName(d, "A*");
        d.lvwSvr()->setFocus(Qt::TabFocusReason);
        d.cboSvrItems()->setFocus(Qt::TabFocusReason);
        EXPECT_FALSE(d.cmdOpenEdit()->isDefault());
        EXPECT_FALSE(d.cmdOpenReadonly()->isDefault());
        // The list's menu on an item offers opening; elsewhere only the views.
        d.prepareSvrListMenu(QPoint(-5, -5));
        EXPECT_FALSE(d.mnuPopSvrL()->actions().at(0)->isVisible());
        d.cmdCancel()->click();
    });
    bool readOnly = false;
    EXPECT_EQ(d.DoIt(readOnly).Count(), 0);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_TRUE(d.Cancelled());
}
