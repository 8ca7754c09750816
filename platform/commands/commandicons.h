#pragma once

#include <QIcon>
#include <QString>

// The 16 x 16 images of the commands, drawn in code: a standard icon of the style
// where one says the same thing, otherwise a small glyph in the colour of the
// command's group. Needs a QApplication.
class CommandIcons
{
public:
    // A null icon for "" ; an unknown name gets a glyph of its first letters.
    static QIcon icon(const QString &image);
};
