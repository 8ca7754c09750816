#include "userprompt.h"

#include <QDebug>

namespace {

// Nobody is there to answer: log the question so a headless run still shows what the
// user would have been asked, and refuse whatever it proposes.
class HeadlessPrompt : public IUserPrompt
{
public:
    Answer ask(const Question &question) override
    {
        qWarning().noquote() << "prompt:" << question.title << "-" << question.text;
        return cautiousAnswer(question.buttons);
    }
};

std::shared_ptr<IUserPrompt> &installed()
{
    static std::shared_ptr<IUserPrompt> prompt;
    return prompt;
}

} // namespace

IUserPrompt::Answer cautiousAnswer(IUserPrompt::Buttons buttons)
{
    using B = IUserPrompt::Buttons;
    using A = IUserPrompt::Answer;
    switch (buttons) {
    case B::OkCancel:
    case B::YesNoCancel:
    case B::RetryCancel:
        return A::Cancel;
    case B::YesNo:
        return A::No;
    case B::AbortRetryIgnore:
        return A::Abort;
    case B::Ok:
        break;
    }
    return A::Ok;
}

QList<IUserPrompt::Answer> offeredAnswers(IUserPrompt::Buttons buttons)
{
    using B = IUserPrompt::Buttons;
    using A = IUserPrompt::Answer;
    switch (buttons) {
    case B::Ok: return {A::Ok};
    case B::OkCancel: return {A::Ok, A::Cancel};
    case B::AbortRetryIgnore: return {A::Abort, A::Retry, A::Ignore};
    case B::YesNoCancel: return {A::Yes, A::No, A::Cancel};
    case B::YesNo: return {A::Yes, A::No};
    case B::RetryCancel: return {A::Retry, A::Cancel};
    }
    return {A::Ok};
}

IUserPrompt::Answer defaultAnswerOf(const IUserPrompt::Question &question)
{
    const QList<IUserPrompt::Answer> offered = offeredAnswers(question.buttons);
    if (question.defaultAnswer && offered.contains(*question.defaultAnswer))
        return *question.defaultAnswer;
    return offered.first();
}

IUserPrompt &userPrompt()
{
    static HeadlessPrompt headless;
    const std::shared_ptr<IUserPrompt> &prompt = installed();
    return prompt ? *prompt : headless;
}

void setUserPrompt(std::shared_ptr<IUserPrompt> prompt)
{
    installed() = std::move(prompt);
}

void tellUser(const QString &text, const QString &title, IUserPrompt::Icon icon)
{
    IUserPrompt::Question q;
    q.title = title;
    q.text = text;
    q.icon = icon;
    userPrompt().ask(q);
}
