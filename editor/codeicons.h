#pragma once

#include <QIcon>

// The code window's icons, numbered as the window picks them: 101 + 10 x version-control
// status (0..3) + routine type (0 none, 1 INT, 2 MAC, 3 INC).
class CodeIcons
{
public:
    static int number(int tarvikStatus, int typ, bool typed);
    // An empty icon for a number outside 101..134.
    static QIcon icon(int number);
};
