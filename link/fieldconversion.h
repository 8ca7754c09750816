#pragma once

#include <QString>

// The numbers and flags in the fields of the server's messages, read leniently: a
// missing field arrives as "", and a text that is no number of the kind gives 0 (or
// false) rather than an error, so a malformed message is still handled and answered.
// Whole numbers round half to even, as the protocol's numbers always did; a value out
// of the kind's range gives 0.
namespace FieldConversion {

qint16 toInteger(const QString &text);   // 16-bit
qint32 toLong(const QString &text);      // 32-bit
// A whole number that its use needs within [low, high] (an index, a count, a code of a
// known set); anything else, out of range or no number, gives fallback.
qint32 toLongWithin(const QString &text, qint32 low, qint32 high, qint32 fallback);
double toNumber(const QString &text);
// A non-zero number, or the words True and False in any case.
bool toFlag(const QString &text);

} // namespace FieldConversion
