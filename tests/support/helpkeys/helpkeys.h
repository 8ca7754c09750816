#pragma once

// The key tables of the help's key page (session/help/keys.htm), row by row:
//
//     for (const HelpKeyRow &row : helpKeyRows("variables"))
//         QTest::keyClick(list, row.key[0].key(), row.key[0].keyboardModifiers());
//
// A row that a test can check carries a data attribute naming its table and what the
// key does there: <tr data-code="cmd:EdCopy"><td>Ctrl+Insert</td>...

#include <QFile>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QRegularExpression>
#include <QString>

struct HelpKeyRow
{
    QString table;     // the data attribute's name: "command", "menu", "code", ...
    QString does;      // its value
    QString keyText;   // the key as the page writes it
    QKeySequence key;  // empty when the text names no key
};

// The rows of one table, or of all tables for an empty name.
inline QList<HelpKeyRow> helpKeyRows(const QString &table = QString())
{
    QFile page(QStringLiteral(VANTREL_HELP_SOURCE_DIR "/keys.htm"));
    if (!page.open(QIODevice::ReadOnly))
        return {};
    const QString html = QString::fromUtf8(page.readAll());
    // The page writes keys as people read them; Qt's portable names differ for a few.
    const QHash<QString, QString> qtNames = {{QStringLiteral("Insert"), QStringLiteral("Ins")},
                                             {QStringLiteral("Delete"), QStringLiteral("Del")},
                                             {QStringLiteral("Enter"), QStringLiteral("Return")},
                                             {QStringLiteral("Escape"), QStringLiteral("Esc")}};
    static const QRegularExpression rowPattern(QStringLiteral(R"re(<tr data-([a-z]+)="([^"]*)"><td>([^<]+)</td>)re"));
    QList<HelpKeyRow> rows;
    for (const auto &m : rowPattern.globalMatch(html)) {
        if (!table.isEmpty() && m.captured(1) != table)
            continue;
        const QString text = m.captured(3);
        // "+" and "-" alone, and "Ctrl++", name the plus key itself.
        QStringList parts;
        if (text == QLatin1String("+") || text == QLatin1String("-"))
            parts = {text};
        else if (text.endsWith(QLatin1String("++")))
            parts = text.left(text.size() - 2).split(QLatin1Char('+')) << QStringLiteral("+");
        else
            parts = text.split(QLatin1Char('+'));
        for (QString &part : parts)
            part = qtNames.value(part, part);
        rows.append({m.captured(1), m.captured(2), text,
                     QKeySequence::fromString(parts.join(QLatin1Char('+')), QKeySequence::PortableText)});
    }
    return rows;
}

// The key of a row as one combination, for QTest::keyClick.
inline QKeyCombination helpKeyCombination(const HelpKeyRow &row)
{
    return row.key.isEmpty() ? QKeyCombination() : row.key[0];
}
