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

// The count has two digits, read back as a signed 16-bit number.
constexpr int MaxFields = 32767;

// True when the message can travel as one frame: at most MaxFields fields and a
// total length below 2^31 units. Anything larger would go out with a wrapped count
// or length, which the peer reads as a different message.
bool fits(const QStringList &fields);

// An empty array when the message does not fit.
QByteArray encode(const QStringList &fields, bool unicode);

// Appends the frame to out; lets a caller build several frames in one buffer.
// Appends nothing and returns false when the message does not fit.
bool encodeInto(QByteArray &out, const QStringList &fields, bool unicode);

} // namespace FrameCodec
