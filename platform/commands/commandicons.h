#pragma once

#include <QIcon>
#include <QString>

// The images of the commands. Where the freedesktop icon naming has a name for what a
// command does, the icon comes from the icon theme under that name, so the tool bars
// look like the rest of the desktop; the few commands no standard name fits (bookmark
// moves, blocks, linewise stepping, break on error, fast forward, ...) have pictures of
// their own in the same style, built into the program. Needs a QApplication.
//
// Every icon draws its disabled state itself, faded and grey, because a monochrome theme
// icon greyed by the style is hard to tell from an enabled one.
class CommandIcons
{
public:
    // A null icon for "" and for a name no command has.
    static QIcon icon(const QString &image);

    // Where the picture of an image comes from: a theme icon name, or the resource path
    // of our own picture; "" for an unknown image.
    static QString source(const QString &image);

    // Makes sure the theme lookups find every name: the theme installed with the program
    // fills the gaps of the desktop's one. Done once, before the first icon.
    static void prepareTheme();

    // The theme that fills the gaps of the desktop's one.
    static QString programTheme();
};
