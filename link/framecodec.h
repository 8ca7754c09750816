#pragma once

#include <QByteArray>
#include <QStringList>

// One message as one frame on the debug link. In units (a byte in ANSI mode, a
// UTF-16 code unit sent low byte first in Unicode mode), every number written as
// big-endian base-256 digits, one digit per unit:
//
//   L (4) | n (2) | { F_i (4) | text_i (F_i - 4) } * n      L = 4 + 2 + sum(F_i)
//
// ANSI text is Windows-1252 (AnsiCodec); lengths count encoded units.
namespace FrameCodec {

QByteArray encode(const QStringList &fields, bool unicode);

// Appends the frame to out; lets a caller build several frames in one buffer.
void encodeInto(QByteArray &out, const QStringList &fields, bool unicode);

} // namespace FrameCodec
