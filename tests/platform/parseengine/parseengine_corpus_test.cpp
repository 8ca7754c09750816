#include "enginefixture.h"
#include "gtmcorpus.h"

#include "mtoken.h"

#include <QStringList>

namespace {

struct ReplyToken
{
    int cls;
    int start;
    int length;
};

// Splits a one-line "Begin^PARSE" reply; false when it does not follow the grammar.
bool splitReply(const QString &reply, int &state, std::vector<ReplyToken> &tokens)
{
    const QStringList items = reply.split(QLatin1Char('^'));
    if (items.size() != 2)
        return false;
    const QStringList header = items[0].split(QLatin1Char(' '));
    if (header.size() != 3 || header[1] != QLatin1String("1") || header[2] != QLatin1String("0"))
        return false;
    bool ok = false;
    state = header[0].toInt(&ok);
    if (!ok)
        return false;
    const QStringList parts = items[1].split(QLatin1Char('\\'));
    if (parts[0].split(QLatin1Char(' ')).size() != 2)
        return false;
    tokens.clear();
    for (int i = 1; i < parts.size(); ++i) {
        const QStringList numbers = parts[i].split(QLatin1Char(' '));
        if (numbers.size() != 4)
            return false;
        tokens.push_back({numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt()});
    }
    return true;
}

bool startsWithLabel(const QString &line)
{
    if (line.isEmpty())
        return false;
    const QChar c = line.at(0);
    return c == QLatin1Char('%') || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

} // namespace

// Every routine GT.M ships compiles with GT.M's own compiler, so the engine must accept every
// line of them, see every label, and number commands the same way in both directions.
TEST(ParseEngineCorpus, AcceptsEveryGtmRoutine)
{
    const QString folder = gtmInstallationFolder();
    ASSERT_FALSE(folder.isEmpty()) << "the fis-gtm package is not installed (tools/install-deps.sh)";
    const std::vector<GtmRoutine> corpus = loadGtmCorpus(folder);
    ASSERT_GT(corpus.size(), 50u);

    ParseEngine engine;
    QStringList failures;
    long lines = 0;
    long commands = 0;
    auto fail = [&](const GtmRoutine &routine, int index, const QString &what) {
        if (failures.size() < 25)
            failures << QStringLiteral("%1:%2: %3\n    %4")
                                .arg(routine.path).arg(index + 1).arg(what, routine.lines[index]);
        else if (failures.size() == 25)
            failures << QStringLiteral("...");
    };

    for (const GtmRoutine &routine : corpus) {
        EngineDocument doc(engine, QStringLiteral("sdbGTM"));
        const int first = doc.append(routine.lines);
        for (int i = 0; i < routine.lines.size(); ++i) {
            const QString &text = routine.lines[i];
            const int serial = first + i;
            ++lines;
            int state = 0;
            std::vector<ReplyToken> tokens;
            if (!splitReply(doc.parse(serial, text), state, tokens)) {
                fail(routine, i, QStringLiteral("reply does not follow the grammar"));
                continue;
            }
            if (state & ~MState::AllowedMask)
                fail(routine, i, QStringLiteral("state %1 sets forbidden bits").arg(state));
            // A line is never left without tokens; only an empty line has one of length 0.
            if (tokens.empty())
                fail(routine, i, QStringLiteral("no token"));
            int previousEnd = 0;
            for (const ReplyToken &token : tokens) {
                if (token.cls == MToken::Error)
                    fail(routine, i, QStringLiteral("error token at column %1").arg(token.start));
                if (token.start < previousEnd || (token.length <= 0 && !text.isEmpty())
                    || token.length < 0 || token.start + token.length > text.size())
                    fail(routine, i, QStringLiteral("token %1 %2 %3 out of place")
                                             .arg(token.cls).arg(token.start).arg(token.length));
                previousEnd = token.start + token.length;
            }
            // Tips: "=" only ever for a local variable, under a key naming no entry.
            for (const ReplyToken &token : tokens) {
                if (token.cls < MToken::LocalVariable || token.cls > MToken::Extrinsic)
                    continue;
                const QString tip = doc.twoLongs("Pos2Tip^PARSE", serial, token.start + 1);
                const QString request = tip.section(QChar(0), 0, 0);
                const QString key = tip.section(QChar(0), 1);
                if (request.startsWith(QLatin1Char('='))
                    && (token.cls != MToken::LocalVariable
                        || key != QStringLiteral("V%1:%2").arg(serial).arg(token.start + 1)
                        || !request.mid(1).startsWith(text.mid(token.start, token.length))))
                    fail(routine, i, QStringLiteral("unsafe tip %1 at column %2").arg(request).arg(token.start));
                if (key.contains(QLatin1Char('(')) && !key.startsWith(QLatin1String("XTip^PARSE(")))
                    fail(routine, i, QStringLiteral("tip key %1 names no entry").arg(key));
            }
            if (startsWithLabel(text)
                && (tokens.empty() || tokens[0].cls != MToken::Label || tokens[0].start != 0))
                fail(routine, i, QStringLiteral("label not reported"));

            int previousCommandEnd = 0;
            for (int command = 1;; ++command) {
                const QString range = doc.twoLongs("Cmd2Rng^PARSE", serial, command);
                if (range.isEmpty())
                    break;
                ++commands;
                const int start = range.section(QLatin1Char(','), 0, 0).toInt();
                const int end = range.section(QLatin1Char(','), 1, 1).toInt();
                const QString number = QString::number(command);
                if (start <= previousCommandEnd || end < start || end > text.size())
                    fail(routine, i, QStringLiteral("command %1 has range %2").arg(number, range));
                for (int position : {start, (start + end) / 2, end}) {
                    if (doc.twoLongs("Pos2Cmd^PARSE", serial, position) != number)
                        fail(routine, i, QStringLiteral("Pos2Cmd at %1 is not %2").arg(position).arg(number));
                }
                if (doc.twoLongs("Pos2CRng^PARSE", serial, start) != range
                    || doc.twoLongs("Pos2CEnd^PARSE", serial, start).toInt() != end)
                    fail(routine, i, QStringLiteral("command %1 range does not round-trip").arg(number));
                previousCommandEnd = end;
            }
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(commands, lines / 2);
    RecordProperty("lines", int(lines));
    RecordProperty("commands", int(commands));
}
