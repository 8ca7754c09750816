#include "recordingprompt.h"

#include <gtest/gtest.h>

TEST(UserPrompt, HeadlessAnswersAreTheOnesThatChangeNothing)
{
    using B = IUserPrompt::Buttons;
    using A = IUserPrompt::Answer;
    const struct { B buttons; A answer; } cases[] = {
        {B::Ok, A::Ok},
        {B::OkCancel, A::Cancel},
        {B::YesNoCancel, A::Cancel},
        {B::YesNo, A::No},
        {B::RetryCancel, A::Cancel},
        {B::AbortRetryIgnore, A::Abort},
    };
    for (const auto &c : cases) {
        IUserPrompt::Question q;
        q.text = "Save Changes?";
        q.buttons = c.buttons;
        EXPECT_EQ(userPrompt().ask(q), c.answer) << int(c.buttons);
    }
}

TEST(UserPrompt, InstalledPromptRecordsAndAnswersUntilRemoved)
{
    auto recorder = std::make_shared<RecordingPrompt>();
    recorder->answers.push_back(IUserPrompt::Answer::Yes);
    {
        ScopedUserPrompt scoped(recorder);
        IUserPrompt::Question q;
        q.title = "Lose Changes?";
        q.buttons = IUserPrompt::Buttons::YesNo;
        EXPECT_EQ(userPrompt().ask(q), IUserPrompt::Answer::Yes);
        EXPECT_EQ(userPrompt().ask(q), IUserPrompt::Answer::No);   // queue empty: cautious
        tellUser("done", "Vantrel", IUserPrompt::Icon::Information);
    }
    ASSERT_EQ(recorder->asked.size(), 3u);
    EXPECT_EQ(recorder->asked[2].text, "done");
    EXPECT_EQ(recorder->asked[2].buttons, IUserPrompt::Buttons::Ok);
    EXPECT_EQ(&userPrompt() == recorder.get(), false);
}
