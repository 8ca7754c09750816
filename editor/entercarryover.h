#pragma once

#include <QString>

// What Enter does to an M line in a writable code window: the new line keeps the M line
// start (the tab after the label) and the dot level of the line it was cut from, and the
// blanks on both sides of the caret vanish into the break.
//
//   "LBL\t. . S X=1", caret at 9 (after "S")  ->  "LBL\t. . S" / "\t. . X=1"
class EnterCarryOver
{
public:
    // Replace columns [replaceStart, replaceEnd) of the line by lineBreak, then insert
    // prefix at column 1 of the next line.
    struct Plan
    {
        int replaceStart = 0;   // 0-based
        int replaceEnd = 0;     // 0-based, exclusive
        QString lineBreak;      // "\r\n", or "\r\n\t" after the line start
        QString prefix;         // dots and blanks carried over; "" for none
    };

    static Plan plan(const QString &lineText, int caretColumn);
};
