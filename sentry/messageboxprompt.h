#pragma once

#include "userprompt.h"

// The user prompt on message boxes, for the Sentry's own window. Lone CRs and
// CR LF pairs in a text become line breaks only here, at display time.
class MessageBoxPrompt : public IUserPrompt
{
public:
    Answer ask(const Question &question) override;
};
