#pragma once

#include "lumopanel_global.h"

#include <QChar>
#include <QString>
#include <QtGlobal>

// Text measurement in the current style, in twips: all the caption wrap needs from a
// font. The panel's surface measures with the real font; tests use a fixed-width
// stand-in so that line tables need no fonts.
//
// Widths must add up: width("ab") == width("a") + width("b"). The wrap measures its
// pending text one character at a time and the justification relies on the same sum.
class LUMOPANEL_EXPORT ITextMeasure
{
public:
    virtual ~ITextMeasure() = default;

    // The advance of one character in the current style.
    virtual qint32 charWidth(QChar c) = 0;
    // The height of one text line in the current style.
    virtual qint32 lineHeight() = 0;
    // Applies a style tag: which is 'b', 'i' or 'u'.
    virtual void applyStyle(char which, bool on) = 0;
    virtual bool bold() const = 0;
    virtual bool italic() const = 0;
    virtual bool underline() const = 0;

    // The sum of the characters' advances.
    qint32 textWidth(const QString &text);
};
