#pragma once

#include <QChar>

// Windows-1252 conversion of whole field texts for the frame codec. Frames are
// mostly ASCII (routine lines, variable names), which these convert sixteen
// characters at a time; any block holding something else goes through AnsiCodec
// character by character, so the result is always exactly AnsiCodec's.
namespace AnsiBlock {

void toAnsi(char *dst, const QChar *src, qsizetype count);
void fromAnsi(QChar *dst, const char *src, qsizetype count);

} // namespace AnsiBlock
