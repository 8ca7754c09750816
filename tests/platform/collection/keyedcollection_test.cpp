#include "keyedcollection.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Texts = KeyedCollection<QString>;

// Items and keys in order, as "item:key" ("item" alone for an item without a key).
QStringList layout(const Texts &c)
{
    QStringList out;
    int i = 1;
    for (const QString &item : c) {
        const QString key = c.keyAt(i++);
        out << (key.isEmpty() ? item : item + ":" + key);
    }
    return out;
}

Texts abc()
{
    Texts c;
    c.add("a", "ka");
    c.add("b");
    c.add("c", "kc");
    return c;
}

} // namespace

TEST(KeyedCollection, AddsByPositionAndKey)
{
    struct Case
    {
        const char *what;
        std::function<bool(Texts &)> change;
        bool result;
        QStringList after;
    };
    const Case cases[] = {
        {"append", [](Texts &c) { return c.add("d", "kd"); }, true, {"a:ka", "b", "c:kc", "d:kd"}},
        {"duplicate key", [](Texts &c) { return c.add("d", "kc"); }, false, {"a:ka", "b", "c:kc"}},
        {"front", [](Texts &c) { return c.addBefore("d", "kd", 1); }, true, {"d:kd", "a:ka", "b", "c:kc"}},
        {"before key", [](Texts &c) { return c.addBefore("d", "", "kc"); }, true, {"a:ka", "b", "d", "c:kc"}},
        {"before end+1", [](Texts &c) { return c.addBefore("d", "", 4); }, true, {"a:ka", "b", "c:kc", "d"}},
        {"before 0", [](Texts &c) { return c.addBefore("d", "", 0); }, false, {"a:ka", "b", "c:kc"}},
        {"before absent key", [](Texts &c) { return c.addBefore("d", "", "zz"); }, false, {"a:ka", "b", "c:kc"}},
        {"after 0", [](Texts &c) { return c.addAfter("d", "", 0); }, true, {"d", "a:ka", "b", "c:kc"}},
        {"after key", [](Texts &c) { return c.addAfter("d", "kd", "ka"); }, true, {"a:ka", "d:kd", "b", "c:kc"}},
        {"after last", [](Texts &c) { return c.addAfter("d", "", 3); }, true, {"a:ka", "b", "c:kc", "d"}},
        {"after beyond", [](Texts &c) { return c.addAfter("d", "", 4); }, false, {"a:ka", "b", "c:kc"}},
        {"remove middle", [](Texts &c) { return c.remove(2); }, true, {"a:ka", "c:kc"}},
        {"remove by key", [](Texts &c) { return c.remove("ka"); }, true, {"b", "c:kc"}},
        {"remove absent key", [](Texts &c) { return c.remove("KA"); }, false, {"a:ka", "b", "c:kc"}},
        {"remove out of range", [](Texts &c) { return c.remove(4); }, false, {"a:ka", "b", "c:kc"}},
        {"re-key", [](Texts &c) { return c.reKey("ka", "kz"); }, true, {"a:kz", "b", "c:kc"}},
        {"re-key to taken key", [](Texts &c) { return c.reKey("ka", "kc"); }, false, {"a:ka", "b", "c:kc"}},
        {"re-key to itself", [](Texts &c) { return c.reKey("ka", "ka"); }, true, {"a:ka", "b", "c:kc"}},
        {"key an unkeyed item", [](Texts &c) { return c.reKey(2, "kb"); }, true, {"a:ka", "b:kb", "c:kc"}},
        {"drop a key", [](Texts &c) { return c.reKey("kc", ""); }, true, {"a:ka", "b", "c"}},
        {"re-key absent", [](Texts &c) { return c.reKey("zz", "ky"); }, false, {"a:ka", "b", "c:kc"}},
    };
    for (const Case &c : cases) {
        Texts coll = abc();
        EXPECT_EQ(c.change(coll), c.result) << c.what;
        EXPECT_EQ(layout(coll), c.after) << c.what;
        EXPECT_EQ(coll.count(), c.after.size()) << c.what;
    }
}

TEST(KeyedCollection, KeysFollowTheirItemsThroughInsertsAndRemovals)
{
    Texts c = abc();
    c.addBefore("z", "kz", 1);
    c.remove("ka");
    c.reKey("kc", "ka");   // a freed key can be taken again
    EXPECT_EQ(c.item("kz"), "z");
    EXPECT_EQ(c.item("ka"), "c");
    EXPECT_EQ(c.indexOf("ka"), 3);
    EXPECT_EQ(c.indexOf("kc"), 0);
    EXPECT_FALSE(c.contains("kc"));
    EXPECT_TRUE(c.add("again", "kc"));
    EXPECT_EQ(c.take("kz"), "z");
    EXPECT_EQ(layout(c), QStringList({"b", "c:ka", "again:kc"}));
}

TEST(KeyedCollection, AbsentItemsAreEmptyNotFaults)
{
    KeyedCollection<std::shared_ptr<int>> docs;
    docs.add(std::make_shared<int>(1), "USER^ABC^1");
    EXPECT_EQ(docs.item("USER^abc^1"), nullptr);   // keys are case-sensitive
    EXPECT_EQ(docs.item(""), nullptr);             // "" is no key at all
    EXPECT_EQ(docs.item(0), nullptr);
    EXPECT_EQ(docs.item(2), nullptr);
    EXPECT_EQ(docs.take(-1), nullptr);
    EXPECT_EQ(*docs.item(1), 1);
    EXPECT_EQ(docs.keyAt(2), "");

    Texts hidden;
    EXPECT_EQ(hidden.item("x"), "");
}

TEST(KeyedCollection, ThrowingCollectionReportsAbsentItems)
{
    Texts c(Texts::Absent::Throw);
    c.add("a", "ka");
    EXPECT_THROW(c.item("kb"), VantrelError);
    EXPECT_THROW(c.item(2), VantrelError);
    EXPECT_THROW(c.remove("kb"), VantrelError);
    EXPECT_EQ(c.item("ka"), "a");
    EXPECT_FALSE(c.reKey("kb", "kc"));
}

TEST(KeyedCollection, CopiesAreIndependent)
{
    Texts original = abc();
    Texts copy = original;
    copy.reKey("ka", "kx");
    copy.remove(2);
    EXPECT_EQ(layout(original), QStringList({"a:ka", "b", "c:kc"}));
    EXPECT_EQ(layout(copy), QStringList({"a:kx", "c:kc"}));
    EXPECT_EQ(original.item("ka"), "a");

    Texts moved = std::move(copy);
    EXPECT_EQ(moved.item("kx"), "a");
}

TEST(KeyedCollection, EnumeratesAndEditsInPlace)
{
    KeyedCollection<int> c;
    for (int i = 1; i <= 4; ++i)
        c.add(i, QString::number(i));
    for (int &v : c)
        v *= 10;
    int sum = 0;
    for (int v : static_cast<const KeyedCollection<int> &>(c))
        sum += v;
    EXPECT_EQ(sum, 100);
    EXPECT_EQ(c.item("3"), 30);
    c.clear();
    EXPECT_TRUE(c.isEmpty());
    EXPECT_FALSE(c.contains("3"));
}
