#pragma once

#include "framecodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Cuts the received byte stream of one link back into messages. It holds raw
// bytes, not decoded text, so that a Unicode frame split at an odd byte and a
// switch between ANSI and Unicode mode between two frames of one read both come
// out right: each frame is decoded in the mode in force when it is taken.
//
// The link, its receive handler and a transaction all consume the same assembler,
// so frames are never reordered or cut twice.
//
// A frame is bounded: a length above MaxFrameUnits is refused as soon as its four
// length units are in, before any of its body is kept. A large frame that is still
// coming in is decoded as it arrives, so what it costs here is its decoded text
// alone, not that and its bytes besides.
class FrameAssembler
{
public:
    // The longest frame taken, in units: the bound the link also writes to.
    static constexpr qint64 MaxFrameUnits = FrameCodec::MaxFrameUnits;
    // A frame whose bytes reach this size and are not all here yet is decoded as
    // its bytes come; a smaller one waits until it is whole.
    static constexpr qint64 DecodeWhileArrivingBytes = 256 * 1024;

    enum TakeResult {
        Complete,    // out holds the next message; its bytes are gone from the buffer
        NeedMore,    // no whole frame yet; only a large frame's bytes may have been
                     // consumed, decoded into the frame that is coming
        Malformed,   // the stream cannot be cut further; errorText() says why
    };

    void append(const QByteArray &bytes);
    void append(const char *data, qint64 size);
    TakeResult take(QStringList &out, bool unicode);
    void clear();

    qint64 size() const { return m_bytes.size() - m_pos; }
    bool isEmpty() const { return size() == 0; }
    QString errorText() const { return m_error; }

private:
    TakeResult fail(const QString &why);
    TakeResult continueFrame();
    void consume(qint64 bytes);

    // The frame being decoded as it arrives. Its mode is the one in force when it
    // began: the mode only changes in the handler of a whole message, before the next
    // frame is taken.
    struct Arriving
    {
        enum Stage { Count, FieldLength, Text, Padding };
        bool active = false;
        bool unicode = false;
        Stage stage = Count;
        qint64 left = 0;          // units of the frame not yet consumed
        quint32 count = 0;        // fields the frame announced
        QStringList fields;       // the fields complete so far
        QString text;             // the field being filled, allocated at its full length
        qint64 filled = 0;        // units of it decoded so far
    };

    QByteArray m_bytes;   // received bytes; those before m_pos are consumed
    qint64 m_pos = 0;
    QString m_error;
    Arriving m_arriving;
};
