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
