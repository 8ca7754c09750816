#include "docfixtures.h"
#include "linedata.h"
#include "sourcelex.h"
#include "vanngine.h"
#include "vantrelerror.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include <algorithm>
#include <map>

namespace {

using namespace ParseReply;

class LexTest : public LexDocTest
{
protected:
    QString tokens(int line)
    {
        QStringList out;
        for (const ProxySourceToken &t : lex()->codeLine(line).ParseTokens)
            out << QStringLiteral("%1@%2+%3/%4").arg(t.TokenType).arg(t.Start).arg(t.Length).arg(t.Attributes);
        return out.join(QLatin1Char(' '));
    }
    QString scan(int line) { return scanText(line, doc()->GetLine(line)); }
    QString scanText(int line, const QString &text)
    {
        lex()->BeginLineScan(doc(), line, text, 0);
        QStringList out;
        for (int guard = 0; guard < 50; ++guard) {
            SourceToken t;
            lex()->ScanToken(t);
            out << QStringLiteral("%1@%2+%3").arg(t.TokenType).arg(t.Start).arg(t.Length);
            if (t.TokenType == 0)
                break;
        }
        bool next = false;
        lex()->EndLineScan(doc(), next);
        return out.join(QLatin1Char(' '));
    }

};

TEST_F(LexTest, CheckLineSyncReadsLabelsAndTurnsTheLabelBlankIntoATab)
{
    struct Case { QString text; QString label; QString textAfter; };
    const std::vector<Case> cases = {
        {"START S X=1", "START", "START\tS X=1"},
        {"LBL(A,B) ; c", "LBL", "LBL(A,B)\t; c"},
        {";c", "", ";c"},
        {"{", "", "{"},
        {"}", "", "}"},
        {"#define X", "", "#define X"},
        {"$$$M", "", "$$$M"},
        {"\tS X=1", "", "\tS X=1"},
        {"VERYLONGLABEL\tQ", "VERYLONG", "VERYLONGLABEL\tQ"},
        {"", "", ""},
    };
    for (const Case &c : cases) {
        load({c.text});
        EXPECT_EQ(lex()->codeLine(0).Label, c.label) << c.text.toStdString();
        EXPECT_EQ(doc()->GetLine(0), c.textAfter) << c.text.toStdString();
        EXPECT_FALSE(doc()->Modified()) << c.text.toStdString();
    }

    engine->on(QStringLiteral("PropGet^PARSE"), "31");
    load({"VERYLONGLABEL\tQ"});
    EXPECT_EQ(lex()->lenLABEL(), 31);
    EXPECT_EQ(lex()->codeLine(0).Label, "VERYLONGLABEL");

    engine->on(QStringLiteral("PropGet^PARSE"), "ERROR:x");
    load({"VERYLONGLABEL\tQ"});
    EXPECT_EQ(lex()->lenLABEL(), 8);
}

TEST_F(LexTest, LabelsAreIndexedWithColouringOff)
{
    lex()->setEnabled(false);
    load({"FIRST\t; top", "\tQ", "SECOND\tQ"});
    EXPECT_EQ(lex()->Labels().line("FIRST"), 1);
    EXPECT_EQ(lex()->Labels().line("SECOND"), 3);
    EXPECT_TRUE(engine->callsTo("Begin^PARSE").empty());
}

TEST_F(LexTest, DuplicateLabelsShowAsClassNineUntilTheFirstIsRenamed)
{
    load({"A\tQ", "\tS X=1", "A\tQ"});
    onBegin(2, begin(0, 1, 0, {lineItem(0, 0, {token(4, 0, 1), token(5, 2, 1)})}));
    EXPECT_EQ(lex()->Labels().line("A"), 1);
    EXPECT_EQ(lex()->codeLine(2).Label, "");
    parse(2);
    EXPECT_EQ(tokens(2), "9@0+1/0 5@2+1/0");

    QSignalSpy repaints(doc(), &SourceDocument::repaintRequested);
    QSignalSpy revised(lex(), &SourceLex::LabelRevised);
    doc()->ReplaceChar(0, 0, QLatin1Char('B'), true);
    EXPECT_EQ(lex()->codeLine(2).Label, "A");
    EXPECT_EQ(lex()->Labels().line("B"), 1);
    EXPECT_EQ(lex()->Labels().line("A"), 3);
    bool wholeDocument = false;
    for (const auto &args : repaints)
        wholeDocument |= args.at(0).toInt() == 0 && args.at(1).toInt() >= 2;
    EXPECT_TRUE(wholeDocument);
    ASSERT_GE(revised.size(), 2);
    EXPECT_EQ(revised.at(0).at(1).toString(), "A");    // the block's label changed first,
    EXPECT_EQ(revised.at(1).at(0).toInt(), 2);          // then the former duplicate took over
    EXPECT_EQ(revised.at(1).at(2).toString(), "A");
}

TEST_F(LexTest, ALabelRenamedIntoADuplicateIsReportedAsRemoved)
{
    load({"A\tQ", "\tQ", "AB\tQ"});
    lex()->Labels();
    QSignalSpy revised(lex(), &SourceLex::LabelRevised);
    doc()->DeleteImpl(1, 2, 2, 2);   // "AB" becomes "A", the label of line 1
    EXPECT_EQ(lex()->codeLine(2).Label, "");
    EXPECT_EQ(lex()->Labels().line("A"), 1);
    ASSERT_EQ(revised.size(), 1);
    EXPECT_EQ(revised.at(0).at(0).toInt(), 2);
    EXPECT_EQ(revised.at(0).at(1).toString(), "AB");
    EXPECT_EQ(revised.at(0).at(2).toString(), "");
}

TEST_F(LexTest, QueueOrdersVisibleLinesFirstAndNeverHoldsALineTwice)
{
    QStringList lines;
    for (int i = 0; i < 30; ++i)
        lines << "\tQ";
    load(lines);
    struct Case { std::vector<int> before; int line; bool forceToEnd; std::vector<int> after; };
    const std::vector<Case> cases = {
        {{}, 5, false, {5}},
        {{20}, 5, false, {5, 20}},
        {{20}, 25, false, {20, 25}},
        {{20}, 5, true, {20, 5}},
        {{5, 20}, 20, false, {5, 20}},
        {{5, 20}, 5, true, {20, 5}},
        {{20, 25}, 25, false, {20, 25}},
        {{20, 25}, 3, false, {3, 20, 25}},
    };
    for (const Case &c : cases) {
        window->InitializeDoc();   // empties the queue
        doc()->InsertImpl(0, 0, lines.join("\n"));
        for (int line : c.before)
            lex()->QueueLineForParse(line, true, false);
        lex()->QueueLineForParse(c.line, c.forceToEnd, false);
        EXPECT_EQ(lex()->queuedLines(), c.after) << c.line;
    }

    QSignalSpy timer(lex(), &SourceLex::EnableTimer);
    window->InitializeDoc();
    doc()->InsertImpl(0, 0, "\tQ\n\tQ");
    engine->clearCalls();
    lex()->TimerTick();
    ASSERT_EQ(timer.size(), 1);
    EXPECT_FALSE(timer.at(0).at(0).toBool());
    lex()->QueueLineForParse(50, false, false);
    lex()->TimerTick();
    EXPECT_TRUE(lex()->queuedLines().empty());
    EXPECT_TRUE(engine->callsTo("Begin^PARSE").empty());
}

// Lines reach the queue in any order: far down a long routine before the lines above them,
// again while they wait, beyond the routine's end. Each line of the routine is parsed
// exactly once and leaves the queue; the others leave it unparsed; the timer then stops.
TEST_F(LexTest, EveryQueuedLineIsParsedOnceAndLeavesTheQueue)
{
    const int lineCount = 100010;
    engine->on("Begin^PARSE", begin(0, 1, 0, {lineItem(0, 0)}));
    struct Case
    {
        const char *name;
        std::vector<int> queued;
    };
    const std::vector<Case> cases = {
        {"top down", {0, 1, 2, 65535, 65536, 100000}},
        {"far line first, then lines that take the queue past it", {100000, 50000, 60000}},
        {"bottom up across the whole routine", {100009, 99999, 70000, 65536, 65535, 9, 0}},
        {"queued again while waiting", {100000, 50000, 60000, 100000, 50000, 100009}},
        {"far lines between near ones", {3, 90000, 5, 131072, 40000, 70000, 100001, 8}},
        {"beyond the routine and below it", {250000, -1, 100000, 50000, 60000, 100010, 150000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(QStringList(lineCount, QStringLiteral("\tQ")));
        std::map<int, int> lineOfSerial;
        for (int line = 0; line < lineCount; ++line)
            lineOfSerial[serial(line)] = line;

        for (int line : c.queued)
            lex()->QueueLineForParse(line, false, false);
        // Far more ticks than lines: a line the queue loses would hold it for ever.
        window->drainParseQueue(int(c.queued.size()) * 10);

        EXPECT_TRUE(lex()->queuedLines().empty());
        EXPECT_FALSE(window->timerOn);
        std::vector<int> expected;
        for (int line : c.queued)
            if (line >= 0 && line < lineCount && std::find(expected.begin(), expected.end(), line) == expected.end())
                expected.push_back(line);
        std::sort(expected.begin(), expected.end());
        std::vector<int> parsed;
        for (const auto &call : engine->callsTo("Begin^PARSE"))
            parsed.push_back(lineOfSerial.at(call.args.value(3).toInt()));
        std::sort(parsed.begin(), parsed.end());
        EXPECT_EQ(parsed, expected);
        for (int line : expected)
            EXPECT_TRUE(lex()->codeLine(line).Parsed) << line;
    }
}

TEST_F(LexTest, SerialsKeepTheEngineTextInStep)
{
    auto textCalls = [this] {
        QStringList out;
        for (const auto &c : engine->calls())
            if (c.entry == "TextSet^PARSE" || c.entry == "TextKill^PARSE")
                out << QStringList{c.entry.left(8), c.text(0), c.text(1), c.text(2)}.join(' ');
        engine->clearCalls();
        return out;
    };
    auto slotsMatch = [this] {
        for (int i = 0; i < doc()->NumLines(); ++i)
            if (serial(i) != lex()->serials().at(i))
                return false;
        return int(lex()->serials().size()) == doc()->NumLines();
    };

    window->InitializeDoc();
    EXPECT_EQ(textCalls(), QStringList{"TextSet^ 1  0"});
    doc()->InsertImpl(0, 0, "a\nb\nc");
    EXPECT_EQ(textCalls(), (QStringList{"TextSet^ 2 a 0", "TextSet^ 3 b 2", "TextSet^ 1 c 3"}));
    EXPECT_TRUE(slotsMatch());

    doc()->InsertImpl(0, 0, "x\ny\n");    // two lines at the top
    EXPECT_EQ(textCalls(), (QStringList{"TextSet^ 4 x 0", "TextSet^ 5 y 4"}));
    doc()->InsertImpl(0, 3, "m\n");       // one line in the middle, above "b"
    EXPECT_EQ(textCalls(), QStringList{"TextSet^ 6 m 2"});
    doc()->InsertImpl(1, 5, "\nz");       // one line at the end
    EXPECT_EQ(textCalls(), (QStringList{"TextSet^ 7 z 1", "TextSet^ 1 c 3"}));
    EXPECT_TRUE(slotsMatch());
    EXPECT_EQ(lex()->serials(), (std::vector<int>{4, 5, 2, 6, 3, 1, 7}));

    doc()->DeleteImpl(0, 1, 0, 3);        // lines "y" and "a"
    EXPECT_EQ(textCalls(), QStringList{"TextKill 5 4 2"});
    EXPECT_EQ(lex()->serials(), (std::vector<int>{4, 6, 3, 1, 7}));
    EXPECT_TRUE(slotsMatch());

    doc()->InsertImpl(1, 1, "Q");         // an edit within a line is sent again under its serial
    EXPECT_EQ(textCalls(), QStringList{"TextSet^ 6 mQ 4"});

    // A new load kills the old text; serials go on from where they were.
    window->InitializeDoc();
    EXPECT_EQ(textCalls(), (QStringList{"TextKill 4 0 5", "TextSet^ 8  0"}));
}

TEST_F(LexTest, InsertedLineUnderARunningStatementContinuesIt)
{
    load({"\tS X=1,", "\tQ"});
    setFlags(0, 0x20000);
    doc()->InsertImpl(0, 1, "\tY=2\n");
    EXPECT_TRUE(flags(1) & 0x40000);
    load({"\tS X=1", "\tQ"});
    setFlags(0, 0x1000000);
    doc()->InsertImpl(0, 1, "\tY=2\n");
    EXPECT_TRUE(flags(1) & 0x40000);
    EXPECT_EQ(lex()->queuedLines(), std::vector<int>{0});
}

TEST_F(LexTest, ScanDeliversCachedTokensThenPlainThenEnd)
{
    load({"", "abc", "\tW X"});
    EXPECT_EQ(scan(0), "0@0+0");
    lex()->setEnabled(false);
    EXPECT_EQ(scan(1), "1@0+3 0@3+0");
    EXPECT_EQ(scanText(1, "ab\rcd"), "1@0+2 0@2+0");
    EXPECT_EQ(scanText(1, QString("x") + QChar(0) + "yz"), "1@0+1 0@1+0");
    lex()->setEnabled(true);

    onBegin(2, begin(0, 1, 0, {lineItem(0, 0, {token(10, 1, 1), token(6, 3, 1)})}));
    EXPECT_EQ(scan(2), "10@1+1 6@3+1 1@0+4 0@4+0");
    setFlags(2, flags(2) | 0x8);
    EXPECT_EQ(scan(2), "1@1+1 6@3+1 1@0+4 0@4+0");

    lex()->BeginLineScan(doc(), 2, doc()->GetLine(2), 0);
    lex()->SetLineIndex(2);   // between the two tokens
    SourceToken t;
    lex()->ScanToken(t);
    EXPECT_EQ(t.TokenType, 6);
    EXPECT_EQ(t.Start, 3);
}

TEST_F(LexTest, EndLineScanAsksForTheNextLineWhenTheStatementRunsOnOrFlagsChanged)
{
    load({"\tS X=1", "\tQ"});
    lex()->setEnabled(false);
    struct Case { quint32 flags; bool next; quint32 after; };
    for (const Case &c : {Case{0, false, 0}, Case{0x20000, true, 0x20000}, Case{0x4000000, true, 0},
                          Case{0x4020000, true, 0x20000}}) {
        setFlags(0, c.flags);
        lex()->BeginLineScan(doc(), 0, doc()->GetLine(0), 0);
        bool next = false;
        lex()->EndLineScan(doc(), next);
        EXPECT_EQ(next, c.next) << c.flags;
        EXPECT_EQ(flags(0), c.after) << c.flags;
    }
}

TEST_F(LexTest, ATickRepaintsItsOwnLineWhenTheLineAboveJumpedTheQueue)
{
    load({"\tS X=1", "\tS Y=2", "\tQ"});
    setFlags(0, 0x1000000);
    onBegin(1, "ERROR:busy");   // nothing changes, but the line was queued to be repainted
    lex()->QueueLineForParse(1, false, true);
    QSignalSpy repaints(doc(), &SourceDocument::repaintRequested);
    lex()->TimerTick();
    bool lineRepainted = false;
    for (const auto &args : repaints)
        lineRepainted |= args.at(0).toInt() <= 1 && args.at(1).toInt() >= 1;
    EXPECT_TRUE(lineRepainted);
    EXPECT_EQ(lex()->queuedLines(), std::vector<int>{0});
}

TEST_F(LexTest, EngineIsSetOnceAndColouringNeedsAConnectedEngine)
{
    SourceLex fresh;
    VanNgine other;
    fresh.setVanNgine(&other);
    try {
        fresh.setVanNgine(&other);
        FAIL() << "second set accepted";
    } catch (const VantrelError &e) {
        EXPECT_EQ(e.number(), VantrelError::Base);
        EXPECT_EQ(e.text(), "VanNgine already set on this SourceLex");
    }
    fresh.setVanNgine(nullptr);
    EXPECT_FALSE(fresh.CanEnable());
    fresh.setEnabled(true);
    EXPECT_FALSE(fresh.Enabled());
    engine->setConnected(false);
    fresh.setVanNgine(&other);
    fresh.setEnabled(true);
    EXPECT_FALSE(fresh.Enabled());
}

TEST_F(LexTest, ReplyBecomesTokensFlagsAndState)
{
    load({"L\tIF X D", "\tS Y=1", "\tQ", "\tW 1"});
    // One line: block start and depth from the line header, the state on the line.
    onBegin(0, begin(3, 1, 0, {lineItem(8, 2, {token(4, 0, 1), token(5, 2, 2, 34)})}));
    scan(0);
    EXPECT_EQ(tokens(0), "4@0+1/0 5@2+2/2 5@4+0/2 5@4+0/2");
    EXPECT_EQ(lex()->codeLine(0).LineLength, 8);
    EXPECT_EQ(flags(0) & 0x7FFF0000, (3u << 16) | 0x80000 | (2u << 20));

    // A statement over three lines, the items spread over two MoreToks replies.
    onBegin(1, begin(5, 3, 7, {lineItem(0, 1, {token(6, 1, 1)})}));
    engine->queue("MoreToks^PARSE", moreToks(8, {lineItem(0, 17, {token(6, 1, 1)})}));
    engine->queue("MoreToks^PARSE", moreToks(0, {lineItem(0, 3, {token(6, 1, 1)})}));
    scan(1);
    const auto more = engine->callsTo("MoreToks^PARSE");
    ASSERT_EQ(more.size(), 2u);
    EXPECT_EQ(more[0].args, (QVariantList{7, 2}));
    EXPECT_EQ(more[1].args, (QVariantList{8, 1}));
    EXPECT_EQ(flags(1) & 0x7FFF0000, 0x20000u | (1u << 20));
    EXPECT_EQ(flags(2) & 0x7FFF0000, 0x60000u);   // depth 17 is no depth
    EXPECT_EQ(flags(3) & 0x3FFF0000, (5u << 16) | 0x40000 | (3u << 20) | 0x4000000);
    EXPECT_EQ(tokens(3), "6@1+1/0");
}

TEST_F(LexTest, BadLinesOfAStatementStayUnparsedAndOthersAreStored)
{
    load({"\tS X=1,", "\tY=2,", "\tZ=3", "\tQ"});
    onBegin(0, begin(0, 3, 0, {lineItem(0, 0, {token(6, 1, 1)}), "ERROR:x", lineItem(0, 0, {token(6, 1, 1)})}));
    onBegin(3, begin(0, 1, 0, {lineItem(0, 0)}));
    parse(0);
    EXPECT_EQ(tokens(0), "6@1+1/0");
    EXPECT_EQ(tokens(1), "");
    EXPECT_EQ(tokens(2), "6@1+1/0");
    parse(3);
    EXPECT_EQ(tokens(3), "");
    EXPECT_EQ(scan(3), "1@0+2 0@2+0");

    // A MoreToks reply without items ends the statement instead of asking forever.
    onBegin(0, begin(0, 3, 4, {lineItem(0, 0, {token(6, 1, 1)})}));
    lex()->FlushCache(0, 2);
    engine->clearCalls();
    scan(0);
    EXPECT_EQ(engine->callsTo("MoreToks^PARSE").size(), engine->callsTo("Begin^PARSE").size());
}

TEST_F(LexTest, RepliesOutOfFormatLeaveTheLineUnparsed)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"1 1", ""},                                   // short header
        {"40000 1 0^0 0\\6 1 1 0", ""},              // state beyond 15 bits
        {"0 0 0^0 0\\6 1 1 0", ""},                  // no lines
        {"x y z", ""},
        {"0 1 0^0 0\\a b c d\\6 1 1 0", "6@1+1/0"},  // a bad token is skipped
        {"0 1 0^0 0\\6 -1 3 0\\6 2 -4 0", ""},       // tokens that fit no line
        {"0 1 0^0 0\\6 2147483647 1 34\\6 2147480000 9999 0", ""},   // ends beyond any column
    };
    for (const auto &[reply, expected] : cases) {
        load({"\tS X=1"});
        onBegin(0, reply);
        scan(0);
        EXPECT_EQ(tokens(0), expected) << reply.toStdString();
    }
}

TEST_F(LexTest, ChainedStatementsParseFromTheirFirstLineAndRepairBrokenChains)
{
    load({"\tS X=1,", "\tY=2,", "\tZ=3", "\tQ"});
    setFlags(0, 0x20000);
    setFlags(1, 0x60000);
    setFlags(2, 0x40000);
    parse(1);
    auto calls = engine->callsTo("Begin^PARSE");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args.value(0).toInt(), serial(0));
    EXPECT_EQ(calls[0].args.value(3).toInt(), serial(1));
    EXPECT_EQ(calls[0].text(2), "\tY=2,");

    // The statement start no longer runs on: the chain below it is cut.
    engine->clearCalls();
    lex()->FlushCache(0, 3);
    setFlags(0, 0);
    setFlags(1, 0x60000 | 0x80000);
    setFlags(2, 0x40000);
    parse(2);
    calls = engine->callsTo("Begin^PARSE");
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0].args.value(0).toInt(), serial(2));
    EXPECT_EQ(flags(1) & 0xE0000, 0u);
    EXPECT_EQ(lex()->queuedLines(), std::vector<int>{1});

    // A statement that stops running on releases its former continuation lines.
    load({"\tS X=1", "\tY=2,", "\tZ=3", "\tQ"});
    setFlags(0, 0x20000);
    setFlags(1, 0x60000);
    setFlags(2, 0x40000);
    onBegin(0, begin(0, 1, 0, {lineItem(0, 0)}));
    scan(0);
    EXPECT_EQ(flags(1), 0x4000000u);
    EXPECT_EQ(flags(2), 0x4000000u);
    EXPECT_EQ(flags(3), 0u);
}

TEST_F(LexTest, ReparsePreviousLineBitQueuesTheLineAbove)
{
    load({"\tS X=1", "\tS Y=2", "\tQ"});
    setFlags(0, 0x1000000);
    onBegin(1, begin(0, 1, 0, {lineItem(0, 0)}));
    scan(1);
    EXPECT_TRUE(queued(0));

    load({"\tS X=1", "\tS Y=2", "\tQ"});
    onBegin(1, begin(0x100, 1, 0, {lineItem(0, 0)}));   // state bit 8: parse the line above
    scan(1);
    EXPECT_TRUE(flags(1) & 0x1000000);
    EXPECT_TRUE(queued(0));
}

TEST_F(LexTest, ParseErrorsReachTheReportOnlyWithZCode)
{
    load({"\tS X=", "\tQ"});
    onBegin(0, "ERROR:no,Z<UNDEF>");
    parse(0);
    EXPECT_EQ(tokens(0), "2@0+5/0 0@5+0/0");
    QCoreApplication::processEvents();
    EXPECT_EQ(report.text, "Parse error on line 1 in " + doc()->PathName() + "\rERROR:no,Z<UNDEF>\r");

    report.text.clear();
    onBegin(1, "ERROR:busy");
    parse(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(tokens(1), "");
    EXPECT_TRUE(report.text.isEmpty());
}

TEST_F(LexTest, ANestedParseDuringTheEngineCallReturnsAtOnce)
{
    load({"\tS X=1", "\tQ"});
    const int s0 = serial(0);
    engine->onMatching("Begin^PARSE", [s0](const QVariantList &a) { return a.value(0).toInt() == s0; },
                       ScriptedEngine::Reply::computed([this](const ScriptedEngine::Call &) {
                           scan(1);   // a repaint while the engine works
                           return begin(0, 1, 0, {lineItem(0, 0, {token(6, 1, 1)})});
                       }));
    parse(0);
    EXPECT_EQ(tokens(0), "6@1+1/0");
    EXPECT_EQ(tokens(1), "");
    EXPECT_EQ(engine->callsTo("Begin^PARSE").size(), 1u);
}

TEST_F(LexTest, DeletingLinesKeepsTheMarksOfTheLineThatFollows)
{
    load({"\tS X=1", "\tS Y=2", "\tS Z=3", "\tQ"});
    doc()->SetLineData(3, LineData::kFlagSlot, 0x1 | 0x2 | 0x8 | 0x30000);
    doc()->DeleteImpl(0, 1, 0, 3);
    EXPECT_EQ(flags(1) & 0xFFFF, 0xBu);
    EXPECT_EQ(flags(1) & 0x7FFF0000, 0u);
}

} // namespace

namespace {

using namespace ParseReply;

QString nextToken(SourceLex *lex)
{
    SourceToken t;
    lex->ScanToken(t);
    return QStringLiteral("%1@%2+%3").arg(t.TokenType).arg(t.Start).arg(t.Length);
}

TEST_F(LexTest, SetLineIndexDeliversTheFirstTokenStartingAtTheColumnOrTheLast)
{
    load({"\tWRITE X"});
    onBegin(0, begin(0, 1, 0, {lineItem(0, 0, {token(5, 1, 5), token(6, 7, 1)})}));
    parse(0);
    struct Case { int column; QString token; };
    for (const Case &c : {Case{0, "5@1+5"}, Case{1, "5@1+5"}, Case{3, "6@7+1"}, Case{7, "6@7+1"},
                          Case{20, "6@7+1"}}) {
        lex()->BeginLineScan(doc(), 0, doc()->GetLine(0), 0);
        lex()->SetLineIndex(c.column);
        EXPECT_EQ(nextToken(lex()), c.token) << c.column;
    }
}

TEST_F(LexTest, AnOversizedMarkerCountCannotFloodTheLine)
{
    load({"\tS X=1"});
    onBegin(0, begin(0, 1, 0, {lineItem(0, 0, {token(5, 1, 1, (1 << 24) | 2), token(6, 3, 3)})}));
    parse(0);
    const auto &tokens = lex()->codeLine(0).ParseTokens;
    ASSERT_FALSE(tokens.empty());
    EXPECT_LE(tokens.size(), 300u);
    EXPECT_EQ(tokens.back().TokenType, 6);
}

TEST_F(LexTest, AQueuedLineOutsideTheDocumentIsDroppedUnparsed)
{
    load({"\tS X=1", "\tQ"});
    for (int line : {-1, 2, 7}) {
        lex()->QueueLineForParse(line, true, true);
        window->drainParseQueue(10);
        EXPECT_TRUE(lex()->queuedLines().empty()) << line;
    }
    EXPECT_TRUE(engine->callsTo("Begin^PARSE").empty());
}

} // namespace
