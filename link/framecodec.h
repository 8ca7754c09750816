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

// The longest frame this side writes and takes, in units: 32 Mi. Both ends of the link
// hold to the one bound: a frame written over it would be stored by the server and then
// come back as a reply the receive side refuses, ending the session.
//
// The largest legitimate frame is a routine's whole text in one field (the replies to
// "SIR", "SIG" and "SIP", and "SIP" itself). A field is one M string on the server, and
// the longest string any of the server platforms holds is Caché's long string of
// 3,641,144 characters (GT.M: 1 MiB; DSM and MSM far less). 32 Mi units is about nine
// times that, room for a few such fields and whatever a later server sends, while a
// server that declares more can make this side keep no more than 64 MiB of text.
constexpr qint64 MaxFrameUnits = 32 * 1024 * 1024;

// Units of the frame that carries the message; every character is one unit in either
// mode.
qint64 units(const QStringList &fields);

// The message a transaction writes for a request: its code with "!" before it.
QStringList asRequest(QStringList fields);

// True when the message can travel as one frame: at most MaxFields fields and at most
// MaxFrameUnits units. Anything larger would either go out with a wrapped count or
// length, which the peer reads as a different message, or be refused by the peer.
bool fits(const QStringList &fields);

// An empty array when the message does not fit.
QByteArray encode(const QStringList &fields, bool unicode);

// Appends the frame to out; lets a caller build several frames in one buffer.
// Appends nothing and returns false when the message does not fit.
bool encodeInto(QByteArray &out, const QStringList &fields, bool unicode);

} // namespace FrameCodec
