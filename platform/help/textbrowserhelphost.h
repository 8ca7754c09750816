#pragma once

#include "ihelphost.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QUrl>

class HelpWindow;

// Shows help requests in our own HelpWindow, one per window name, from a folder of
// plain HTML pages. The help file of a request names that folder:
//   1. the path itself, when it is a folder;
//   2. the path with ".chm" replaced by ".help/" ("bin/Vantrel.chm" → "bin/Vantrel.help/");
//   3. the pages installed under the program's prefix (share/vantrel/help/).
// A host made with a folder uses that folder whatever the request names (tests point
// it at the pages of the build tree).
//
// The contents are index.htm, else toc.htm, else a generated list of the folder's
// pages. Topics are confined to the folder. A page that does not exist shows a one-line "not found" page and a warning
// on the log; no box is ever shown, since nobody checks what a help request did.
class TextBrowserHelpHost : public IHelpHost
{
public:
    // The parts of a request text.
    struct Request
    {
        QString file;     // before "::/", or before the last ">" when there is no page
        QString topic;    // between "::/" and the last ">"; empty for none
        QString window;   // after the last ">"; empty when there is no ">"
    };

    explicit TextBrowserHelpHost(const QString &folder = QString());
    ~TextBrowserHelpHost() override;

    static Request parse(const QString &target);
    // The folder of pages for a help file, with a trailing "/"; empty when none exists.
    QString resolveFolder(const QString &file) const;
    // The page a request shows: the topic's file or the contents. The URL of a page
    // that does not exist still names it (the window then says so); empty when there
    // is no folder at all, or when the topic leads out of the folder (an absolute path,
    // "../" steps, a link that points elsewhere): such a topic is refused, not shown.
    QUrl pageFor(const QString &target, int command) const;

    void htmlHelp(QWidget *caller, const QString &target, int command) override;

    // The window of that name, or null when none was opened (or it was closed for good).
    HelpWindow *window(const QString &name) const;

private:
    QString m_folder;                                 // fixed folder; empty to resolve
    QHash<QString, QPointer<HelpWindow>> m_windows;   // by window name, "" sharing "Main"'s
};
