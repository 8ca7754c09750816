#include "scriptedengine.h"

#include <gtest/gtest.h>

namespace {

QString padded(const QString &s)
{
    return s + QString(s.size(), QChar(0));
}

} // namespace

TEST(ScriptedEngine, QueuedRepliesComeFirstInOrderThenStandingOnes)
{
    ScriptedEngine e;
    e.on("MoreToks^PARSE", "standing");
    e.queue("MoreToks^PARSE", "first").queue("MoreToks^PARSE", "second");

    EXPECT_EQ(e.call("MoreToks^PARSE", 1, {1, 3}), "first");
    EXPECT_EQ(e.pendingReplies("MoreToks^PARSE"), 1);
    EXPECT_EQ(e.call("MoreToks^PARSE", 1, {2, 2}), "second");
    EXPECT_EQ(e.call("MoreToks^PARSE", 1, {3, 1}), "standing");
    EXPECT_EQ(e.call("Cmd2Rng^PARSE", 1, {1, 1}), "");   // nothing scripted
}

TEST(ScriptedEngine, ArgumentRulesOutrankTheEntryDefaultWhateverTheOrder)
{
    ScriptedEngine e;
    e.on("Pos2Cmd^PARSE", {5, 9}, "1");
    e.on("Pos2Cmd^PARSE", "-1");
    // A ZeroPad-ed argument matches its plain text; a Boolean matches VB's -1; an
    // invalid QVariant is a wildcard.
    e.on("TextSet^PARSE", {7, "A", QVariant()}, "matched");
    e.on("SetTable^PName", {"CACHE", -1, "T"}, "bool");

    EXPECT_EQ(e.call("Pos2Cmd^PARSE", 1, {5, 9}), "1");
    EXPECT_EQ(e.call("Pos2Cmd^PARSE", 1, {qint64(5), 9.0}), "1");
    EXPECT_EQ(e.call("Pos2Cmd^PARSE", 1, {5, 10}), "-1");
    EXPECT_EQ(e.call("TextSet^PARSE", 1, {7, padded("A"), 0}), "matched");
    EXPECT_EQ(e.call("SetTable^PName", 1, {"CACHE", true, "T"}), "bool");
}

TEST(ScriptedEngine, ThrowsScriptedErrorsAndComputesReplies)
{
    ScriptedEngine e;
    e.on("Begin^PARSE", ScriptedEngine::Reply::error(5, "bad"));
    e.on("Pos2Tip^PARSE", ScriptedEngine::Reply::computed([](const ScriptedEngine::Call &c) {
        return "=X" + QString(QChar(0)) + "V" + c.text(0) + ":" + c.text(1);
    }));

    try {
        e.call("Begin^PARSE", 1, {1, 0});
        FAIL() << "no error thrown";
    } catch (const VantrelError &err) {
        EXPECT_EQ(err.number(), 5u);
        EXPECT_EQ(err.text(), "bad");
    }
    EXPECT_EQ(e.call("Pos2Tip^PARSE", 3, {1, 9}), "=X" + QString(QChar(0)) + "V1:9");
}

TEST(ScriptedEngine, RecordsCallsAndHandsOutHandles)
{
    ScriptedEngine e;
    EXPECT_EQ(e.xecute("w $$NewHand^PARSE"), "1");
    EXPECT_EQ(e.xecute("w $$NewHand^PARSE"), "2");
    e.call("TextSet^PARSE", 2, {7, padded("AB"), 0});

    ASSERT_EQ(e.calls().size(), 3u);
    const ScriptedEngine::Call &c = e.calls().back();
    EXPECT_FALSE(c.isXecute);
    EXPECT_EQ(c.handle, 2);
    EXPECT_EQ(c.args.at(1).toString(), padded("AB"));
    EXPECT_EQ(c.text(1), "AB");
    EXPECT_EQ(e.entries(), QStringList({"w $$NewHand^PARSE", "w $$NewHand^PARSE", "TextSet^PARSE"}));
    EXPECT_EQ(e.callsTo("TextSet^PARSE").size(), 1u);
}

TEST(ScriptedEngine, UnpadTakesTheFirstHalfOnlyOfZeroPaddedText)
{
    const struct { QString in, out; } cases[] = {
        {padded("AB"), "AB"},
        {"", ""},
        {"AB", "AB"},
        {QString("A") + QChar(0) + "B" + QChar(0), QString("A") + QChar(0) + "B" + QChar(0)},
        {padded(QString("A") + QChar(0)), QString("A") + QChar(0)},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ScriptedEngine::unpad(c.in), c.out);
}

TEST(ParseReply, BuildsTheBeginGrammar)
{
    using namespace ParseReply;
    const QString reply = begin(0, 1, 0, {lineItem(0, 0, {token(4, 0, 5), token(6, 6, 1)})});
    EXPECT_EQ(reply, "0 1 0^0 0\\4 0 5 0\\6 6 1 0");
    EXPECT_EQ(moreToks(0, {lineItem(8, 1)}), "0^8 1");
}

TEST(ScopedParseEngine, InstallsAndRestores)
{
    auto e = std::make_shared<ScriptedEngine>();
    {
        ScopedParseEngine scoped(e);
        EXPECT_EQ(makeParseEngine(), e);
    }
    EXPECT_NE(makeParseEngine(), e);
    {
        ScopedParseEngine none(nullptr);
        EXPECT_EQ(makeParseEngine(), nullptr);
    }
}
