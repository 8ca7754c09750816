#pragma once

#include "parseengine.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

// A routine document's view of the engine: one handle, lines registered the way the lexer
// registers them (serials 1..n in order, texts ZeroPad'ed).
class EngineDocument
{
public:
    explicit EngineDocument(ParseEngine &engine, const QString &parseTable = QString())
        : m_engine(engine)
    {
        bool ok = false;
        m_handle = engine.xecute(QStringLiteral("w $$NewHand^PARSE")).toInt(&ok);
        EXPECT_TRUE(ok);
        if (!parseTable.isEmpty())
            call("PropSet^PARSE", {QStringLiteral("ParseTable"), parseTable});
    }
    ~EngineDocument() { call("FreeHand^PARSE", {}); }

    static QString zeroPad(const QString &text) { return text + QString(text.size(), QChar(0)); }

    QString call(const char *entry, const QVariantList &args)
    {
        return m_engine.call(QString::fromLatin1(entry), m_handle, args);
    }

    // Registers the lines after the current last one; returns the first new serial.
    int append(const QStringList &lines)
    {
        const int first = m_lastSerial + 1;
        for (const QString &line : lines) {
            const int serial = ++m_lastSerial;
            call("TextSet^PARSE", {serial, zeroPad(line), serial - 1});
        }
        return first;
    }

    QString parse(int serial, const QString &text, int state = 0)
    {
        return call("Begin^PARSE", {serial, state, zeroPad(text), serial});
    }

    QString twoLongs(const char *entry, int serial, int value) { return call(entry, {serial, value}); }

    int handle() const { return m_handle; }

private:
    ParseEngine &m_engine;
    int m_handle = 0;
    int m_lastSerial = 0;
};

// Parses one line in a fresh document and returns the reply.
inline QString replyFor(ParseEngine &engine, const QString &line, const QString &table = QStringLiteral("sdbCACHE"))
{
    EngineDocument doc(engine, table);
    doc.append({line});
    return doc.parse(1, line);
}

// A line and the whole reply the engine gives for it.
struct LineReply { const char *line; const char *reply; };

// Parses each line in a fresh document of `table` and checks its reply.
inline void expectReplies(const QString &table, const std::vector<LineReply> &cases)
{
    ParseEngine engine;
    for (const LineReply &c : cases)
        EXPECT_EQ(replyFor(engine, QString::fromLatin1(c.line), table), QString::fromLatin1(c.reply)) << c.line;
}
