#include "module1.h"

#include "recordingprompt.h"

#include <QSysInfo>

#include <gtest/gtest.h>

namespace {

TEST(Module1, ServerPromptComparesTheAnswerWithTheExpectedOne)
{
    using A = IUserPrompt::Answer;
    using B = IUserPrompt::Buttons;
    struct Case
    {
        QStringList fields;
        std::optional<A> answer;   // none: no box expected
        bool result;
        B buttons;
        QString text;
    };
    const Case cases[] = {
        {{"SIM"}, std::nullopt, true, B::Ok, ""},
        {{"SIM", "3076", "Overwrite?"}, A::Yes, true, B::YesNo, "Overwrite?"},
        {{"SIM", "3076", "Overwrite?"}, A::No, false, B::YesNo, "Overwrite?"},
        {{"SIM", "1", "Go on?"}, A::Ok, false, B::OkCancel, "Go on?"},   // expects 0: never
        {{"SIM", "512", "Note"}, A::Ok, true, B::Ok, "Note"},
        {{"SIM", "abc", "Bad number"}, A::Ok, false, B::Ok, "Bad number"},
        {{"SIM", "3076"}, A::Yes, true, B::YesNo, ""},                  // no text
        {{"SIM", "-513", "Negative"}, A::Ok, false, B::Ok, "Negative"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fields.join(',').toStdString());
        auto prompt = std::make_shared<RecordingPrompt>();
        ScopedUserPrompt scoped(prompt);
        if (c.answer)
            prompt->answers.push_back(*c.answer);
        QStringList fields = c.fields;
        EXPECT_EQ(Module1::ServerPrompt(fields), c.result);
        ASSERT_EQ(prompt->asked.size(), c.answer ? 1u : 0u);
        if (c.answer) {
            EXPECT_EQ(prompt->asked[0].buttons, c.buttons);
            EXPECT_EQ(prompt->asked[0].text, c.text);
        }
    }
}

TEST(Module1, NamesOfThisComputerAndUser)
{
    EXPECT_FALSE(Module1::UserName().isEmpty());
    const QString host = QSysInfo::machineHostName();
    EXPECT_EQ(Module1::ComputerName(), host.section('.', 0, 0));
    EXPECT_FALSE(Module1::ComputerName().contains('.'));
}

} // namespace
