#pragma once

#include <QString>

// The program's help file and the two ways of opening it. The requests go to
// helpHost() as one text: the file, "::/" and the page when there is one, ">" and the
// window name ("" and "Main" share the main help window).
namespace modHTMLHelp {

// n = 1: the program's folder + "/Vantrel.chm" (the host finds the pages from it);
// any other n: "".
QString HelpFilePath(int n);
// "<file>><window>", command 1 (contents).
void ShowHelpContents(int n, const QString &windowName);
// "<file>::/<topic>><window>", command 0 (a page).
void ShowHelpTopic(int n, const QString &windowName, const QString &topic);

} // namespace modHTMLHelp
