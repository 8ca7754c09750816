#include "ansicodec.h"
#include "frameassembler.h"
#include "framecodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The Unicode form of a frame whose every digit and character is below 256.
QByteArray widen(const QByteArray &ansi)
{
    QByteArray out;
    for (char c : ansi) {
        out.append(c);
        out.append('\0');
    }
    return out;
}

QStringList takeAll(FrameAssembler &rx, bool unicode, int *malformed = nullptr)
{
    QStringList codes;
    QStringList fields;
    FrameAssembler::TakeResult r;
    while ((r = rx.take(fields, unicode)) == FrameAssembler::Complete)
        codes.append(fields.join(QLatin1Char('|')));
    if (malformed)
        *malformed = r == FrameAssembler::Malformed;
    return codes;
}

} // namespace

TEST(FrameCodec, WritesExactBytesInBothModes)
{
    struct Case { QStringList fields; const char *ansi; };
    const Case cases[] = {
        {{"NS"}, "00 00 00 0C 00 01 00 00 00 06 4E 53"},
        {{}, "00 00 00 06 00 00"},
        {{"X", ""}, "00 00 00 0F 00 02 00 00 00 05 58 00 00 00 04"},
        {{"SIU", "1", "ABC", "USER"},
         "00 00 00 21 00 04 00 00 00 07 53 49 55 00 00 00 05 31 00 00 00 07 41 42 43 00 00 00 08 55 53 45 52"},
        {{"NS", QString(QChar(0xC4))}, "00 00 00 11 00 02 00 00 00 06 4E 53 00 00 00 05 C4"},
        {{"!NS"}, "00 00 00 0D 00 01 00 00 00 07 21 4E 53"},
        {{"<DSCON>"}, "00 00 00 11 00 01 00 00 00 0B 3C 44 53 43 4F 4E 3E"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FrameCodec::encode(c.fields, false).toHex(' '), hex(c.ansi).toHex(' ')) << c.ansi;
        EXPECT_EQ(FrameCodec::encode(c.fields, true), widen(hex(c.ansi))) << c.ansi;
    }
    EXPECT_EQ(FrameCodec::encode({"NS"}, true),
              hex("00 00 00 00 00 00 0C 00 00 00 01 00 00 00 00 00 00 00 06 00 4E 00 53 00"));
}

TEST(FrameCodec, EncodesAnsiThroughWindows1252)
{
    struct Case { QString text; char byte; };
    const Case cases[] = {{QString(QChar(0x20AC)), '\x80'}, {QString(QChar(0x03A9)), '?'}, {QString(QChar(0xE9)), '\xE9'}};
    for (const Case &c : cases) {
        const QByteArray frame = FrameCodec::encode({c.text}, false);
        ASSERT_EQ(frame.size(), 11);
        EXPECT_EQ(frame.mid(6, 4), hex("00 00 00 05"));   // one unit, whatever the character
        EXPECT_EQ(frame.at(10), c.byte);
    }
    // Unicode mode carries the UTF-16 unit itself.
    EXPECT_EQ(FrameCodec::encode({QString(QChar(0x20AC))}, true).right(2), hex("AC 20"));
}

TEST(FrameCodec, CarriesLargeCountsAndLengthsInEveryDigit)
{
    QStringList many;
    for (int i = 0; i < 256; ++i)
        many.append(QString());
    EXPECT_EQ(FrameCodec::encode(many, false).mid(4, 2), hex("01 00"));
    EXPECT_EQ(FrameCodec::encode(many, true).mid(8, 4), hex("01 00 00 00"));

    const QString longField(300, QLatin1Char('a'));
    EXPECT_EQ(FrameCodec::encode({longField}, false).mid(6, 4), hex("00 00 01 30"));
    EXPECT_EQ(FrameCodec::encode({longField}, true).mid(12, 8), hex("00 00 00 00 01 00 30 00"));

    for (bool unicode : {false, true}) {
        FrameAssembler rx;
        rx.append(FrameCodec::encode(many, unicode));
        rx.append(FrameCodec::encode({longField}, unicode));
        QStringList got;
        ASSERT_EQ(rx.take(got, unicode), FrameAssembler::Complete);
        EXPECT_EQ(got, many);
        ASSERT_EQ(rx.take(got, unicode), FrameAssembler::Complete);
        EXPECT_EQ(got, QStringList{longField});
    }
}

// Nothing is written that the receive side would refuse: a message travels as one frame up
// to the bound the assembler takes, in units and in fields, and the "!" a transaction puts
// before its code counts towards it.
TEST(FrameCodec, FitsUpToTheBoundTheReceiverTakes)
{
    // ["x", text] is exactly the bound: 6 + (4 + 1) + (4 + text).
    const QString text(FrameAssembler::MaxFrameUnits - 15, QLatin1Char('a'));
    struct Case { const char *name; QStringList fields; bool fits; };
    const Case cases[] = {
        {"at the bound", {"x", text}, true},
        {"one unit over", {"xy", text}, false},
        {"a request whose \"!\" takes it over", FrameCodec::asRequest({"x", text}), false},
        {"a request at the bound", FrameCodec::asRequest({"", text}), true},
        {"32767 fields", QStringList(32767, QString()), true},
        {"32768 fields", QStringList(32768, QString()), false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FrameCodec::fits(c.fields), c.fits) << c.name;
        if (!c.fits)
            EXPECT_TRUE(FrameCodec::encode(c.fields, false).isEmpty()) << c.name;
    }
    EXPECT_EQ(FrameCodec::asRequest({}), QStringList{"!"});
}

TEST(FrameAssembler, RaisesAFrameOnlyWhenItsLastByteArrives)
{
    for (bool unicode : {false, true}) {
        const QByteArray frame = FrameCodec::encode({"NS"}, unicode);
        FrameAssembler rx;
        QStringList got;
        for (int i = 0; i < frame.size(); ++i) {
            rx.append(frame.mid(i, 1));
            const auto r = rx.take(got, unicode);
            if (i + 1 < frame.size())
                ASSERT_EQ(r, FrameAssembler::NeedMore) << "byte " << i << " unicode " << unicode;
            else
                ASSERT_EQ(r, FrameAssembler::Complete);
        }
        EXPECT_EQ(got, QStringList{"NS"});
        EXPECT_TRUE(rx.isEmpty());
    }
}

TEST(FrameAssembler, CutsFramesAtEveryTcpSplit)
{
    for (bool unicode : {false, true}) {
        QByteArray stream;
        const QList<QStringList> messages = {{"STP", "1"}, {}, {"NS", QString(QChar(0xC4))}, {"X", ""}};
        QStringList expected;
        for (const QStringList &m : messages) {
            stream += FrameCodec::encode(m, unicode);
            expected.append(m.join(QLatin1Char('|')));
        }
        for (int cut = 0; cut <= stream.size(); ++cut) {
            FrameAssembler rx;
            rx.append(stream.left(cut));
            QStringList got = takeAll(rx, unicode);
            rx.append(stream.mid(cut));
            got += takeAll(rx, unicode);
            ASSERT_EQ(got, expected) << "cut at " << cut << " unicode " << unicode;
            EXPECT_TRUE(rx.isEmpty());
        }
    }
}

TEST(FrameAssembler, KeepsTheStartOfTheNextFrame)
{
    FrameAssembler rx;
    rx.append(hex("00 00 00 0C 00 01 00 00"));
    EXPECT_TRUE(takeAll(rx, false).isEmpty());
    rx.append(hex("00 06 4E 53 00 00 00 06 00 00 00 00 00"));
    EXPECT_EQ(takeAll(rx, false), (QStringList{"NS", ""}));
    EXPECT_EQ(rx.size(), 3);
}

TEST(FrameAssembler, DecodesEachFrameInTheModeInForceWhenTaken)
{
    // The greeting arrives in ANSI; the features it carries switch the link to
    // Unicode, and the next frame may already sit in the same read.
    FrameAssembler rx;
    rx.append(FrameCodec::encode({"HI", "CACHE"}, false) + FrameCodec::encode({"HI2", QString(QChar(0x20AC))}, true));
    QStringList got;
    ASSERT_EQ(rx.take(got, false), FrameAssembler::Complete);
    EXPECT_EQ(got, (QStringList{"HI", "CACHE"}));
    ASSERT_EQ(rx.take(got, true), FrameAssembler::Complete);
    EXPECT_EQ(got, (QStringList{"HI2", QString(QChar(0x20AC))}));
}

TEST(FrameAssembler, RefusesFramesTheFormatCannotCarry)
{
    struct Case { const char *name; bool unicode; QByteArray bytes; };
    const Case cases[] = {
        {"length below 6", false, hex("00 00 00 05 00 00")},
        {"length zero", false, hex("00 00 00 00 00 00")},
        {"field past the frame", false, hex("00 00 00 0C 00 01 00 00 00 07 4E 53 00")},
        {"field length below 4", false, hex("00 00 00 0A 00 01 00 00 00 03")},
        {"count beyond 16 bits", false, hex("00 00 00 06 80 00")},
        {"length beyond 31 bits", false, hex("80 00 00 06 00 00")},
        {"length digit above 255", true, hex("00 00 00 00 00 01 06 00 00 00 00 00")},
        {"count digit above 255", true, hex("00 00 00 00 00 00 06 00 00 01 00 00")},
        {"field digit above 255", true,
         hex("00 00 00 00 00 00 0C 00 00 00 01 00 00 00 00 00 00 01 06 00 4E 00 53 00")},
        {"count claims more fields", false, hex("00 00 00 0C 00 02 00 00 00 06 4E 53")},
    };
    for (const Case &c : cases) {
        FrameAssembler rx;
        rx.append(c.bytes);
        QStringList got;
        EXPECT_EQ(rx.take(got, c.unicode), FrameAssembler::Malformed) << c.name;
        EXPECT_FALSE(rx.errorText().isEmpty()) << c.name;
    }
}

// A length is judged as soon as its four units are in: above the bound the frame is
// refused before any of its body is kept; at the bound it waits for the rest.
TEST(FrameAssembler, RefusesALengthAboveTheBoundBeforeItsBody)
{
    const quint32 bound = quint32(FrameAssembler::MaxFrameUnits);
    struct Case { const char *name; quint32 length; bool refused; };
    const Case cases[] = {
        {"at the bound", bound, false},
        {"one unit over", bound + 1, true},
        {"2^31 - 1", 0x7FFFFFFFu, true},
        {"every digit 255", 0xFFFFFFFFu, true},
    };
    for (bool unicode : {false, true}) {
        for (const Case &c : cases) {
            QByteArray length;
            for (int shift = 24; shift >= 0; shift -= 8)
                length.append(char((c.length >> shift) & 0xFF));
            FrameAssembler rx;
            rx.append(unicode ? widen(length) : length);
            QStringList got;
            EXPECT_EQ(rx.take(got, unicode), c.refused ? FrameAssembler::Malformed : FrameAssembler::NeedMore)
                << c.name << " unicode " << unicode;
        }
    }
}

// A large frame is decoded while it arrives: it comes out as sent, whatever its pieces,
// and the bytes already decoded are not kept meanwhile.
TEST(FrameAssembler, DecodesALargeFrameAsItArrivesWithoutKeepingItsBytes)
{
    QString big(300 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = QChar(char16_t(0x20 + (i * 7) % 90));
    const QList<QStringList> messages = {{"TIP", "A", big, "", big.left(5)}, {"NS", "USER"}};
    for (bool unicode : {false, true}) {
        for (int piece : {1, 3, 4096, 65537}) {
            QByteArray stream;
            for (const QStringList &m : messages)
                stream += FrameCodec::encode(m, unicode);
            const int unitBytes = unicode ? 2 : 1;
            FrameAssembler rx;
            QList<QStringList> got;
            qint64 mostKept = 0;
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                // One byte at a time would take long over 600 KB: the first and last 10 KB.
                if (piece == 1 && at == 10000) {
                    rx.append(stream.mid(at, stream.size() - 20000 - at));
                    at = stream.size() - 20000 - piece;
                } else {
                    rx.append(stream.mid(at, piece));
                }
                QStringList m;
                FrameAssembler::TakeResult r;
                while ((r = rx.take(m, unicode)) == FrameAssembler::Complete)
                    got.append(m);
                ASSERT_NE(r, FrameAssembler::Malformed) << rx.errorText().toStdString();
                if (got.isEmpty())
                    mostKept = std::max(mostKept, rx.size());
            }
            EXPECT_EQ(got, messages) << "unicode " << unicode << " piece " << piece;
            EXPECT_TRUE(rx.isEmpty());
            EXPECT_LT(mostKept, std::max<qint64>(piece, 4 * unitBytes) + 16 * unitBytes)
                << "unicode " << unicode << " piece " << piece;
        }
    }
}

// Units a large frame's length covers beyond its last field are skipped as they come.
TEST(FrameAssembler, SkipsPaddingOfALargeFrameAsItArrives)
{
    const QString big(300 * 1024, 'p');
    for (bool unicode : {false, true}) {
        const int u = unicode ? 2 : 1;
        QByteArray frame = FrameCodec::encode({"TIP", big}, unicode);
        const quint32 total = quint32(frame.size() / u) + 10;
        for (int i = 0; i < 4; ++i)
            frame[i * u] = char((total >> (24 - 8 * i)) & 0xFF);
        frame += QByteArray(10 * u, '\0');
        frame += FrameCodec::encode({"NS"}, unicode);
        FrameAssembler rx;
        QStringList got;
        for (qsizetype at = 0; at < frame.size(); at += 4096) {
            rx.append(frame.mid(at, 4096));
            got += takeAll(rx, unicode);
        }
        EXPECT_EQ(got, (QStringList{"TIP|" + big, "NS"})) << "unicode " << unicode;
        EXPECT_TRUE(rx.isEmpty());
    }
}

// A large frame that breaks its own lengths is refused as it arrives, as a whole one is.
TEST(FrameAssembler, RefusesABrokenLargeFrameWhileItArrives)
{
    for (bool unicode : {false, true}) {
        QByteArray frame = FrameCodec::encode({"TIP", QString(300 * 1024, 'x'), "y"}, unicode);
        const int u = unicode ? 2 : 1;
        // The last field's length runs past the frame.
        frame[frame.size() - 1 * u - 4 * u + 3 * u] = char(0x40);
        FrameAssembler rx;
        QStringList got;
        FrameAssembler::TakeResult r = FrameAssembler::NeedMore;
        for (qsizetype at = 0; at < frame.size() && r == FrameAssembler::NeedMore; at += 1000) {
            rx.append(frame.mid(at, 1000));
            r = rx.take(got, unicode);
        }
        EXPECT_EQ(r, FrameAssembler::Malformed) << "unicode " << unicode;
        EXPECT_TRUE(rx.errorText().contains("does not fit")) << rx.errorText().toStdString();
    }
}

// Random and mutated frames, fixed seed: no input may crash the assembler, every
// valid frame decodes to what was sent, and whatever it accepts from damaged input
// is exactly the frame that re-encodes to the bytes it consumed.
TEST(FrameAssembler, SurvivesRandomAndMutatedFrames)
{
    std::mt19937 rng(20261210);
    auto below = [&](int n) { return int(rng() % unsigned(n)); };
    // ANSI text is drawn from characters Windows-1252 has, so it round-trips exactly.
    const QString ansiExtras = QString::fromUtf8("\u20AC\u0081\u00E9\u00FF\u0178");
    auto randomText = [&](bool unicode) {
        QString s;
        const int len = below(40) == 0 ? below(300) : below(12);
        for (int i = 0; i < len; ++i) {
            if (below(4) != 0)
                s.append(QChar(char16_t(0x20 + below(0x5F))));
            else if (unicode)
                s.append(QChar(char16_t(rng() & 0xFFFF)));
            else
                s.append(ansiExtras.at(below(int(ansiExtras.size()))));
        }
        return s;
    };
    auto randomMessage = [&](bool unicode) {
        QStringList m;
        const int n = below(40) == 0 ? below(300) : below(6);
        for (int i = 0; i < n; ++i)
            m.append(randomText(unicode));
        return m;
    };

    int valid = 0;
    int damaged = 0;
    int accepted = 0;
    // Valid streams: many frames, each in its own mode, delivered in random chunks.
    for (int stream = 0; stream < 2000; ++stream) {
        QByteArray bytes;
        QList<QStringList> sent;
        QList<bool> modes;
        for (int i = 0; i < 30; ++i) {
            const bool unicode = below(2) == 1;
            sent.append(randomMessage(unicode));
            modes.append(unicode);
            bytes += FrameCodec::encode(sent.last(), unicode);
        }
        FrameAssembler rx;
        int next = 0;
        for (qsizetype pos = 0; pos < bytes.size();) {
            const qsizetype chunk = 1 + below(below(4) == 0 ? 4 : 200);
            rx.append(bytes.mid(pos, chunk));
            pos += chunk;
            QStringList got;
            while (next < sent.size()) {
                const auto r = rx.take(got, modes.at(next));
                ASSERT_NE(r, FrameAssembler::Malformed) << "stream " << stream;
                if (r == FrameAssembler::NeedMore)
                    break;
                ASSERT_EQ(got, sent.at(next)) << "stream " << stream << " frame " << next;
                ++next;
                ++valid;
            }
        }
        ASSERT_EQ(next, sent.size());
        ASSERT_TRUE(rx.isEmpty());
    }
    // Damaged frames: flipped bytes, cut or padded frames, and pure noise.
    for (int i = 0; i < 60000; ++i) {
        const bool unicode = below(2) == 1;
        QByteArray bytes = FrameCodec::encode(randomMessage(unicode), unicode);
        switch (below(4)) {
        case 0:
            for (int k = 1 + below(3); k > 0; --k)
                bytes[below(int(bytes.size()))] = char(rng());
            break;
        case 1:
            bytes[below(qMin(int(bytes.size()), 12))] = char(rng());
            break;
        case 2:
            bytes.truncate(below(int(bytes.size())));
            bytes.append(QByteArray(below(16), char(rng())));
            break;
        default:
            bytes = QByteArray(below(64), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(below(4) == 0 ? rng() : below(8));
        }
        FrameAssembler rx;
        rx.append(bytes);
        QStringList got;
        qint64 before = rx.size();
        FrameAssembler::TakeResult r;
        while ((r = rx.take(got, unicode)) == FrameAssembler::Complete) {
            const qint64 consumed = before - rx.size();
            // Re-encoded, the fields are exactly what the frame carried after its length
            // digits; a frame may cover padding beyond its last field.
            const QByteArray again = FrameCodec::encode(got, unicode);
            const qint64 lengthBytes = unicode ? 8 : 4;
            ASSERT_GE(consumed, again.size()) << "case " << i;
            ASSERT_EQ(again.mid(lengthBytes),
                      bytes.mid(bytes.size() - before + lengthBytes, again.size() - lengthBytes)) << "case " << i;
            before = rx.size();
            ++accepted;
        }
        ++damaged;
    }
    EXPECT_GE(valid + damaged, 100000);
    EXPECT_GT(accepted, 0);
}

// Fields are converted a block at a time; whatever block boundary a character
// outside ASCII falls on, its byte must be the one AnsiCodec gives that character
// alone, and it must decode back to what the byte alone decodes to.
TEST(FrameCodec, AnsiFieldsAgreeWithTheCodecAtEveryPosition)
{
    const QString odd = QString::fromUtf8("\u20AC\u00E9\u03A9\u0100\u0081\u0080\u009F\u00A0\u0178");
    for (int len = 0; len <= 100; ++len) {
        for (int at = 0; at < qMax(len, 1); ++at) {
            for (QChar c : odd) {
                QString text(len, QLatin1Char('a'));
                if (len > 0)
                    text[at] = c;
                QByteArray expected;
                QString expectedBack;
                for (QChar t : text) {
                    expected.append(AnsiCodec::encodeChar(t));
                    expectedBack.append(AnsiCodec::decodeByte(uchar(expected.back())));
                }
                const QByteArray frame = FrameCodec::encode({text}, false);
                ASSERT_EQ(frame.mid(10), expected) << len << " at " << at;
                FrameAssembler rx;
                rx.append(frame);
                QStringList back;
                ASSERT_EQ(rx.take(back, false), FrameAssembler::Complete);
                ASSERT_EQ(back.value(0), expectedBack) << len << " at " << at;
            }
        }
    }
}

// The length may cover units beyond the last field; they are skipped with the frame,
// and the frame after them is read from its own first byte.
TEST(FrameAssembler, SkipsUnitsTheLengthCoversBeyondTheLastField)
{
    for (bool unicode : {false, true}) {
        QByteArray padded = hex("00 00 00 0E 00 01 00 00 00 06 4E 53 00 00");
        if (unicode)
            padded = widen(padded);
        FrameAssembler rx;
        rx.append(padded + FrameCodec::encode({"CC", "5"}, unicode));
        int malformed = 0;
        EXPECT_EQ(takeAll(rx, unicode, &malformed), (QStringList{"NS", "CC|5"})) << unicode;
        EXPECT_FALSE(malformed);
        EXPECT_TRUE(rx.isEmpty());
    }
}
