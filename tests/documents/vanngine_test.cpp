#include "vanngine.h"

#include "recordingprompt.h"
#include "scriptedengine.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QString NewHand = QStringLiteral("w $$NewHand^PARSE");

// A scripted engine installed as the program's, with prompts recorded.
class VanNgineTest : public ::testing::Test
{
protected:
    std::shared_ptr<ScriptedEngine> engine = std::make_shared<ScriptedEngine>();
    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedParseEngine installedEngine{engine};
    ScopedUserPrompt installedPrompt{prompt};
};

} // namespace

TEST(VanNgineZeroPad, DoublesTheLengthWithNuls)
{
    const QString nul(QChar(0));
    EXPECT_EQ(VanNgine::ZeroPad("ab"), "ab" + nul + nul);
    EXPECT_EQ(VanNgine::ZeroPad(""), "");
    EXPECT_EQ(VanNgine::ZeroPad(QString(QChar(0xE9))), QString(QChar(0xE9)) + nul);
}

TEST_F(VanNgineTest, TakesTheHandleTheEngineGives)
{
    engine->on(NewHand, " 12\r\n");
    engine->setConnected(true);
    VanNgine ngine;
    EXPECT_TRUE(ngine.Connected());
    EXPECT_EQ(ngine.handle(), 12);
    engine->setConnected(false);
    EXPECT_FALSE(ngine.Connected());
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(VanNgineTest, RefusedHandleIsToldAndLeavesNoEngine)
{
    engine->on(NewHand, "ERROR:x");
    {
        VanNgine ngine;
        EXPECT_FALSE(ngine.Connected());
        EXPECT_EQ(ngine.Version(), "");
        EXPECT_TRUE(ngine.MDo2("Pos2Cmd^PARSE", 1, 9).startsWith("ERROR:"));
    }
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "VanNgine init error: failed to get handle: ERROR:x");
    EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::Ok);
    EXPECT_EQ(engine->entries(), QStringList({NewHand}));   // nothing after it, not even at the end
}

TEST_F(VanNgineTest, UnusableHandleOrFailingStartLeavesNoEngineSilently)
{
    const ScriptedEngine::Reply replies[] = {
        "40000", "-32769", "abc", "", "1.5", ScriptedEngine::Reply::error(5, "bad"),
    };
    for (const ScriptedEngine::Reply &reply : replies) {
        engine->queue(NewHand, reply);
        engine->clearCalls();
        {
            VanNgine ngine;
            EXPECT_FALSE(ngine.Connected());
            EXPECT_EQ(ngine.Version(), "");
        }
        EXPECT_EQ(engine->entries(), QStringList({NewHand}));
    }
    EXPECT_TRUE(prompt->asked.empty());
}

TEST_F(VanNgineTest, HandleLimitsOfSixteenBitsAreAccepted)
{
    for (const char *reply : {"32767", "-32768"}) {
        engine->queue(NewHand, reply);
        VanNgine ngine;
        EXPECT_TRUE(ngine.Connected()) << reply;
        EXPECT_EQ(ngine.handle(), QString(reply).toInt());
    }
}

TEST(VanNgineWithoutEngine, AnswersErrorTextsAndCallsNothing)
{
    ScopedParseEngine none(nullptr);
    auto prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt installedPrompt(prompt);

    VanNgine ngine;
    EXPECT_FALSE(ngine.Connected());
    EXPECT_EQ(ngine.Version(), "");
    EXPECT_TRUE(ngine.MDo0("FreeHand^PARSE").startsWith("ERROR:"));
    EXPECT_TRUE(ngine.MDo4("Begin^PARSE", 1, 0, VanNgine::ZeroPad("S X=1"), 1).startsWith("ERROR:"));
    EXPECT_TRUE(ngine.Xecute("W $S").startsWith("ERROR:"));
    EXPECT_TRUE(prompt->asked.empty());
}

TEST(VanNgineWithoutEngine, FactoryThatThrowsCountsAsNoEngine)
{
    setParseEngineFactory([]() -> std::shared_ptr<IParseEngine> { throw std::runtime_error("no"); });
    VanNgine ngine;
    setParseEngineFactory({});
    EXPECT_FALSE(ngine.Connected());
}

TEST_F(VanNgineTest, PassesTheHandleFirstAndCopiesOfTheArguments)
{
    engine->on(NewHand, "7");
    engine->on("TextSet^PARSE", "done");
    VanNgine ngine;
    engine->clearCalls();

    const QString padded = VanNgine::ZeroPad("A");
    EXPECT_EQ(ngine.MDo3("TextSet^PARSE", 7, padded, 0), "done");
    ngine.MDo0("e0");
    ngine.MDo1("e1", 1);
    ngine.MDo2("e2", 1, 2);
    ngine.MDo4("e4", 1, 2, 3, 4);

    const auto &calls = engine->calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].entry, "TextSet^PARSE");
    EXPECT_EQ(calls[0].handle, 7);
    EXPECT_EQ(calls[0].args, QVariantList({7, QString("A") + QChar(0), 0}));
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(calls[std::size_t(i)].handle, 7);
    EXPECT_EQ(calls[1].args.size(), 0);
    EXPECT_EQ(calls[2].args.size(), 1);
    EXPECT_EQ(calls[3].args.size(), 2);
    EXPECT_EQ(calls[4].args, QVariantList({1, 2, 3, 4}));
}

TEST_F(VanNgineTest, FailingCallsBecomeErrorTexts)
{
    engine->on("Begin^PARSE", ScriptedEngine::Reply::error(5, "bad"));
    engine->on("Cmd2Rng^PARSE", ScriptedEngine::Reply::error(VantrelError::Base + 1, "lost"));
    engine->on("Pos2Cmd^PARSE", ScriptedEngine::Reply::computed([](const ScriptedEngine::Call &) -> QString {
        throw std::runtime_error("boom");
    }));
    engine->on("Pos2Tip^PARSE", "ERROR:engine says no");
    engine->on("w $$^VERSION", ScriptedEngine::Reply::error(7, "gone"));
    VanNgine ngine;

    EXPECT_EQ(ngine.MDo2("Begin^PARSE", 1, 0), "ERROR:5 bad");
    // Numbers read as the signed 32-bit values callers have always seen.
    EXPECT_EQ(ngine.MDo2("Cmd2Rng^PARSE", 1, 1), "ERROR:-2147221503 lost");
    EXPECT_EQ(ngine.MDo2("Pos2Cmd^PARSE", 1, 1), "ERROR:440 boom");
    EXPECT_EQ(ngine.MDo2("Pos2Tip^PARSE", 1, 1), "ERROR:engine says no");
    EXPECT_EQ(ngine.Version(), "ERROR:7 gone");
}

TEST_F(VanNgineTest, VersionAsksTheEngine)
{
    engine->on("w $$^VERSION", "1.0.0");
    VanNgine ngine;
    EXPECT_EQ(ngine.Version(), "1.0.0");
    EXPECT_EQ(engine->calls().back().isXecute, true);
}

TEST_F(VanNgineTest, EndFreesTheHandleThenWritesTwiceIgnoringErrors)
{
    engine->on("FreeHand^PARSE", ScriptedEngine::Reply::error(5, "bad"));
    engine->on("W $S", ScriptedEngine::Reply::error(6, "worse"));
    {
        VanNgine first;
        VanNgine second;
        engine->clearCalls();
    }
    // Each wrapper frees its own handle; the second is destroyed first.
    EXPECT_EQ(engine->entries(),
              QStringList({"FreeHand^PARSE", "W $S", "W $S", "FreeHand^PARSE", "W $S", "W $S"}));
    EXPECT_EQ(engine->calls()[0].handle, 2);
    EXPECT_TRUE(engine->calls()[1].isXecute);
    EXPECT_EQ(engine->calls()[3].handle, 1);
}
