#pragma once

#include "userprompt.h"

#include <QFontMetrics>
#include <QString>

// The user prompt on message boxes, shared by the programs with a window:
//
//     setUserPrompt(std::make_shared<MessageBoxPrompt>(QStringLiteral("Vantrel")));
//
// A question without a title gets the program's. Texts keep the line ends they
// were built with (CR LF, or a lone CR); they become line breaks only here, at
// display time. Escape and the close box give the cautious answer, the same one
// a run without a user gets (cautiousAnswer).
class MessageBoxPrompt : public IUserPrompt
{
public:
    explicit MessageBoxPrompt(const QString &defaultTitle);

    Answer ask(const Question &question) override;

    QString defaultTitle() const { return m_defaultTitle; }

    // Lone CRs and CR LF pairs as LF: Qt breaks lines on LF only.
    static QString forDisplay(const QString &text);

    // A text (as forDisplay gives it) whose lines hold tabs, as rich text: each run of
    // tabbed lines a table whose first column holds what stands before the tab (a
    // step's number) and whose second the rest, a line that begins with a tab under a
    // numbered one joined to it. The words stay as they are. Empty when there is no tab.
    static QString withTabsLaidOut(const QString &display, const QFontMetrics &metrics);

private:
    QString m_defaultTitle;
};
