#pragma once

#include "userprompt.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Records every question and answers from a queue; an empty queue gives the cautious
// answer, as the headless default would.
class RecordingPrompt : public IUserPrompt
{
public:
    Answer ask(const Question &question) override
    {
        asked.push_back(question);
        if (answers.empty())
            return cautiousAnswer(question.buttons);
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<Question> asked;
    std::deque<Answer> answers;
};

// Answers like RecordingPrompt; while the box whose text holds `trigger` is up, runs
// `whileUp` first, as the event loop of a real box would let the world go on. That box
// is answered with `triggerAnswer`, or without one as Enter answers it: its default.
class BoxWithLifePrompt : public RecordingPrompt
{
public:
    Answer ask(const Question &question) override
    {
        if (!trigger.isEmpty() && question.text.contains(trigger)) {
            asked.push_back(question);
            if (const auto run = std::exchange(whileUp, nullptr))
                run();
            return triggerAnswer.value_or(defaultAnswerOf(question));
        }
        return RecordingPrompt::ask(question);
    }

    QString trigger;
    std::optional<Answer> triggerAnswer;
    std::function<void()> whileUp;
};

// Installs a prompt as the program's for the life of the object, then restores the
// headless default.
class ScopedUserPrompt
{
public:
    explicit ScopedUserPrompt(std::shared_ptr<IUserPrompt> prompt) { setUserPrompt(std::move(prompt)); }
    ~ScopedUserPrompt() { setUserPrompt(nullptr); }
    ScopedUserPrompt(const ScopedUserPrompt &) = delete;
    ScopedUserPrompt &operator=(const ScopedUserPrompt &) = delete;
};
