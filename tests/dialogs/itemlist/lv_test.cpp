#include "itemlistview.h"
#include "lv.h"

#include <gtest/gtest.h>

namespace {

// Sets the module's sort state for one comparison and puts it back afterwards, so
// tests do not see each other's state.
class SortStateScope
{
public:
    SortStateScope(long column, long descending, long kind)
        : m_saved(LV::currentSortState())
    {
        LV::SortColumn = column;
        LV::SortDescending = descending;
        LV::SortKind = kind;
    }
    ~SortStateScope()
    {
        LV::SortColumn = m_saved.column;
        LV::SortDescending = m_saved.descending;
        LV::SortKind = m_saved.kind;
    }

private:
    LV::SortState m_saved;
};

// An item whose sort column (column 1, "Last Saved") holds text, and for dates also
// the stored value.
ListItemData item(const QString &sortText, const QDateTime &date = {})
{
    ListItemData data;
    data.text = QStringLiteral("name");
    data.subItem1 = sortText;
    data.subItem1Date = date;
    return data;
}

long compare(long kind, bool descending, const ListItemData &a, const ListItemData &b)
{
    ItemListView view;
    const qint32 lp1 = view.addItem(a);
    const qint32 lp2 = view.addItem(b);
    SortStateScope scope(2, descending ? 1 : 0, kind);
    return LV::CompareItems(lp1, lp2, &view);
}

TEST(LVCompareItems, EveryKindOrdersEmptyFirstThenByValueAndReversesWhenDescending)
{
    const QDateTime early(QDate(2020, 3, 1), QTime(9, 0));
    const QDateTime late(QDate(2021, 1, 2), QTime(8, 0));
    struct Kind
    {
        const char *name;
        long kind;
        ListItemData less;
        ListItemData greater;
    } kinds[] = {
        {"B", LV::KindText, item("abc"), item("abd")},
        {"I", LV::KindInteger, item("9"), item("10")},
        {"F", LV::KindFloat, item("2.5"), item("10.25")},
        // The displayed texts order the other way round: the stored dates decide.
        {"D", LV::KindDate, item("Z early", early), item("A late", late)},
    };
    for (const Kind &k : kinds) {
        for (bool descending : {false, true}) {
            SCOPED_TRACE(testing::Message() << k.name << (descending ? " descending" : " ascending"));
            const long flip = descending ? -1 : 1;
            EXPECT_EQ(compare(k.kind, descending, item(""), item("")), 0);
            EXPECT_EQ(compare(k.kind, descending, item(""), k.less), -1 * flip);
            EXPECT_EQ(compare(k.kind, descending, k.less, item("")), 1 * flip);
            EXPECT_EQ(compare(k.kind, descending, k.less, k.greater), -1 * flip);
            EXPECT_EQ(compare(k.kind, descending, k.greater, k.less), 1 * flip);
            EXPECT_EQ(compare(k.kind, descending, k.less, k.less), 0);
        }
    }
}

TEST(LVCompareItems, TextIsBinaryNumbersAreNumbersAndUnconvertibleTextStaysText)
{
    struct Case
    {
        const char *name;
        long kind;
        const char *a;
        const char *b;
        long expected;
    } cases[] = {
        {"text: 10 before 9", LV::KindText, "10", "9", -1},
        {"whole: 9 before 10", LV::KindInteger, "9", "10", -1},
        {"text: upper case before lower", LV::KindText, "Zed", "abc", -1},
        {"whole: rounds a fraction", LV::KindInteger, "12.6", "13", 0},
        {"whole: negative", LV::KindInteger, "-3", "2", -1},
        {"float: exponent", LV::KindFloat, "1e3", "999.5", 1},
        {"whole: number before text", LV::KindInteger, "5", "abc", -1},
        {"whole: text after number", LV::KindInteger, "abc", "5", 1},
        {"whole: texts compare as texts", LV::KindInteger, "abc", "abd", -1},
        {"date: unparsable texts compare as texts", LV::KindDate, "soon", "later", 1},
        // Read as dates these would order the other way round (03:00 and 05:00 UTC):
        // a row without a stored date is ordered by its text, never by parsing it.
        {"date: a text without a stored date is not parsed", LV::KindDate,
         "2021-01-02T08:00:00+05:00", "2021-01-02T05:00:00Z", 1},
        {"the first 31 characters decide", LV::KindText,
         "0123456789012345678901234567890-first", "0123456789012345678901234567890-second", 0},
        {"the 31st character still counts", LV::KindText,
         "012345678901234567890123456789A", "012345678901234567890123456789B", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(compare(c.kind, false, item(c.a), item(c.b)), c.expected);
    }
}

TEST(LVCompareItems, AnItemThatIsNotThereSortsAsEmpty)
{
    ItemListView view;
    const qint32 lp = view.addItem(item("x"));
    SortStateScope scope(2, 0, LV::KindText);
    EXPECT_EQ(LV::CompareItems(9999, lp, &view), -1);
    EXPECT_EQ(LV::CompareItems(lp, 9999, &view), 1);
    EXPECT_EQ(LV::CompareItems(lp, lp, nullptr), 0);
}

TEST(LVSortItems, LastSavedPutsUndatedItemsFirstAscendingAndLastDescending)
{
    ItemListView view;
    const QDateTime base(QDate(2022, 6, 1), QTime(12, 0));
    ListItemData a = item("1 Jun", base);
    a.text = "A";
    ListItemData b = item("");
    b.text = "B";
    ListItemData c = item("30 May", base.addDays(-2));
    c.text = "C";
    ListItemData d = item("");
    d.text = "D";
    view.addItems({a, b, c, d});

    auto order = [&] {
        QStringList texts;
        for (int i = 0; i < view.count(); ++i)
            texts << view.itemText(i);
        return texts;
    };
    {
        SortStateScope scope(2, 0, LV::KindDate);
        view.SortItems();
    }
    EXPECT_EQ(order(), QStringList({"B", "D", "C", "A"}));
    {
        SortStateScope scope(2, 1, LV::KindDate);
        view.SortItems();
    }
    EXPECT_EQ(order(), QStringList({"A", "C", "B", "D"}));
}

TEST(LVHelpers, FindReadAndListSelectedByLParam)
{
    ItemListView view;
    const QList<qint32> lps = view.addItems({item("a"), item("b"), item("c")});
    EXPECT_TRUE(LV::SelectedLParams(&view).isEmpty());
    EXPECT_TRUE(LV::SelectedLParams(nullptr).isEmpty());

    view.setItemSelected(2, true);
    view.setItemSelected(0, true);
    EXPECT_EQ(LV::SelectedLParams(&view), QList<qint32>({lps[0], lps[2]}));

    EXPECT_EQ(LV::FindItemByParam(&view, lps[1]), 1);
    EXPECT_EQ(LV::FindItemByParam(&view, 12345), -1);
    EXPECT_EQ(LV::ItemLParam(&view, 1), lps[1]);
    EXPECT_EQ(LV::ItemLParam(&view, 3), 0);
    EXPECT_EQ(LV::ItemLParam(&view, -1), 0);

    SortStateScope scope(2, 0, LV::KindText);
    EXPECT_EQ(LV::SortText(&view, 2), "c");
    view.setSubItem(2, 1, QString(40, QLatin1Char('x')));
    EXPECT_EQ(LV::SortText(&view, 2).size(), LV::SortTextLength);
}

} // namespace
