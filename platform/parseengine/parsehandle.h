#pragma once

#include "linestore.h"
#include "mlineparser.h"

#include <QHash>
#include <QString>

#include <cstdint>

// Everything one engine session handle owns: the parser properties the routine document set,
// the routine's text by serial, and the last parse of each line. Every member answers with the
// text the corresponding entry returns, including its "cannot answer" value.
class ParseHandle
{
public:
    ParseHandle();

    void setProperty(const QString &name, const QString &value);
    // The stored value, or `fallback` when the property was never set.
    QString property(const QString &name, const QString &fallback) const;
    void setTable(const QString &platform, bool unicode, const QString &nameTable);

    QString textSet(int serial, const QString &text, int previous);
    QString textKill(int serial, int previous, int count);

    QString begin(int statementSerial, int carriedState, QStringView text, int requestedSerial);
    QString prime(int serial, int carriedState);

    QString commandToRange(int serial, int command);
    QString positionToCommandRange(int serial, int position);
    QString positionToCommandEnd(int serial, int position);
    QString positionToCommand(int serial, int position);
    QString positionToTip(int serial, int column);

    // Statements longer than this stop with the InBlockComment state bit and go on in the
    // next statement, so one unclosed "/*" never makes every edit reparse the whole routine.
    static constexpr int MaxStatementLines = 200;

private:
    struct Context
    {
        bool inBlockComment = false;
        int braceDepth = 0;
    };
    struct Shape
    {
        int depth = 0;
        bool blockStart = false;
    };

    void updateMode();
    void textChanged();
    const MParsedLine &parsed(LineStore::Line &line, const Context &context);
    const MParsedLine &parsed(LineStore::Line &line);
    Context contextBefore(const LineStore::Line &line);
    Context contextAfter(const LineStore::Line &line) const;
    MLineParser::Options options(const Context &context) const;
    Shape shape(LineStore::Line &line);
    int commandAt(const MParsedLine &parsed, int column) const;
    void appendLineItem(QString &reply, LineStore::Line &line, const Shape &lineShape);

    QHash<QString, QString> m_properties;
    QString m_platform;            // from SetTable^PName
    bool m_mac = false;            // ParseTable ends in ".mac": MAC/INC source
    bool m_objectScript = true;    // platform speaks ObjectScript (also when nothing is known yet)
    LineStore m_lines;
    std::uint64_t m_stamp = 1;     // parses made under another stamp are stale
    MLineParser m_parser;
};
