// File Open as a user drives it: keys go to whatever has the focus once the dialog is up,
// items are picked by clicks where each view draws them, and what the choice sends reaches
// the scripted server through the dialog, the opening module and the link.

#include "browsefixture.h"
#include "frmfileopen.h"
#include "itemlistview.h"
#include "modfileopen.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace mserver;
using browse::Steps;

namespace {

// The main window as File Open reaches it: an item opens through the session's link as
// the main window opens one, "!SIG" for editing and "!SIR" for reading, acknowledged.
class OpeningHost : public IDialogHost
{
public:
    explicit OpeningHost(MLink &link) : m_link(link) { setDialogHost(this); }
    ~OpeningHost() override { setDialogHost(nullptr); }
    bool EditRoutine(const QString &name, const QString &ns, bool &, int type, QString &displayName) override
    {
        return open({QStringLiteral("SIG"), QString::number(type), name, ns, QStringLiteral("0")}, name,
                    displayName);
    }
    bool ShowRoutine(const QString &name, const QString &ns, int type, QString &displayName) override
    {
        return open({QStringLiteral("SIR"), QString::number(type), name, ns, m_link.Brand()}, name, displayName);
    }
    void UpdateRecent() override {}
    void Listen() override {}
    QString LocalAddress() const override { return QString(); }
    quint16 SentryPort() const override { return 0; }
    QWidget *dialogParent() const override { return nullptr; }

private:
    bool open(const QStringList &request, const QString &name, QString &displayName)
    {
        const QString code = m_link.Transact(0, request).value(0);
        LinkSession(m_link).Send({});
        displayName = name;
        return code == request.value(0);
    }
    MLink &m_link;
};

// File Open on a CACHE server (protocol 4) whose namespace USER lists `names`, all INT.
Steps openingWith(const QStringList &names)
{
    Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES"}));
    script << browse::firstListing("USER", 1, "1", "*") << browse::page(1, "", names, QString(names.size(), QChar(1)));
    return script;
}

// The open request the host sends for a chosen item, and its acknowledgement.
Steps opened(const QString &code, const QString &type, const QString &name)
{
    const QString last = code == QLatin1String("SIG") ? QStringLiteral("0") : QStringLiteral("CACHE");
    return {answer({code, type, name, "USER", last}, {code}), expectAck()};
}

QAbstractItemView *shownView(ItemListView *list)
{
    return list->View() == ItemListView::Report ? static_cast<QAbstractItemView *>(list->treeView())
                                                : static_cast<QAbstractItemView *>(list->listView());
}

// Where the view draws the item of row `row`, once it has laid the items out.
QRect itemRect(ItemListView *list, int row)
{
    QAbstractItemView *view = shownView(list);
    const QModelIndex index = view->model()->index(row, 0);
    QRect rect;
    pumpUntil([&] {
        rect = view->visualRect(index);
        return rect.isValid() && view->viewport()->rect().contains(rect.center());
    });
    return rect;
}

void clickItem(ItemListView *list, int row, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(shownView(list)->viewport(), button, {}, itemRect(list, row).center());
}

// The entry of the menu that popped up, clicked where it is drawn.
bool clickMenuEntry(const QString &text)
{
    QMenu *menu = nullptr;
    pumpUntil([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); });
    if (!menu)
        return false;
    for (QAction *action : menu->actions()) {
        if (action->text() == text && action->isVisible() && action->isEnabled()) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return true;
        }
    }
    return false;
}

void pressKey(int key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
}

// Shows the dialog, waits until it is active and its first listing is in.
bool settle(QDialog *dialog, frmFileOpen &d, int items)
{
    return QTest::qWaitForWindowActive(dialog)
        && pumpUntil([&] { return d.lvwSvr()->count() == items && d.outstanding() == 0; })
        && pumpUntil([&] { return QApplication::focusWidget() == d.cboSvrItems(); });
}

} // namespace

// An item picked in each of the four views opens, whichever way the user opens it.
TEST(FileOpenInput, PickedItemOpensInEveryViewEveryWay)
{
    enum Way { OpenButton, EnterKey, DoubleClick, MenuEdit, ReadOnlyButton, MenuReadOnly };
    const struct { Way way; const char *name; const char *code; } ways[] = {
        {OpenButton, "click, Open for Editing", "SIG"},
        {EnterKey, "click, Enter", "SIG"},
        {DoubleClick, "double-click", "SIG"},
        {MenuEdit, "right-click, Open for Editing", "SIG"},
        {ReadOnlyButton, "click, Open Read-only", "SIR"},
        {MenuReadOnly, "right-click, Open Read-only", "SIR"},
    };
    for (int view = ItemListView::LargeIcons; view <= ItemListView::Report; ++view) {
        for (const auto &w : ways) {
            SCOPED_TRACE(testing::Message() << "view " << view << ", " << w.name);
            BrowseSession s;
            OpeningHost host(s.link);
            Steps script = openingWith({"ALPHA", "BETA", "GAMMA"});
            script << browse::closing("USER") << opened(w.code, "1", "BETA");
            ASSERT_TRUE(s.start(script, "CACHE", 4));
            frmFileOpen d;
            modFileOpen::setOpenDialog(&d);
            d.lvwSvr()->setView(view);   // as the saved setting restores it
            s.runModal([&](QDialog *dialog) {
                ASSERT_TRUE(settle(dialog, d, 3));
                ItemListView *list = d.lvwSvr();
                ASSERT_EQ(list->itemText(1), "BETA");
                switch (w.way) {
                case OpenButton:
                    clickItem(list, 1);
                    QTest::mouseClick(d.cmdOpenEdit(), Qt::LeftButton);
                    break;
                case EnterKey:
                    clickItem(list, 1);
                    pressKey(Qt::Key_Return);
                    break;
                case DoubleClick: {
                    // A double click is a click and, on the same spot, the second press.
                    const QPoint at = itemRect(list, 1).center();
                    QTest::mouseClick(shownView(list)->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(shownView(list)->viewport(), Qt::LeftButton, {}, at);
                    break;
                }
                case MenuEdit:
                case MenuReadOnly:
                    clickItem(list, 1, Qt::RightButton);
                    EXPECT_TRUE(clickMenuEntry(w.way == MenuEdit ? "Open for Editing" : "Open Read-only"));
                    break;
                case ReadOnlyButton:
                    clickItem(list, 1);
                    QTest::mouseClick(d.cmdOpenReadonly(), Qt::LeftButton);
                    break;
                }
            });
            EXPECT_TRUE(modFileOpen::FileOpen());
            EXPECT_TRUE(s.finish()) << s.failure().toStdString();
            EXPECT_TRUE(s.prompt->asked.empty());
            modFileOpen::setOpenDialog(nullptr);
        }
    }
}

// What is typed into the name box: a name (with or without its type's ending) is checked
// with "!SIE" and opened; a pattern lists and joins the history, and the dialog stays.
TEST(FileOpenInput, TypedNameOpensAndTypedPatternLists)
{
    enum Key { Return, Enter, OpenButton, AltO };
    const struct { const char *typed; Key key; const char *keyName; } cases[] = {
        {"ZZTEST", Return, "Return"},
        {"ZZTEST", Enter, "Enter"},
        {"ZZTEST", OpenButton, "Open for Editing"},
        {"ZZTEST", AltO, "Alt+O"},
        {"ZZTEST.mac", Return, "Return"},
        {"D*", Return, "Return"},
        {"D*", Enter, "Enter"},
        {"", Return, "Return"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.typed << "' " << c.keyName);
        const QString typed = QString::fromLatin1(c.typed);
        const bool pattern = ServerBrowseDialog::isPattern(typed);
        BrowseSession s;
        OpeningHost host(s.link);
        Steps script = openingWith({"ALPHA"});
        if (pattern) {
            const QString listed = typed.isEmpty() ? QStringLiteral("*") : typed;
            script << expect({"SIL", "2", "1", "", listed, "25"}) << browse::page(2, "", {"DEMO"}, "\x01")
                   << browse::closing("USER");
        } else {
            const bool mac = typed.endsWith(QLatin1String(".mac"));
            const QString type = mac ? QStringLiteral("2") : QStringLiteral("1");
            script << answer({"SIE", type, "USER", "ZZTEST"}, {"SIE", "1"}) << expectAck()
                   << browse::closing("USER") << opened("SIG", type, "ZZTEST");
        }
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        frmFileOpen d;
        modFileOpen::setOpenDialog(&d);
        bool stayed = false;
        s.runModal([&](QDialog *dialog) {
            ASSERT_TRUE(settle(dialog, d, 1));
            if (typed.isEmpty())
                pressKey(Qt::Key_Backspace);   // the "*" shown is selected: it goes
            else
                QTest::keyClicks(QApplication::focusWidget(), typed);
            switch (c.key) {
            case Return:
                pressKey(Qt::Key_Return);
                break;
            case Enter:
                pressKey(Qt::Key_Enter);
                break;
            case OpenButton:
                QTest::mouseClick(d.cmdOpenEdit(), Qt::LeftButton);
                break;
            case AltO:
                pressKey(Qt::Key_O, Qt::AltModifier);
                break;
            }
            if (pattern) {
                EXPECT_TRUE(pumpUntil([&] { return d.lvwSvr()->count() == 1 && d.lvwSvr()->itemText(0) == "DEMO"; }));
                stayed = dialog->isVisible();
                pressKey(Qt::Key_Escape);
            }
        });
        EXPECT_TRUE(modFileOpen::FileOpen());
        EXPECT_TRUE(s.finish()) << s.failure().toStdString();
        EXPECT_TRUE(s.prompt->asked.empty());
        if (pattern) {
            EXPECT_TRUE(stayed);
            EXPECT_EQ(d.patternHistory(), typed.isEmpty() ? QStringList() : QStringList{typed});
        }
        modFileOpen::setOpenDialog(nullptr);
    }
}

// One long generated name among a hundred routines: every cell of the icon and list views
// stays about twenty characters wide, so the list still shows many items at once; the
// long name is drawn cut in the middle, shows whole in its tip, and opens when picked.
TEST(FileOpenInput, ALongNameLeavesTheListReadableInEveryView)
{
    const QString longName = QStringLiteral("Demo.Sample.GeneratedPersonClassName.1");
    ASSERT_EQ(longName.size(), 38);
    QStringList names;
    for (int i = 0; i < 103; ++i)
        names << QStringLiteral("RTN%1").arg(i, 3, 10, QLatin1Char('0'));
    names.insert(3, longName);

    for (int view = ItemListView::LargeIcons; view <= ItemListView::Report; ++view) {
        SCOPED_TRACE(testing::Message() << "view " << view);
        BrowseSession s;
        OpeningHost host(s.link);
        Steps script = openingWith(names);
        script << browse::closing("USER") << opened("SIG", "1", longName);
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        frmFileOpen d;
        modFileOpen::setOpenDialog(&d);
        d.lvwSvr()->setView(view);
        s.runModal([&](QDialog *dialog) {
            ASSERT_TRUE(settle(dialog, d, int(names.size())));
            dialog->resize(800, 560);
            ItemListView *list = d.lvwSvr();
            QAbstractItemView *shown = shownView(list);
            int longRow = 0;
            while (longRow < list->count() && list->itemText(longRow) != longName)
                ++longRow;
            const QRect longRect = itemRect(list, longRow);
            ASSERT_TRUE(longRect.isValid());
            if (view != ItemListView::Report) {
                const QFontMetrics metrics(shown->font());
                EXPECT_LE(longRect.width(), metrics.horizontalAdvance(QString(20, QLatin1Char('N'))) + 40);
                int whole = 0;
                for (int row = 0; row < list->count(); ++row) {
                    if (shown->viewport()->rect().contains(shown->visualRect(shown->model()->index(row, 0))))
                        ++whole;
                }
                EXPECT_GE(whole, 12);
            }
            // The name is cut wherever its cell is too narrow, and then the tip holds it.
            const bool cut = QFontMetrics(shown->font()).horizontalAdvance(longName) > longRect.width();
            if (view != ItemListView::Report)
                EXPECT_TRUE(cut);
            if (cut) {
                // The pointer rests on the item: what Qt sends the view once the pointer stops.
                QTest::mouseMove(shown->viewport(), longRect.center());
                QHelpEvent rest(QEvent::ToolTip, longRect.center(), shown->viewport()->mapToGlobal(longRect.center()));
                QCoreApplication::sendEvent(shown->viewport(), &rest);
                EXPECT_TRUE(pumpUntil([&] { return QToolTip::isVisible() && QToolTip::text() == longName; }, 5000))
                    << QToolTip::text().toStdString();
                QTest::mouseMove(shown->viewport(), itemRect(list, 0).center());
            }
            clickItem(list, longRow);
            QTest::mouseClick(d.cmdOpenEdit(), Qt::LeftButton);
        });
        EXPECT_TRUE(modFileOpen::FileOpen());
        EXPECT_TRUE(s.finish()) << s.failure().toStdString();
        modFileOpen::setOpenDialog(nullptr);
        QToolTip::hideText();
    }
}

// The Recent tab shows each item's whole location: its columns fit their texts.
TEST(FileOpenInput, TheRecentTabShowsWholeLocations)
{
    BrowseSession s;
    OpeningHost host(s.link);
    Steps script = openingWith({"ALPHA"});
    script << browse::closing("USER") << opened("SIG", "1", "ZZRECENTNAME");
    ASSERT_TRUE(s.start(script, "CACHE", 4));
    frmFileOpen d;
    modFileOpen::setOpenDialog(&d);
    Sources recent;
    recent.Add(1, QStringLiteral("ZZRECENTNAME"), QStringLiteral("vantrel://127.0.0.1/USER"), QString(),
               QStringLiteral("CACHE"));
    d.AddToRecent(recent);
    s.runModal([&](QDialog *dialog) {
        ASSERT_TRUE(settle(dialog, d, 1));
        QTabBar *tabs = d.tabMain()->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QTreeWidget *grid = d.sftRecent();
        ASSERT_TRUE(pumpUntil([&] { return grid->isVisible() && QApplication::focusWidget() == grid; }));
        for (int col : {0, 1}) {
            SCOPED_TRACE(col);
            // What the column needs to draw its texts uncut, as the view measures it
            // (public on QAbstractItemView, protected on QTreeView).
            EXPECT_GE(grid->columnWidth(col), static_cast<QAbstractItemView *>(grid)->sizeHintForColumn(col))
                << grid->topLevelItem(0)->text(col).toStdString();
        }
        pressKey(Qt::Key_Return);
    });
    EXPECT_TRUE(modFileOpen::FileOpen());
    EXPECT_TRUE(s.finish()) << s.failure().toStdString();
    modFileOpen::setOpenDialog(nullptr);
}

namespace {

// A name as a class compiler generates it: sixty characters that differ only at the end.
QString generatedName(int i)
{
    QString name = QStringLiteral("LONG");
    while (name.size() < 57)
        name += QStringLiteral("Name");
    return name.left(57) + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
}

// What a column of a tree view needs to draw its texts and its header uncut.
int columnNeed(QTreeView *view, int column)
{
    // Public on the item view, where the tree view's own measure is reached through it.
    const QAbstractItemView *items = view;
    return std::max(items->sizeHintForColumn(column),
                    view->header()->sectionSizeHint(column));
}

// The pointer rests on a spot of a view: what Qt sends the view once the pointer stops.
QString tipAt(QAbstractItemView *view, const QPoint &at)
{
    QToolTip::hideText();
    QTest::mouseMove(view->viewport(), at);
    QHelpEvent rest(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &rest);
    pumpUntil([] { return QToolTip::isVisible(); }, 2000);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

// Forty generated names of sixty characters, in the dialog at its first size. In the icon
// and list views the cells stay bounded, so items still stand side by side and one above
// another, each name cut in the
// middle and whole in its tip. In Details the Item column gets the room its names need,
// "Last Saved" what its dates (or its header, when no item has one) need, and both stay in
// view. The name picked by a click opens.
TEST(FileOpenInput, SixtyCharacterNamesKeepAGridAndTheNameColumnItsRoom)
{
    QStringList names, dates;
    for (int i = 0; i < 40; ++i) {
        names << generatedName(i);
        dates << QStringLiteral("63000,%1").arg(3600 + i);
    }
    ASSERT_EQ(names.first().size(), 60);
    for (bool withDates : {true, false}) {
        for (int view = ItemListView::LargeIcons; view <= ItemListView::Report; ++view) {
            if (!withDates && view != ItemListView::Report)
                continue;   // the dates show only in Details
            SCOPED_TRACE(testing::Message() << "view " << view << (withDates ? ", dates" : ", no dates"));
            BrowseSession s;
            OpeningHost host(s.link);
            Steps script = browse::opening("USER", browse::nsl({"USER", "SAMPLES"}));
            script << browse::firstListing("USER", 1, "1", "*")
                   << browse::page(1, "", names, QString(names.size(), QChar(1)), withDates ? dates : QStringList())
                   << browse::closing("USER") << opened("SIG", "1", names.at(1));
            ASSERT_TRUE(s.start(script, "CACHE", 4));
            frmFileOpen d;
            modFileOpen::setOpenDialog(&d);
            d.lvwSvr()->setView(view);
            s.runModal([&](QDialog *dialog) {
                ASSERT_TRUE(settle(dialog, d, int(names.size())));
                ItemListView *list = d.lvwSvr();
                QAbstractItemView *shown = shownView(list);
                const QRect first = itemRect(list, 0);
                const QRect second = itemRect(list, 1);
                ASSERT_TRUE(first.isValid() && second.isValid());
                if (view != ItemListView::Report) {
                    const QFontMetrics metrics(shown->font());
                    EXPECT_LE(first.width(), metrics.horizontalAdvance(QString(20, QLatin1Char('N'))) + 40);
                    // Items wholly in view stand in more than one column and more than one row,
                    // once the view has laid them out.
                    QSet<int> lefts, tops;
                    pumpUntil([&] {
                        lefts.clear();
                        tops.clear();
                        for (int row = 0; row < list->count(); ++row) {
                            const QRect r = shown->visualRect(shown->model()->index(row, 0));
                            if (shown->viewport()->rect().contains(r)) {
                                lefts << r.left();
                                tops << r.top();
                            }
                        }
                        return lefts.size() >= 2 && tops.size() >= 2;
                    });
                    EXPECT_GE(lefts.size(), 2);
                    EXPECT_GE(tops.size(), 2);
                } else {
                    QTreeView *tree = list->treeView();
                    QHeaderView *header = tree->header();
                    const int room = tree->viewport()->width();
                    const int dateNeed = columnNeed(tree, 1);
                    EXPECT_GE(header->sectionSize(0), std::min(columnNeed(tree, 0), room - dateNeed));
                    EXPECT_GE(header->sectionSize(1), dateNeed);
                    EXPECT_LE(header->sectionViewportPosition(1) + dateNeed, room);
                }
                if (QFontMetrics(shown->font()).horizontalAdvance(names.at(1)) > second.width()) {
                    EXPECT_EQ(tipAt(shown, second.center()), names.at(1));
                }
                clickItem(list, 1);
                QTest::mouseClick(d.cmdOpenEdit(), Qt::LeftButton);
            });
            EXPECT_TRUE(modFileOpen::FileOpen());
            EXPECT_TRUE(s.finish()) << s.failure().toStdString();
            modFileOpen::setOpenDialog(nullptr);
            QToolTip::hideText();
        }
    }
}

// A recent item of sixty characters beside its location: every column stays in view,
// however narrow the dialog; a name or location cut for room is cut in the middle and shows
// whole in its tip. The row picked by a click opens.
TEST(FileOpenInput, TheRecentTabKeepsTheLocationInViewBesideALongName)
{
    const QString name = generatedName(7);
    const QString path = QStringLiteral("vantrel://127.0.0.1/USER");
    for (int width : {800, 420}) {
        SCOPED_TRACE(width);
        BrowseSession s;
        OpeningHost host(s.link);
        Steps script = openingWith({"ALPHA"});
        script << browse::closing("USER") << opened("SIG", "1", name);
        ASSERT_TRUE(s.start(script, "CACHE", 4));
        frmFileOpen d;
        modFileOpen::setOpenDialog(&d);
        Sources recent;
        recent.Add(1, name, path, QString(), QStringLiteral("CACHE"));
        d.AddToRecent(recent);
        s.runModal([&](QDialog *dialog) {
            ASSERT_TRUE(settle(dialog, d, 1));
            dialog->resize(width, 420);
            QTabBar *tabs = d.tabMain()->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
            QTreeWidget *grid = d.sftRecent();
            ASSERT_TRUE(pumpUntil([&] { return grid->isVisible() && QApplication::focusWidget() == grid; }));
            QHeaderView *header = grid->header();
            const int room = grid->viewport()->width();
            ASSERT_TRUE(pumpUntil([&] { return header->sectionViewportPosition(2) + header->sectionSize(2) <= room; }))
                << header->sectionViewportPosition(2) + header->sectionSize(2) << " > " << room;
            for (int col : {0, 1}) {
                SCOPED_TRACE(col);
                const QRect cell = grid->visualRect(grid->model()->index(0, col));
                EXPECT_GT(cell.width(), 0);
                EXPECT_TRUE(grid->viewport()->rect().contains(cell.center()));
                EXPECT_EQ(tipAt(grid, cell.center()), col == 0 ? name : path);
            }
            const QRect nameCell = grid->visualRect(grid->model()->index(0, 0));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, nameCell.center());
            pressKey(Qt::Key_Return);
        });
        EXPECT_TRUE(modFileOpen::FileOpen());
        EXPECT_TRUE(s.finish()) << s.failure().toStdString();
        modFileOpen::setOpenDialog(nullptr);
        QToolTip::hideText();
    }
}
