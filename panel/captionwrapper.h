#pragma once

#include "captionline.h"
#include "lumopanel_global.h"

#include <QString>
#include <QVector>

class ITextMeasure;

// Breaks a caption (already through NormalizeLineBreaks) into lines no wider than
// the room, measuring with the given measure; the measure's style follows the tags,
// and is left as the end of the caption leaves it.
//
//     FixedMeasure m;                                  // 100 twips a character
//     QVector<CaptionLine> lines = CaptionWrapper::WrapCaption(
//         QStringLiteral("one two"), 450, QStringLiteral("-"), m);
//     // lines: "<b0><i0><u0>one" (300), "<b0><i0><u0>two" (300)
//
// Break opportunities: before a "<", at CR, LF, a space, a LineBreakChars character,
// the caption's last character, and (only when LineBreakChars is not empty) once
// more after it. A line is split after the last space or LineBreakChars character of
// the text gathered since the last commit, never at that text's last character; a
// word with no break in it stays whole and overhangs. Every line begins with the
// style prefix of the measure's style as it stands when the line begins.
//
// All arithmetic is 32-bit; the work is linear in the caption's length.
namespace CaptionWrapper {

LUMOPANEL_EXPORT QVector<CaptionLine> WrapCaption(const QString &caption, qint32 avail,
                                                  const QString &lineBreakChars,
                                                  ITextMeasure &measure);

} // namespace CaptionWrapper
