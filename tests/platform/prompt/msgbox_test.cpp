#include "msgbox.h"
#include "recordingprompt.h"

#include <gtest/gtest.h>

namespace {

using A = IUserPrompt::Answer;
using B = IUserPrompt::Buttons;
using I = IUserPrompt::Icon;

TEST(MsgBox, StyleGivesButtonsIconAndDefault)
{
    const struct { int style; B buttons; I icon; A defaultAnswer; } cases[] = {
        {0, B::Ok, I::None, A::Ok},
        {1, B::OkCancel, I::None, A::Ok},
        {2 + 48, B::AbortRetryIgnore, I::Exclamation, A::Abort},
        {3 + 64 + 512, B::YesNoCancel, I::Information, A::Cancel},
        {4 + 32 + 256, B::YesNo, I::Question, A::No},
        {5 + 16 + 256, B::RetryCancel, I::Critical, A::Cancel},
        {2 + 256, B::AbortRetryIgnore, I::None, A::Retry},
        {4 + 512, B::YesNo, I::None, A::Yes},          // no third button: the first
        {3 + 768, B::YesNoCancel, I::None, A::Yes},    // no fourth button either
        {0 + 256, B::Ok, I::None, A::Ok},
        {6, B::Ok, I::None, A::Ok},
        {15 + 80, B::Ok, I::None, A::Ok},              // no such buttons, no such icon
        {128 + 4, B::YesNo, I::None, A::Yes},
        {3076 % 512, B::YesNo, I::None, A::Yes},       // a server prompt expecting Yes
        {4096 + 1024 + 4 + 32, B::YesNo, I::Question, A::Yes},   // higher bits ignored
        {-252, B::Ok, I::None, A::Ok},                 // its low bits would read Yes/No
        {-3076 % 512, B::Ok, I::None, A::Ok},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.style);
        const IUserPrompt::Question q = questionFromStyle(c.style);
        EXPECT_EQ(q.buttons, c.buttons);
        EXPECT_EQ(q.icon, c.icon);
        EXPECT_EQ(q.defaultAnswer, c.defaultAnswer);
    }
}

TEST(MsgBox, AsksTheInstalledPromptAndReturnsTheAnswersCode)
{
    const struct { int style; A answer; int code; } cases[] = {
        {0, A::Ok, 1},
        {1, A::Cancel, 2},
        {2, A::Abort, 3},
        {5, A::Retry, 4},
        {2, A::Ignore, 5},
        {4, A::Yes, 6},
        {3, A::No, 7},
    };
    auto prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt installed(prompt);
    for (const auto &c : cases) {
        prompt->answers.push_back(c.answer);
        EXPECT_EQ(MsgBox("text", c.style), c.code) << int(c.answer);
        EXPECT_EQ(answerCode(c.answer), c.code);
    }

    prompt->asked.clear();
    EXPECT_EQ(MsgBox("Overwrite?\r\nIt exists.", 4 + 48 + 256, "Save As"), 7);   // nobody answers: No
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].title, "Save As");
    EXPECT_EQ(prompt->asked[0].text, "Overwrite?\r\nIt exists.");   // line ends are the prompt's to show
    EXPECT_EQ(prompt->asked[0].buttons, B::YesNo);
    EXPECT_EQ(prompt->asked[0].icon, I::Exclamation);
    EXPECT_EQ(prompt->asked[0].defaultAnswer, A::No);

    MsgBox("notice");
    EXPECT_TRUE(prompt->asked.back().title.isEmpty());   // the prompt puts the program's title
    EXPECT_EQ(prompt->asked.back().buttons, B::Ok);
}

} // namespace
