#pragma once

#include <QByteArray>
#include <QString>

// "ANSI" text as the server and the original Windows peers see it: Windows-1252,
// one byte per character, fixed. Never the Linux locale, whose UTF-8 would change
// byte counts that the wire format depends on.
namespace AnsiCodec {

// Characters Windows-1252 cannot represent become '?', one byte each.
QByteArray encode(const QString &text);

// Writes count bytes, one per character, exactly as encodeChar would; for callers
// that place the bytes themselves (the frame codec writes each field straight into
// its frame).
void encode(const QChar *text, qsizetype count, char *dst);

// Every byte maps to exactly one UTF-16 unit; the five bytes 1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value.
QString decode(const QByteArray &bytes);
QString decode(const char *data, qsizetype size);
// Writes size characters, one per byte; for callers that fill a string in pieces.
void decode(const char *data, qsizetype size, QChar *dst);

char encodeChar(QChar c);
QChar decodeByte(unsigned char b);

} // namespace AnsiCodec
