#include "msgbox.h"

namespace {

IUserPrompt::Buttons buttonsOf(int style)
{
    using B = IUserPrompt::Buttons;
    switch (style & 0xF) {
    case 1: return B::OkCancel;
    case 2: return B::AbortRetryIgnore;
    case 3: return B::YesNoCancel;
    case 4: return B::YesNo;
    case 5: return B::RetryCancel;
    default: return B::Ok;
    }
}

IUserPrompt::Icon iconOf(int style)
{
    using I = IUserPrompt::Icon;
    switch (style & 0xF0) {
    case 16: return I::Critical;
    case 32: return I::Question;
    case 48: return I::Exclamation;
    case 64: return I::Information;
    default: return I::None;
    }
}

} // namespace

IUserPrompt::Question questionFromStyle(int style)
{
    IUserPrompt::Question question;
    if (style < 0)
        style = 0;
    question.buttons = buttonsOf(style);
    question.icon = iconOf(style);
    const QList<IUserPrompt::Answer> offered = offeredAnswers(question.buttons);
    const int defaultIndex = (style & 0x300) >> 8;
    question.defaultAnswer = defaultIndex < offered.size() ? offered.at(defaultIndex) : offered.first();
    return question;
}

int answerCode(IUserPrompt::Answer answer)
{
    using A = IUserPrompt::Answer;
    switch (answer) {
    case A::Ok: return 1;
    case A::Cancel: return 2;
    case A::Abort: return 3;
    case A::Retry: return 4;
    case A::Ignore: return 5;
    case A::Yes: return 6;
    case A::No: return 7;
    }
    return 1;
}

int MsgBox(const QString &text, int style, const QString &title)
{
    IUserPrompt::Question question = questionFromStyle(style);
    question.text = text;
    question.title = title;
    return answerCode(userPrompt().ask(question));
}
