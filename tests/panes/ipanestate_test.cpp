#include "ipaneowner.h"
#include "ipanestate.h"

#include <gtest/gtest.h>

namespace {

// A pane the user opens and closes directly ('S', 'H'); the companion reaches it only
// through ShowMe and HideMe, which are counted.
struct FakeOwner : IPaneOwner
{
    bool visible = true;
    int companionCalls = 0;

    bool paneVisible() const override { return visible; }
    void ShowMe() override { visible = true; ++companionCalls; }
    void HideMe() override { visible = false; ++companionCalls; }
};

// '0'/'1' notify that index; 'S'/'H' are the user showing or hiding the pane. Returns
// the visibility after each step, 'v' or 'h'.
QString run(IPaneState &state, FakeOwner &owner, const char *steps)
{
    QString seen;
    for (const char *s = steps; *s; ++s) {
        switch (*s) {
        case '0': state.Notify(0); break;
        case '1': state.Notify(1); break;
        case 'S': owner.visible = true; break;
        case 'H': owner.visible = false; break;
        }
        seen += owner.visible ? QLatin1Char('v') : QLatin1Char('h');
    }
    return seen;
}

} // namespace

TEST(IPaneState, RemembersTheLayoutOfShellAndOtherSessions)
{
    struct Case { const char *name; bool visibleAtStart; const char *steps; const char *seen; int calls; };
    const Case cases[] = {
        {"shell hides a pane with no saved shell layout, leaving shows it",
         true, "10", "hv", 2},
        {"a pane shown during the shell comes back in the next shell",
         true, "1S01", "hvvv", 1},
        {"a pane hidden by the user during the shell stays hidden next shell",
         true, "1S01H01", "hvvvhvh", 3},
        {"the same index twice does nothing the second time",
         true, "1S1", "hvv", 1},
        {"the starting index is already current",
         true, "0", "v", 0},
        {"a pane closed before the shell stays closed after it",
         false, "10", "hh", 0},
    };
    for (const Case &c : cases) {
        FakeOwner owner;
        owner.visible = c.visibleAtStart;
        IPaneState state;
        state.Prepare(&owner, nullptr);
        EXPECT_EQ(run(state, owner, c.steps), QString::fromLatin1(c.seen)) << c.name;
        EXPECT_EQ(owner.companionCalls, c.calls) << c.name;
    }
}

TEST(IPaneState, DoesNothingWithoutAnOwner)
{
    IPaneState state;
    state.Notify(1);
    EXPECT_EQ(state.stateIndex(), 0);
    EXPECT_FALSE(state.visibleFlag(0));

    // The flags still travel, unchanged.
    MementoPtr data = state.StateData();
    ASSERT_TRUE(data);
    bool flag = true;
    EXPECT_TRUE(data->readBool("0.Visible", flag));
    EXPECT_FALSE(flag);
}

TEST(IPaneState, StateDataRoundTripsThroughPrepare)
{
    FakeOwner owner;
    IPaneState saved;
    saved.Prepare(&owner, nullptr);
    saved.Notify(1);        // flag 0 takes "visible", the shell hides the pane
    owner.visible = true;   // the user opens it during the shell
    MementoPtr data = saved.StateData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->names(), QStringList({"0.Visible", "1.Visible"}));

    FakeOwner other;
    IPaneState restored;
    restored.Prepare(&other, data.get());
    EXPECT_EQ(restored.owner(), &other);
    EXPECT_TRUE(restored.visibleFlag(0));
    EXPECT_TRUE(restored.visibleFlag(1));
}

TEST(IPaneState, PrepareKeepsFlagsItCannotRead)
{
    struct Case { const char *name; bool written; QVariant value0; QVariant value1; bool flag0; bool flag1; };
    // Both flags start True (a first Prepare gave them), so a kept flag shows.
    const Case cases[] = {
        {"booleans", true, false, true, false, true},
        {"text after a restart", true, "False", "true", false, true},
        {"stored Booleans as numbers", true, 0, -1, false, true},
        {"garbage", true, "abc", 2, true, true},
        {"Null", true, QVariant(), QVariant(), true, true},
        {"absent", false, {}, {}, true, true},
    };
    for (const Case &c : cases) {
        Memento allTrue;
        allTrue.write("0.Visible", true);
        allTrue.write("1.Visible", true);
        FakeOwner owner;
        IPaneState state;
        state.Prepare(&owner, &allTrue);

        Memento data;
        if (c.written) {
            data.write("0.Visible", c.value0);
            data.write("1.Visible", c.value1);
        }
        state.Prepare(&owner, &data);
        EXPECT_EQ(state.visibleFlag(0), c.flag0) << c.name;
        EXPECT_EQ(state.visibleFlag(1), c.flag1) << c.name;
    }
}
