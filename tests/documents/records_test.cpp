#include "breakpoint.h"
#include "sources.h"
#include "stacklevel.h"
#include "watchpoint.h"

#include <QStringList>

#include <gtest/gtest.h>

TEST(StackLevel, EnvRtnIsEmptyOnlyWithoutEnvAndRtn)
{
    const struct { const char *env, *rtn, *key; } cases[] = {
        {"", "", ""},
        {"", "X", "^X^1"},
        {"USER", "X", "USER^X^1"},
        {"USER", "", "USER^^1"},
    };
    for (const auto &c : cases) {
        StackLevel level;
        level.Env = c.env;
        level.Rtn = c.rtn;
        EXPECT_EQ(level.EnvRtn(), c.key) << c.env << "|" << c.rtn;
    }
}

TEST(Breakpoint, EnvRtnAlwaysNamesTheIntRoutine)
{
    Breakpoint bp;
    EXPECT_EQ(bp.EnvRtn(), "^^1");
    bp.Env = "USER";
    bp.Rtn = "ABC";
    EXPECT_EQ(bp.EnvRtn(), "USER^ABC^1");
}

TEST(Records, NewRecordsAreEmpty)
{
    const Breakpoint bp;
    EXPECT_TRUE(bp.Line.isEmpty() && bp.Condition.isEmpty() && bp.ConditionError.isEmpty());
    EXPECT_FALSE(bp.Enabled);
    EXPECT_EQ(bp.Cmd + bp.Delay + bp.ID, 0);
    const Watchpoint wp;
    EXPECT_FALSE(wp.Enabled || wp.ValueIsError || wp.OldValueIsError);
    EXPECT_TRUE(wp.Expression.isEmpty() && wp.Value.isEmpty() && wp.OldValue.isEmpty());
    EXPECT_EQ(wp.ID, 0);
}

TEST(Source, DisplayNameFallsBackToName)
{
    Source s;
    s.Name = "ABC";
    EXPECT_EQ(s.DisplayName(), "ABC");
    s.setDisplayName("Nice");
    EXPECT_EQ(s.DisplayName(), "Nice");
    s.setDisplayName("");
    EXPECT_EQ(s.DisplayName(), "ABC");
}

TEST(Sources, AddsReachesAndRemovesItems)
{
    Sources list;
    SourcePtr a = list.Add(1, "A", "vantrel://10.0.0.1/USER", "", "CACHE");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->TypeOfSource, 1);
    EXPECT_EQ(a->Name, "A");
    EXPECT_EQ(a->Path, "vantrel://10.0.0.1/USER");
    EXPECT_EQ(a->MType, "CACHE");
    EXPECT_FALSE(a->ReadOnly);

    SourcePtr b = list.Add(2, "B", "vantrel://h/NS", "k", "GTM");
    ASSERT_TRUE(b);
    EXPECT_EQ(list.Add(3, "C", "vantrel://h/NS", "k", "GTM"), nullptr);   // key taken
    EXPECT_EQ(list.Count(), 2);

    EXPECT_EQ(list.Item(1), a);
    EXPECT_EQ(list.Item(2), b);
    EXPECT_EQ(list.Item("k"), b);
    EXPECT_EQ(list.Item(""), nullptr);    // an unkeyed item is reachable by position only
    EXPECT_EQ(list.Item("K"), nullptr);
    EXPECT_EQ(list.Item(3), nullptr);
    EXPECT_FALSE(list.Remove("absent"));
    EXPECT_FALSE(list.Remove(0));

    // Items handed out are the ones in the list: a change shows through both.
    list.Item(1)->ReadOnly = true;
    EXPECT_TRUE(a->ReadOnly);

    QStringList names;
    for (const SourcePtr &s : list)
        names << s->Name;
    EXPECT_EQ(names, QStringList({"A", "B"}));

    EXPECT_TRUE(list.Remove("k"));
    EXPECT_TRUE(list.Remove(1));
    EXPECT_EQ(list.Count(), 0);
}
