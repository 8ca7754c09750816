#include "browsefixture.h"
#include "itemlistview.h"
#include "serverbrowsedialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

using namespace mserver;
using browse::Steps;

namespace {

// Frames as one line each, the empty acknowledgement as "()".
QStringList lines(const QList<Fields> &frames)
{
    QStringList out;
    for (const Fields &f : frames)
        out << (f.isEmpty() ? QStringLiteral("()") : f.join(QLatin1Char('|')));
    return out;
}

// The whole run as the dialogs do it; -2 when the opening steps failed.
int browseOnce(ServerBrowseDialog &dialog)
{
    if (!dialog.openExchange())
        return -2;
    return dialog.runExchangeModal();
}

QStringList listTexts(const ItemListView *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

// The tree as "level:text" per node in pre-order.
QStringList treeShape(const QTreeWidget *tree)
{
    QStringList shape;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it) {
        int level = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++level;
        shape << QString::number(level) + QLatin1Char(':') + (*it)->text(0);
    }
    return shape;
}

QTreeWidgetItem *nodeNamed(const QTreeWidget *tree, const QString &text, int skip = 0)
{
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it) {
        if ((*it)->text(0) == text && skip-- == 0)
            return *it;
    }
    return nullptr;
}

bool listed(const ServerBrowseDialog &d, int count)
{
    return pumpUntil([&] { return d.lvwSvr()->count() == count && d.outstanding() == 0; });
}

// Types into the name box as the user does: every key released runs the pattern rules.
void typeName(ServerBrowseDialog &d, const QString &text)
{
    // The keys go to the box the user clicked, which hands them to its line edit.
    QComboBox *box = d.cboSvrItems();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

} // namespace

// The opening, frame by frame, at protocol 5 (with locations) and 4 (without).
TEST(BrowseExchange, OpensWithTheExactSequence)
{
    for (int protocol : {5, 4}) {
        BrowseSession s;
        Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES"}, {"User code", "Samples"}),
                                       protocol >= 5 ? QStringList{"VLL", "Source control", "Trunk", "Main line", "/trunk"}
                                                     : QStringList{});
        script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {}, "")
               << browse::closing("USER");
        ASSERT_TRUE(s.start(script, "CACHE", protocol));
        ServerBrowseDialog d;
        s.runModal([&](QDialog *dlg) {
            pumpUntil([&] { return d.outstanding() == 0; });
            dlg->reject();
        });
        EXPECT_EQ(browseOnce(d), int(QDialog::Rejected));
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();

        QStringList expected{"+", "!NS", "()", "!NSL", "()"};
        if (protocol >= 5)
            expected << "!VLL" << "()";
        expected << "NSS|USER" << "SIL|1|1||*|25" << "()" << "()" << "!NSS|USER" << "()" << "-";
        EXPECT_EQ(lines(s.received()), expected) << protocol;

        QStringList shape{"0:Active Connection", "1:Namespaces", "2:USER", "2:SAMPLES"};
        if (protocol >= 5)
            shape << "1:Tarvik Locations" << "2:Trunk";
        EXPECT_EQ(treeShape(d.sftSvr()), shape);
        QTreeWidgetItem *user = nodeNamed(d.sftSvr(), "USER");
        EXPECT_EQ(user->data(0, ServerBrowseDialog::NodeTipRole).toString(), QString("User code on 127.0.0.1"));
        EXPECT_TRUE(user->isSelected());
        // The root stands for the session's namespace.
        QTreeWidgetItem *root = d.rootNode();
        EXPECT_EQ(root->data(0, ServerBrowseDialog::NodeDataRole).toInt(), 1);
        EXPECT_EQ(root->data(0, ServerBrowseDialog::NodeTagRole).toString(), QString("USER"));
        if (protocol >= 5) {
            QTreeWidgetItem *trunk = nodeNamed(d.sftSvr(), "Trunk");
            EXPECT_EQ(trunk->data(0, ServerBrowseDialog::NodeTipRole).toString(), QString("Main line - [/trunk]"));
            EXPECT_EQ(trunk->data(0, ServerBrowseDialog::NodeTagRole).toString(), QString("/trunk"));
        }
        EXPECT_EQ(d.cboSvrItemTypes()->count(), 3);
        EXPECT_EQ(d.cboSvrItemTypes()->currentText(), QString("Intermediate Routine (*.int)"));
    }
}

TEST(BrowseExchange, FailedNamespaceCheckShowsNothing)
{
    BrowseSession s;
    ASSERT_TRUE(s.start(Steps{expect({"+"}), answer({"NS"}, {"MSG", "no"}), expectAck(), expect({"-"})}));
    ServerBrowseDialog d;
    s.runModal([](QDialog *) {});
    EXPECT_EQ(browseOnce(d), -2);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(s.shown, 0);
    ASSERT_EQ(s.prompt->asked.size(), 1u);
    EXPECT_EQ(s.prompt->asked[0].text, QString("Failed to get initial namespace"));
    EXPECT_EQ(s.prompt->asked[0].icon, IUserPrompt::Icon::Critical);
}

// Pages are added as they come; each asks for the next with the same request number,
// and the listing ends sorted with dates from the details that hold one.
TEST(BrowseExchange, ListsSeveralPagesThroughContinuations)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*")
           // Each page's acknowledgement and the request for the next leave in one write.
           << send({"SIL", "1", "K1", ",DELTA,ALPHA", "\x01\x11", "|63000,3600|62000"})
           << expectTogether({{}, {"SIL", "1", "1", "K1", "*", "25"}})
           << send({"SIL", "1", "K2", ",CHARLIE", "\x61", ""})
           << expectTogether({{}, {"SIL", "1", "1", "K2", "*", "25"}})
           << browse::page(1, "", {"BRAVO"}, "\x41", {"1,0"}) << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        EXPECT_TRUE(listed(d, 4));
        dlg->reject();
    });
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();

    const ItemListView *list = d.lvwSvr();
    EXPECT_EQ(listTexts(list), QStringList({"ALPHA", "BRAVO", "CHARLIE", "DELTA"}));
    EXPECT_TRUE(list->itemGhosted(0));
    EXPECT_EQ(list->itemTag(0).toInt(), 1);
    EXPECT_EQ(list->itemToolTip(2), QString("Checked out"));
    EXPECT_EQ(list->itemIconKey(2), QString("CACHE1.3"));
    EXPECT_EQ(list->subItemDate(3, 1), QDateTime(QDate(2013, 6, 27), QTime(1, 0)));
    EXPECT_TRUE(list->subItemText(0, 1).isEmpty());   // "62000" holds no comma
    EXPECT_EQ(list->subItemDate(1, 1), QDateTime(QDate(1841, 1, 1), QTime(0, 0)));
    EXPECT_EQ(list->itemKey(0), QStringLiteral("#") + QString::number(list->itemLParam(0)));
    EXPECT_FALSE(list->hasSelection());
}

// A pattern typed while pages still come (no Enter) does not change the listing's
// continuations; Enter starts a new listing, and the old one's late pages are
// acknowledged and dropped.
TEST(BrowseExchange, PatternChangeMidListing)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << expect({"NSS", "USER"}) << expect({"SIL", "1", "1", "", "*", "25"}) << send({"NS", "USER"})
           << expectAck() << browse::page(1, "K", {"AOLD"}, "\x01")
           // The continuation keeps "*" although the box now says "B*".
           << expect({"SIL", "1", "1", "K", "*", "25"})
           // Enter: a new listing with the typed pattern.
           << expect({"SIL", "2", "1", "", "B*", "25"})
           << browse::page(1, "K2", {"ALATE"}, "\x01")   // stale: acked, dropped, not continued
           << browse::page(2, "", {"BNEW"}, "\x01") << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        typeName(d, "B*");
        EXPECT_EQ(d.currentPattern(), QString("B*"));
        EXPECT_TRUE(pumpUntil([&] { return s.received().size() >= 10; }));   // the continuation
        QTest::keyClick(d.cboSvrItems(), Qt::Key_Return);
        EXPECT_TRUE(pumpUntil([&] { return listTexts(d.lvwSvr()) == QStringList{"BNEW"} && d.outstanding() == 0; }));
        dlg->reject();
    });
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(listTexts(d.lvwSvr()), QStringList({"BNEW"}));
    EXPECT_EQ(d.patternHistory(), QStringList({"B*"}));
}

// Choosing another namespace lists it; with a plain name in the box nothing is listed
// and the old namespace's items are gone.
TEST(BrowseExchange, NamespaceChangeListsOrClears)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES", "DOCS"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {"U1", "U2"}, "\x01\x01")
           << expect({"NSS", "SAMPLES"}) << expect({"SIL", "2", "1", "", "*", "25"}) << send({"NS", "SAMPLES"})
           << expectAck() << browse::page(2, "", {"S1"}, "\x01")
           << expect({"NSS", "DOCS"}) << send({"NS", "DOCS"}) << expectAck() << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        EXPECT_TRUE(listed(d, 2));
        d.sftSvr()->setCurrentItem(nodeNamed(d.sftSvr(), "SAMPLES"));
        EXPECT_TRUE(pumpUntil([&] { return listTexts(d.lvwSvr()) == QStringList{"S1"} && d.outstanding() == 0; }));
        typeName(d, "NAME");
        EXPECT_TRUE(d.currentPattern().isEmpty());
        d.sftSvr()->setCurrentItem(nodeNamed(d.sftSvr(), "DOCS"));
        EXPECT_EQ(d.lvwSvr()->count(), 0);
        EXPECT_TRUE(pumpUntil([&] { return d.outstanding() == 0; }));
        dlg->reject();
    });
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
}

// Choosing a node that stands for no namespace sends nothing, hides the list and
// disables the boxes.
TEST(BrowseExchange, HeadingNodeSendsNothing)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {}, "")
           << expectSilence(150) << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        pumpUntil([&] { return d.outstanding() == 0; });
        d.sftSvr()->setCurrentItem(nodeNamed(d.sftSvr(), "Namespaces"));
        EXPECT_FALSE(d.cboSvrItems()->isEnabled());
        EXPECT_FALSE(d.cboSvrItemTypes()->isEnabled());
        EXPECT_FALSE(d.lvwSvr()->isVisible());
        pumpUntil([] { return false; }, 250);
        dlg->reject();
    });
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
}

// At close every unanswered request gets its acknowledgement before the restore; the
// restore's failures are told with their exact texts.
TEST(BrowseExchange, ClosingBalancesAcksAndRestoresTheNamespace)
{
    const struct { QStringList reply; const char *text; } cases[] = {
        {{"NS", "USER"}, nullptr},
        {{"MSG", "Timeout"}, "Failed to restore initial namespace USER(reply=MSG)"},
        {{"NS", "%SYS"}, "Failed to restore initial namespace USER - now in %SYS"},
    };
    for (const auto &c : cases) {
        BrowseSession s;
        Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
        script << expect({"NSS", "USER"}) << expect({"SIL", "1", "1", "", "*", "25"})
               << browse::closing("USER", 2, c.reply);
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        ServerBrowseDialog d;
        s.runModal([&](QDialog *dlg) { dlg->reject(); });
        browseOnce(d);
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();
        EXPECT_EQ(d.outstanding(), 0);
        if (!c.text) {
            EXPECT_TRUE(s.prompt->asked.empty());
        } else {
            ASSERT_EQ(s.prompt->asked.size(), 1u);
            EXPECT_EQ(s.prompt->asked[0].text, QString(c.text));
            EXPECT_EQ(s.prompt->asked[0].icon, IUserPrompt::Icon::Critical);
        }
    }
}

// A second opening without Reset keeps the tree and asks for no lists; Reset reloads.
TEST(BrowseExchange, ListsLoadOnlyAfterReset)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {}, "") << browse::closing("USER")
           << browse::opening("USER", {}, {}, false) << browse::firstListing("USER", 1, "1", "*")
           << browse::page(1, "", {}, "") << browse::closing("USER")
           << browse::opening("USER", browse::nsl({"USER", "NEW"}), {}, true)
           << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {}, "") << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        pumpUntil([&] { return d.outstanding() == 0; });
        dlg->reject();
    });
    browseOnce(d);
    browseOnce(d);
    d.Reset();
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_NE(nodeNamed(d.sftSvr(), "NEW"), nullptr);
}

// Malformed replies never crash; each has a sound reading.
TEST(BrowseExchange, MalformedListsReadSafely)
{
    // "NSL" without its namespace list: an empty tree under the root; nothing listed.
    {
        BrowseSession s;
        Steps script = browse::opening("USER", {"MSG", "Timeout (20 seconds) awaiting reply for Transact !NSL"},
                                       {"VLL", ""}, true);
        script << browse::closing("USER");
        ASSERT_TRUE(s.start(script, "CACHE", 5));
        ServerBrowseDialog d;
        s.runModal([&](QDialog *dlg) {
            EXPECT_FALSE(d.lvwSvr()->isVisible());
            dlg->reject();
        });
        browseOnce(d);
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();
        EXPECT_EQ(treeShape(d.sftSvr()), QStringList({"0:Active Connection"}));
        EXPECT_EQ(d.rootNode()->data(0, ServerBrowseDialog::NodeDataRole).toInt(), 0);
    }
    // Fewer descriptions than namespaces, a partial location triple, a "VLL" that failed.
    const struct { QStringList vll; QStringList shape; } locations[] = {
        {{"VLL", "tip", "L1", "D1", "/l1", "L2", "D2"},
         {"0:Active Connection", "1:Namespaces", "2:USER", "2:SAMPLES", "1:Tarvik Locations", "2:L1"}},
        {{"MSG", "Timeout"}, {"0:Active Connection", "1:Namespaces", "2:USER", "2:SAMPLES", "1:Tarvik Locations"}},
    };
    for (const auto &c : locations) {
        BrowseSession s;
        Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES"}, {"User code"}), c.vll, true);
        script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", {}, "")
               << browse::closing("USER");
        ASSERT_TRUE(s.start(script, "CACHE", 5));
        ServerBrowseDialog d;
        s.runModal([&](QDialog *dlg) {
            pumpUntil([&] { return d.outstanding() == 0; });
            dlg->reject();
        });
        browseOnce(d);
        ASSERT_TRUE(s.finish()) << s.failure().toStdString();
        EXPECT_EQ(treeShape(d.sftSvr()), c.shape);
        EXPECT_EQ(nodeNamed(d.sftSvr(), "SAMPLES")->data(0, ServerBrowseDialog::NodeTipRole).toString(),
                  QString("SAMPLES on 127.0.0.1"));
        EXPECT_EQ(nodeNamed(d.sftSvr(), "Tarvik Locations")->data(0, ServerBrowseDialog::NodeTipRole).toString(),
                  c.vll.value(1));
    }
}

TEST(BrowseExchange, MalformedPagesReadSafely)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*")
           << send({"SIL"}) << expectAck()                          // no request number: dropped
           << send({"SIL", "1", "K"}) << expectAck()                // no names: nothing added, continued
           << expect({"SIL", "1", "1", "K", "*", "25"})
           << send({"SIL", "1", "", ",A,B,C", "\x21"}) << expectAck()   // one flag for three names
           << browse::closing("USER");
    ASSERT_TRUE(s.start(script, "DSM", 4));
    ServerBrowseDialog d;
    s.runModal([&](QDialog *dlg) {
        EXPECT_TRUE(listed(d, 3));
        dlg->reject();
    });
    browseOnce(d);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    const ItemListView *list = d.lvwSvr();
    EXPECT_EQ(listTexts(list), QStringList({"A", "B", "C"}));
    EXPECT_EQ(list->itemIconKey(0), QString("Default.1"));
    EXPECT_EQ(list->itemToolTip(0), QString("Unregistered"));
    EXPECT_EQ(list->itemTag(2).toInt(), 1);
    EXPECT_EQ(list->itemIconKey(2), QString("Default.0"));
    EXPECT_TRUE(list->itemToolTip(2).isEmpty());
    EXPECT_TRUE(list->subItemText(2, 1).isEmpty());
}

// A link that closes during the opening steps: the dialog is not shown and nothing more
// is sent.
TEST(BrowseExchange, LinkClosedWhileOpeningShowsNothing)
{
    BrowseSession s;
    ASSERT_TRUE(s.start(Steps{expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck(), expect({"!NSL"}),
                              close()},
                        "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([](QDialog *dlg) { dlg->reject(); });
    EXPECT_EQ(browseOnce(d), -1);
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(s.shown, 0);
    EXPECT_FALSE(d.exchangeOpen());
}

// The link closing while the dialog is shown hides it; nothing more is sent.
TEST(BrowseExchange, LinkClosedWhileShownHides)
{
    BrowseSession s;
    Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << expect({"NSS", "USER"}) << expect({"SIL", "1", "1", "", "*", "25"}) << close();
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    ServerBrowseDialog d;
    s.runModal([](QDialog *) {});
    EXPECT_EQ(browseOnce(d), int(QDialog::Rejected));
    ASSERT_TRUE(s.finish()) << s.failure().toStdString();
    EXPECT_EQ(s.shown, 1);
    EXPECT_EQ(lines(s.received()).size(), 7);
}

// Header clicks: the other arrows clear, the clicked one toggles, the list follows.
TEST(BrowseList, ColumnClicksToggleTheSort)
{
    ServerBrowseDialog d;
    ItemListView *list = d.lvwSvr();
    ListItemData a;
    a.text = "B";
    a.subItem1Date = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
    a.subItem1 = "x";
    ListItemData b;
    b.text = "A";
    ListItemData c;
    c.text = "C";
    c.subItem1Date = QDateTime(QDate(2010, 1, 1), QTime(0, 0));
    c.subItem1 = "y";
    list->addItems({a, b, c});
    d.lvwSvr_ColumnClick(0);
    EXPECT_EQ(listTexts(list), QStringList({"A", "B", "C"}));
    d.lvwSvr_ColumnClick(0);
    EXPECT_EQ(list->columnArrow(0), 2);
    EXPECT_EQ(listTexts(list), QStringList({"C", "B", "A"}));
    d.lvwSvr_ColumnClick(1);
    EXPECT_EQ(list->columnArrow(0), 0);
    EXPECT_EQ(list->columnArrow(1), 1);
    EXPECT_EQ(listTexts(list), QStringList({"A", "C", "B"}));   // undated first
    // Given no column, the arrow decides.
    d.SetListSort();
    EXPECT_EQ(listTexts(list), QStringList({"A", "C", "B"}));
}
