#pragma once

#include <QString>

#include <memory>

class QWidget;

// Where the program's help requests go. A request is one text naming the help file,
// an optional page and the help window to use, with a command:
//
//     helpHost().htmlHelp(nullptr, "/opt/vantrel/bin/Vantrel.chm>", IHelpHost::DisplayToc);
//     helpHost().htmlHelp(nullptr, "/opt/vantrel/bin/Vantrel.chm::/csp.htm>Main",
//                         IHelpHost::DisplayTopic);
//
// The text after the last ">" is the window name; the page sits between "::/" and ">".
// The program shows the pages in a text browser window (TextBrowserHelpHost); tests
// install a host that records the requests. A request that cannot be served never
// raises and never asks the user anything.
class IHelpHost
{
public:
    enum Command { DisplayTopic = 0, DisplayToc = 1 };

    virtual ~IHelpHost() = default;
    virtual void htmlHelp(QWidget *caller, const QString &target, int command) = 0;
};

// The registered host; a TextBrowserHelpHost that finds the pages beside the program
// while none was set.
IHelpHost &helpHost();
// Null restores the default.
void setHelpHost(std::shared_ptr<IHelpHost> host);
