#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Questions and notices for the user, asked from code that must not depend on widgets
// (documents, the engine wrapper) and must not block a headless run. The main window
// installs an implementation on message boxes; tests install one that records and
// answers from a script; until then a headless default answers without showing anything.
class IUserPrompt
{
public:
    enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
    enum class Answer { Ok, Cancel, Abort, Retry, Ignore, Yes, No };
    enum class Icon { None, Critical, Question, Exclamation, Information };

    struct Question
    {
        QString title;                 // empty: the application's title
        QString text;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        // The button Enter presses; none, or one the buttons do not offer: the first.
        std::optional<Answer> defaultAnswer;
    };

    virtual ~IUserPrompt() = default;

    // Returns one of the answers the buttons offer.
    virtual Answer ask(const Question &question) = 0;
};

// The answer that changes nothing: Cancel where offered, else No, else Abort, else Ok.
// What the headless default gives, so that a run without a user never saves, discards
// or overwrites anything on its own.
IUserPrompt::Answer cautiousAnswer(IUserPrompt::Buttons buttons);

// The answers the buttons offer, in the order the buttons stand.
QList<IUserPrompt::Answer> offeredAnswers(IUserPrompt::Buttons buttons);

// The button Enter presses: the question's default when its buttons offer it, else the first.
IUserPrompt::Answer defaultAnswerOf(const IUserPrompt::Question &question);

// The prompt the program currently uses.
IUserPrompt &userPrompt();

// Replaces it; null restores the headless default.
void setUserPrompt(std::shared_ptr<IUserPrompt> prompt);

// A notice with only an OK button.
void tellUser(const QString &text, const QString &title = QString(),
              IUserPrompt::Icon icon = IUserPrompt::Icon::None);
