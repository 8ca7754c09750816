#pragma once

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
class FrameAssembler
{
public:
    enum TakeResult {
        Complete,    // out holds the next message; its bytes are gone from the buffer
        NeedMore,    // no whole frame yet; nothing consumed
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

    QByteArray m_bytes;   // received bytes; those before m_pos are consumed
    qint64 m_pos = 0;
    QString m_error;
};
