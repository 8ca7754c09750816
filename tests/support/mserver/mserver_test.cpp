#include "mlink.h"
#include "mserver.h"

#include <gtest/gtest.h>

using namespace mserver;

TEST(MServerScript, MatchesFieldsWithWildcards)
{
    struct Case { Fields pattern; Fields actual; bool match; };
    const Case cases[] = {
        {{"NS"}, {"NS"}, true},
        {{"NS"}, {"NS", "x"}, false},
        {{"SIR", "*", "USER"}, {"SIR", "ROU", "USER"}, true},
        {{"SIR", "*", "USER"}, {"SIR", "USER"}, false},
        {{"SIU", "**"}, {"SIU"}, true},
        {{"SIU", "**"}, {"SIU", "1", "A"}, true},
        {{"VAR*"}, {"VAR+"}, true},
        {{"VAR?"}, {"VAR"}, false},
        {{"a.b"}, {"aXb"}, false},   // only * and ? are special
        {{}, {}, true},
        {{}, {""}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(matches(c.pattern, c.actual), c.match) << c.pattern.join('|').toStdString();
}

TEST(MServerScript, ReportsTheStepThatFailedAndWhatCameInstead)
{
    MLink link;
    MServer server({expect({"NS"})});
    server.setStepTimeoutMs(500);
    ASSERT_TRUE(server.startAccepted(link));
    LinkSession(link).Send({"PING"});
    EXPECT_FALSE(server.wait());
    EXPECT_EQ(server.failure(), "step 2 (expect [\"NS\"]): received [\"PING\"]");
    EXPECT_EQ(server.received(), QList<Fields>{{"PING"}});
}
