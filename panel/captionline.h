#pragma once

#include <QString>
#include <QtGlobal>

// One wrapped line of a caption. Text is its markup: the twelve-character style
// prefix, then the line's text with its tags, ending in one CR when the line closes
// a paragraph. Width is the printed width of the visible text (tags excluded) and
// Height the height of one line in the style in force when the line was closed,
// both in twips and 32-bit, so long captions never overflow.
struct CaptionLine
{
    QString Text;
    qint32 Width = 0;
    qint32 Height = 0;

    bool operator==(const CaptionLine &other) const
    {
        return Text == other.Text && Width == other.Width && Height == other.Height;
    }
};
