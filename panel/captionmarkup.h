#pragma once

#include "lumopanel_global.h"

#include <QString>
#include <QtGlobal>

class ITextMeasure;

// The caption markup: "<b1>" "<b0>" "<i1>" "<i0>" "<u1>" "<u0>" (exact, case-
// sensitive) and "<fc=" n ">". Anything else beginning with "<" is text.
namespace CaptionMarkup {

// True when the four characters at pos form a style tag; which/on tell which.
LUMOPANEL_EXPORT bool styleTagAt(const QString &text, int pos, char *which = nullptr,
                                 bool *on = nullptr);
// True when "<fc=" starts at pos.
LUMOPANEL_EXPORT bool colourTagAt(const QString &text, int pos);
// The index just after a colour tag starting at pos: after its ">", or the end of
// the text when there is none. numberText receives what stands between.
LUMOPANEL_EXPORT int colourTagEnd(const QString &text, int pos, QString *numberText = nullptr);

// "<b?><i?><u?>" from the measure's current style.
LUMOPANEL_EXPORT QString CurrentStyleTags(const ITextMeasure &measure);
LUMOPANEL_EXPORT QString CurrentStyleTags(bool bold, bool italic, bool underline);

// Every CR LF pair becomes one CR.
LUMOPANEL_EXPORT QString NormalizeLineBreaks(const QString &caption);

// The numeric-prefix reading of a colour number: leading blanks skipped; decimal
// with sign, point and exponent, or "&H" hex, or "&O" octal; stops at the first
// character that does not fit; nothing readable gives 0. Rounded half-to-even.
// Hex and octal read as unsigned 32-bit. Out-of-range values saturate; never throws.
LUMOPANEL_EXPORT qint64 ValPrefix(const QString &text);

// The OLE colour a "<fc=" number gives (beyond 32 bits: black).
LUMOPANEL_EXPORT quint32 colourFromNumberText(const QString &text);

// The width of a line's visible characters other than spaces; style tags are applied
// to the measure as they are met, colour tags skipped.
LUMOPANEL_EXPORT qint32 MeasureMarkup(const QString &lineText, ITextMeasure &measure);

} // namespace CaptionMarkup
