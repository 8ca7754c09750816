#pragma once

#include "userprompt.h"

#include <deque>
#include <memory>
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
