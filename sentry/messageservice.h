#pragma once

#include <QString>

#include <memory>

// Every box the Sentry shows goes through here, so tests can script the answers
// and a Sentry run without anyone watching can write its boxes to stderr.
class MessageService
{
public:
    enum Icon { Critical, Warning, Question };

    virtual ~MessageService() = default;
    virtual void inform(const QString &title, const QString &text, Icon icon) = 0;
    // Yes and No; true for Yes.
    virtual bool askYesNo(const QString &title, const QString &text, Icon icon, bool noIsDefault) = 0;

    // Boxes on screen; with VANTREL_SENTRY_QUIET set, lines on stderr answered
    // with the default button.
    static std::unique_ptr<MessageService> create();
};
