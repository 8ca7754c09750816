#include "enginefixture.h"

#include "mtoken.h"

#include <QRegularExpression>

#include <vector>

namespace {

const QChar Nul(u'\0');

// The columns (0-based) that a reply marks as errors.
QList<int> errorColumns(const QString &reply)
{
    QList<int> columns;
    const QStringList parts = reply.section(QLatin1Char('^'), 1, 1).split(QLatin1Char('\\'));
    for (int i = 1; i < parts.size(); ++i) {
        const QStringList n = parts[i].split(QLatin1Char(' '));
        if (n[0].toInt() == MToken::Error) {
            for (int c = n[1].toInt(); c < n[1].toInt() + n[2].toInt(); ++c)
                columns << c;
        }
    }
    return columns;
}

} // namespace

TEST(ParseEngine, AnswersTheWorkedExample)
{
    ParseEngine engine;
    EngineDocument doc(engine);
    const QString line = QStringLiteral("START\tS X=1 W X ; note");
    ASSERT_EQ(line.size(), 22);
    doc.append({line});
    EXPECT_EQ(doc.parse(1, line),
              "0 1 0^0 0\\4 0 5 0\\6 6 1 0\\17 8 1 0\\11 9 1 0\\8 10 1 0\\6 12 1 0\\17 14 1 0\\3 16 6 0");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 1), "7,11");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 2), "13,15");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 1, 9), "1");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 1, 3), "0");
    EXPECT_EQ(doc.twoLongs("Pos2CRng^PARSE", 1, 14), "13,15");
    EXPECT_EQ(doc.twoLongs("Pos2CEnd^PARSE", 1, 7), "11");
    EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", 1, 9), QStringLiteral("=X") + Nul + "V1:9");
}

// The token classes of each construct, one line per rule.
TEST(ParseEngine, RepliesWithTheTokensOfEachConstruct)
{
    const std::vector<LineReply> cases = {
        // line start by blanks, argumentless command at the end of the line
        {"  QUIT", "0 1 0^0 0\\6 2 4 0"},
        // label with formal list; full and abbreviated words in any case
        {"LBL(A,B) set X=1 Q", "0 1 0^0 0\\4 0 3 0\\5 3 5 0\\6 9 3 0\\17 13 1 0\\11 14 1 0\\8 15 1 0\\6 17 1 0"},
        // numeric label, comment directly after it
        {"10;x", "0 1 0^0 0\\4 0 2 0\\3 2 2 0"},
        // a comment line at the left margin
        {"; all comment", "0 1 0^0 0\\3 0 13 0"},
        // an empty or blank line is one plain token, so that it counts as parsed
        {"", "0 1 0^0 0\\1 0 0 0"},
        {"  \t ", "0 1 0^0 0\\1 0 4 0"},
        // strings with doubled quotes; WRITE format controls
        {"\tW !,\"a\"\"b\",?10", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\14 4 1 0\\7 5 6 0\\14 11 1 0\\11 12 1 0\\8 13 2 0"},
        // numbers with fraction and exponent, unary minus
        {"\tS X=1.5E3,Y=-.5", "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\8 5 5 0\\14 10 1 0\\17 11 1 0\\11 12 2 0\\8 14 2 0"},
        // globals: plain, naked, extended
        {"\tS ^X(1)=^(2),^|\"E\"|Y=1",
         "0 1 0^0 0\\6 1 1 0\\18 3 2 0\\14 5 1 0\\8 6 1 0\\14 7 1 0\\11 8 1 0\\18 9 1 0\\14 10 1 0\\8 11 1 0"
         "\\14 12 1 0\\14 13 1 0\\18 14 2 0\\7 16 3 0\\18 19 1 0\\18 20 1 0\\11 21 1 0\\8 22 1 0"},
        // intrinsic function, special variable, extrinsic
        {"\tS X=$P(Y,1)_$H+$$F^R(.Z)",
         "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\19 5 2 0\\14 7 1 0\\17 8 1 0\\14 9 1 0\\8 10 1 0\\14 11 1 0"
         "\\11 12 1 0\\19 13 2 0\\11 15 1 0\\20 16 5 0\\14 21 1 0\\14 22 1 0\\17 23 1 0\\14 24 1 0"},
        // pattern match with a string and an alternation
        {"\tI X?1.3N1\"-\"1(1A,1N)",
         "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\15 5 3 0\\15 8 1 0\\15 9 1 0\\7 10 3 0\\15 13 1 0\\14 14 1 0"
         "\\15 15 1 0\\15 16 1 0\\14 17 1 0\\15 18 1 0\\15 19 1 0\\14 20 1 0"},
        // indirection
        {"\tD @X S @Y=1", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\6 6 1 0\\11 8 1 0\\17 9 1 0\\11 10 1 0\\8 11 1 0"},
        // entry references with offset, routine and per-argument postconditional; $TEXT
        {"\tD A^B,C+2:X G ^%E W $T(+1)",
         "0 1 0^0 0\\6 1 1 0\\16 3 1 0\\16 4 2 0\\14 6 1 0\\16 7 1 0\\11 8 1 0\\8 9 1 0\\14 10 1 0\\17 11 1 0"
         "\\6 13 1 0\\16 15 3 0\\6 19 1 0\\19 21 2 0\\14 23 1 0\\11 24 1 0\\8 25 1 0\\14 26 1 0"},
        // postconditionals, argumentless commands followed by two blanks
        {"\tF  Q:X  D  ;c", "0 1 0^0 0\\6 1 1 0\\6 4 1 0\\14 5 1 0\\17 6 1 0\\6 9 1 0\\3 12 2 0"},
        // Z commands (any name starting with Z), GT.M's comment straight after arguments
        {"\tZWRITE X ZSY \"ls\";c", "0 1 0^0 0\\6 1 6 0\\17 8 1 0\\6 10 3 0\\7 14 4 0\\3 18 2 0"},
    };
    expectReplies(QStringLiteral("sdbCACHE"), cases);
}

// What the server's compiler would refuse comes back as class-10 tokens in a normal reply.
TEST(ParseEngine, FlagsErrorsAsErrorTokens)
{
    struct Case { const char *line; QList<int> errors; };
    const Case cases[] = {
        {"\tW \"abc", {3, 4, 5, 6}},              // unterminated string
        {"\tS X=$P(Y,1", {7}},                   // parenthesis never closed
        {"\tS X=1)", {6}},                        // parenthesis never opened
        {"\tFOO X", {1, 2, 3}},                  // unknown command
        {"\tWHILE X", {1, 2, 3, 4, 5}},          // ObjectScript command on GT.M
        {"\tS X=1~2", {6}},                      // character that belongs nowhere
        {"=X", {0, 1}},                           // neither label, line start nor comment
        {"\tS X=$$$M", {5, 6, 7, 8}},            // macros exist only in MAC source
        {"\tI X?", {4}},                          // pattern without atoms
        {"\tQ: X", {2}},                          // postconditional without a condition
        {"\tE W 1", {3, 5}},                      // argumentless command, one blank, more code
        {"\tTC X", {4}},
        {"\tE  W 1", {}},
        {"\tS X=1", {}},
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        const QString reply = replyFor(engine, QString::fromLatin1(c.line), QStringLiteral("sdbGTM"));
        EXPECT_EQ(errorColumns(reply), c.errors) << c.line << " -> " << reply.toStdString();
        EXPECT_FALSE(reply.startsWith(QLatin1String("ERROR:"))) << c.line;
    }
}

// Caché code may use ObjectScript: its commands, braces, objects and procedures.
TEST(ParseEngine, AcceptsObjectScriptOnCache)
{
    struct Case { const char *line; int commands; };
    const Case cases[] = {
        {"\tTRY { S X=1 } CATCH e { W e }", 4},
        {"\tWHILE X>0 { S X=X-1 }", 2},
        {"\tDO { S X=1 } WHILE 0", 3},
        {"\tFOR { CONTINUE }", 2},
        {"\tIF X { W 1 } ELSEIF Y { W 2 } ELSE { W 3 }", 6},
        {"\tS o=##class(Pkg.Cls).%New(),o.Name=\"x\" D o.Save() D ..Go()", 3},
        {"Proc(a,b=1)[x,y] PUBLIC {", 0},
        {"\tTHROW ##class(%Exception.General).%New(\"x\")", 1},
        {"\tRETURN $$$OK", 1},
        {"\tQUIT:X  }", 1},
        {"\tIF x { Q } ELSE { Q:y }", 4},         // "}" after one blank closes the block
        {"\tIF x {S y=1} ELSE {CONTINUE}", 4},
        {"\tS x={\"a\":{\"b\":1}},y=[1,{}] Q", 2}, // braces of a JSON literal are no block
        {"\t$$$ThrowOnError(sc) Q", 2},           // a macro that expands to commands
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine, QStringLiteral("sdbCACHE.mac"));
        const QString line = QString::fromLatin1(c.line);
        doc.append({line});
        EXPECT_EQ(errorColumns(doc.parse(1, line)), QList<int>()) << c.line;
        EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, c.commands + 1), "") << c.line;
        if (c.commands > 0) {
            EXPECT_NE(doc.twoLongs("Cmd2Rng^PARSE", 1, c.commands), "") << c.line;
        }
    }
}

// Commands are numbered in textual order; blanks between commands belong to the next one,
// label, line start, dots and comment to none.
TEST(ParseEngine, NumbersCommandsAsTheServerCounts)
{
    struct Case { const char *line; int position; const char *command; const char *range; };
    const Case cases[] = {
        {"A\tS X=1 W X ; c", 1, "0", ""},
        {"A\tS X=1 W X ; c", 2, "0", ""},
        {"A\tS X=1 W X ; c", 3, "1", "3,7"},
        {"A\tS X=1 W X ; c", 8, "2", "9,11"},
        {"A\tS X=1 W X ; c", 12, "0", ""},
        {"A\tS X=1 W X ; c", 14, "0", ""},
        {"\t. . I X  Q:Y  D ^R", 4, "0", ""},
        {"\t. . I X  Q:Y  D ^R", 6, "1", "6,8"},
        {"\t. . I X  Q:Y  D ^R", 11, "2", "11,13"},
        {"\t. . I X  Q:Y  D ^R", 19, "3", "16,19"},
        {"\t. . I X  Q:Y  D ^R", 30, "0", ""},
        {"\tS X=\"a b\" W $P(Y, 1)", 8, "1", "2,10"},
        {"\tS X=\"a b\" W $P(Y, 1)", 20, "2", "12,21"},
        {"\tF I=1:1:9,20 S X=$$F^R(\"a;b\",.Y) Q:X  W 1", 16, "2", "15,33"},
        {"\tF I=1:1:9,20 S X=$$F^R(\"a;b\",.Y) Q:X  W 1", 36, "3", "35,37"},
        {"\tF I=1:1:9,20 S X=$$F^R(\"a;b\",.Y) Q:X  W 1", 41, "4", "40,42"},
        {"\tS ^|\"NS\"|G(1,$P(Y,\",\",2))=@X I X?1N.E D;c", 35, "2", "31,38"},
        {"\tS ^|\"NS\"|G(1,$P(Y,\",\",2))=@X I X?1N.E D;c", 40, "3", "40,40"},
        {"\tS ^|\"NS\"|G(1,$P(Y,\",\",2))=@X I X?1N.E D;c", 41, "0", ""},
        {"\tIF x { Q } ELSE { Q }", 9, "2", "9,9"},
        {"\tIF x { Q } ELSE { Q }", 13, "3", "13,16"},
        {"\tIF x {S y=1} Q", 8, "2", "8,12"},
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine);
        doc.append({QString::fromLatin1(c.line)});
        EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 1, c.position), c.command) << c.line << " @" << c.position;
        EXPECT_EQ(doc.twoLongs("Pos2CRng^PARSE", 1, c.position), c.range) << c.line << " @" << c.position;
        const QString end = QString::fromLatin1(c.range).section(QLatin1Char(','), 1, 1);
        EXPECT_EQ(doc.twoLongs("Pos2CEnd^PARSE", 1, c.position), end.isEmpty() ? QStringLiteral("-1") : end);
    }
    EngineDocument doc(engine);
    doc.append({QStringLiteral("\tS X=1 W X")});
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 0), "");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 3), "");
}

// "=" only for a plain local with literal subscripts; "$$" for calls; descriptions elsewhere.
TEST(ParseEngine, AnswersTipRequests)
{
    struct Case { const char *line; int column; QString reply; };
    const QString none(Nul);
    const Case cases[] = {
        {"\tS X(1,\"a\")=Y", 4, QStringLiteral("=X(1,\"a\")") + Nul + "V1:4"},
        {"\tS X(1,\"a\")=Y", 13, QStringLiteral("=Y") + Nul + "V1:13"},
        {"\tS X(I)=1", 4, none},                       // subscript is not a literal
        {"\tS X(I)=1", 6, QStringLiteral("=I") + Nul + "V1:6"},
        {"\tS X=^G(1)", 7, none},                      // globals move the naked indicator
        {"\tS X=$$F^R(1)", 8, QStringLiteral("$$F^R") + Nul + "XTip^PARSE(F^R"},
        {"\tS X=$$F(1)", 6, QStringLiteral("$$F") + Nul + "XTip^PARSE(F"},
        {"\tD A^B", 4, QStringLiteral("$$A^B") + Nul + "XTip^PARSE(A^B"},
        {"\tD ^B", 4, QStringLiteral("$$^B") + Nul + "XTip^PARSE(^B"},
        {"\tD A+1^B", 4, none},                        // an offset is no jump target
        {"\tD @X", 5, QStringLiteral("=X") + Nul + "V1:5"},
        {"\tS X=1", 2, QStringLiteral("SET: assigns values to variables") + Nul + "C:SET"},
        {"\tS X=$P(Y,1)", 7, QStringLiteral("$PIECE(string,delimiter[,from[,to]]): delimited pieces") + Nul + "F:P"},
        {"\tS X=$H", 7, QStringLiteral("$HOROLOG: days,seconds") + Nul + "SV:H"},
        {"\tS X=1 ; X", 10, none},                     // comment
        {"A\tQ", 1, none},                             // label
        {"\tS X=1", 40, none},                         // beyond the line
        {"\tS obj.Prop=1", 8, none},                   // object member, not a variable
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine);
        doc.append({QString::fromLatin1(c.line)});
        EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", 1, c.column), c.reply) << c.line << " @" << c.column;
        EXPECT_FALSE(doc.twoLongs("Pos2Tip^PARSE", 1, c.column).section(Nul, 1).contains(QLatin1Char('(')) &&
                     !doc.twoLongs("Pos2Tip^PARSE", 1, c.column).section(Nul, 1).startsWith(QLatin1String("XTip^PARSE(")));
    }
    EngineDocument doc(engine);
    EXPECT_EQ(doc.call("XTip^PARSE", {QStringLiteral("F^R"), QStringLiteral("F(X) ; doubles")}),
              "<b1>F^R<b0>  F(X) ; doubles");
}

// Dot lines: depth, block start on the line above a deeper one, the jump error, and the
// state bit that makes the lexer re-parse a line whose block-start answer went stale.
TEST(ParseEngine, ReportsDotBlocks)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbGTM"));
    const QStringList lines = {QStringLiteral("A\tI X D"), QStringLiteral("\t. S Y=1 D"),
                               QStringLiteral("\t. . S Z=1"), QStringLiteral("\t. . . . Q"),
                               QStringLiteral("\tQ")};
    doc.append(lines);
    EXPECT_EQ(doc.parse(1, lines[0]), "0 1 0^8 0\\4 0 1 0\\6 2 1 0\\17 4 1 0\\6 6 1 0");
    EXPECT_EQ(doc.parse(2, lines[1]), "16 1 0^8 1\\13 1 1 0\\6 3 1 0\\17 5 1 0\\11 6 1 0\\8 7 1 0\\6 9 1 0");
    EXPECT_EQ(doc.parse(3, lines[2]), "32 1 0^8 2\\13 1 3 0\\6 5 1 0\\17 7 1 0\\11 8 1 0\\8 9 1 0");
    // Two levels deeper than the line above: the dots are the error.
    EXPECT_EQ(doc.parse(4, lines[3]), "64 1 0^0 4\\10 1 7 0\\6 9 1 0");
    EXPECT_EQ(doc.parse(5, lines[4]), "0 1 0^0 0\\6 1 1 0");

    // A new dot line under a line last reported as no block start: the line above is stale.
    EngineDocument edit(engine, QStringLiteral("sdbGTM"));
    edit.append({QStringLiteral("\tD")});
    EXPECT_EQ(edit.parse(1, QStringLiteral("\tD")), "0 1 0^0 0\\6 1 1 0");
    edit.append({QStringLiteral("\t. Q")});
    EXPECT_EQ(edit.parse(2, QStringLiteral("\t. Q")), "272 1 0^0 1\\13 1 1 0\\6 3 1 0");
    EXPECT_EQ(edit.parse(1, QStringLiteral("\tD")), "0 1 0^8 0\\6 1 1 0");
    EXPECT_EQ(edit.parse(2, QStringLiteral("\t. Q")), "16 1 0^0 1\\13 1 1 0\\6 3 1 0");
}

// The line store follows inserts, deletes, re-sent serials and in-place edits.
TEST(ParseEngine, KeepsTheLineStoreInStep)
{
    ParseEngine engine;
    EngineDocument doc(engine);
    const auto textSet = [&](int serial, const QString &text, int previous) {
        return doc.call("TextSet^PARSE", {serial, EngineDocument::zeroPad(text), previous});
    };
    EXPECT_EQ(textSet(1, QStringLiteral("\tD"), 0), "");
    EXPECT_EQ(textSet(3, QStringLiteral("\tQ"), 1), "");
    // Inserted between 1 and 3: line 1 now opens a block.
    EXPECT_EQ(textSet(2, QStringLiteral("\t. S X=1"), 1), "");
    EXPECT_TRUE(doc.parse(1, QStringLiteral("\tD")).startsWith(QLatin1String("0 1 0^8 0")));
    // Deleting it ends the block again.
    EXPECT_EQ(doc.call("TextKill^PARSE", {2, 1, 1}), "");
    EXPECT_TRUE(doc.parse(1, QStringLiteral("\tD")).startsWith(QLatin1String("0 1 0^0 0")));
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 2, 2), "-1");
    // A known serial sent again takes its new text and place.
    EXPECT_EQ(textSet(3, QStringLiteral("\t. W 1"), 1), "");
    EXPECT_TRUE(doc.parse(1, QStringLiteral("\tD")).startsWith(QLatin1String("0 1 0^8 0")));
    // Begin^PARSE stores the text it is given: queries answer from it.
    EXPECT_EQ(doc.parse(1, QStringLiteral("\tS A=1,B=2 K A")).left(9), "0 1 0^8 0");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 2), "12,14");
    // Priming answers nothing but makes the line answerable.
    EXPECT_EQ(doc.call("Begin^PARSE", {1, 0}), "");
    EXPECT_EQ(doc.call("Begin^PARSE", {99, 0}).left(6), "ERROR:");
    // Previous serial unknown: refused, nothing stored.
    EXPECT_TRUE(textSet(7, QStringLiteral("\tQ"), 42).startsWith(QLatin1String("ERROR:")));
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 7, 2), "-1");
}

// MAC source: its comments, directives, macros, class calls, embedded SQL and brace blocks.
TEST(ParseEngine, ParsesMacExtras)
{
    const std::vector<LineReply> cases = {
        {"// note", "0 1 0^0 0\\3 0 7 0"},
        {"\tS X=1 // note", "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\8 5 1 0\\3 7 7 0"},
        {"#;note", "0 1 0^0 0\\3 0 6 0"},
        {"\t##; note", "0 1 0^0 0\\3 1 8 0"},
        {"#define OK 1", "0 1 0^0 0\\6 0 7 0"},
        {"#include %occStatus", "0 1 0^0 0\\6 0 8 0\\16 9 10 0"},
        {"\tQ $$$OK", "0 1 0^0 0\\6 1 1 0\\20 3 5 0"},
        {"\tS o=##class(A.B).%New()",
         "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\20 5 7 0\\14 12 1 0\\17 13 1 0\\14 14 1 0\\17 15 1 0"
         "\\14 16 1 0\\14 17 1 0\\17 18 4 0\\14 22 1 0\\14 23 1 0"},
        {"\t&sql(SELECT a INTO :x FROM t) Q", "0 1 0^0 0\\36 1 29 0\\6 31 1 0"},
        {"\t&sql(SELECT \"it's\" FROM t WHERE a=')') Q", "0 1 0^0 0\\36 1 38 0\\6 40 1 0"},
        {"\t/* one */ Q", "0 1 0^0 0\\3 1 9 0\\6 11 1 0"},
        {"\t$$$ThrowOnError(sc) Q", "0 1 0^0 0\\20 1 15 0\\14 16 1 0\\17 17 2 0\\14 19 1 0\\6 21 1 0"},
        {"\tIF x { Q }", "0 1 0^0 0\\6 1 2 0\\17 4 1 0\\14 6 1 0\\6 8 1 0\\14 10 1 0"},
        {"\tQ #;c", "0 1 0^0 0\\6 1 1 0\\3 3 3 0"},
        {"", "0 1 0^0 0\\1 0 0 0"},
    };
    expectReplies(QStringLiteral("sdbCACHE.mac"), cases);
}

TEST(ParseEngine, ReportsMacBraceBlocksAndMultiLineComments)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbCACHE.mac"));
    const QStringList lines = {QStringLiteral("\tIF X {"), QStringLiteral("\t  S Y=1"),
                               QStringLiteral("\t} ELSE {"), QStringLiteral("\t  S Y=2"),
                               QStringLiteral("\t}"), QStringLiteral("\t/* a"),
                               QStringLiteral("\t   b"), QStringLiteral("\t*/ Q")};
    doc.append(lines);
    EXPECT_EQ(doc.parse(1, lines[0]), "0 1 0^8 0\\6 1 2 0\\17 4 1 0\\14 6 1 0");
    EXPECT_EQ(doc.parse(2, lines[1]), "16 1 0^0 1\\6 3 1 0\\17 5 1 0\\11 6 1 0\\8 7 1 0");
    EXPECT_EQ(doc.parse(3, lines[2]), "0 1 0^8 0\\14 1 1 0\\6 3 4 0\\14 8 1 0");
    EXPECT_EQ(doc.parse(4, lines[3]), "16 1 0^0 1\\6 3 1 0\\17 5 1 0\\11 6 1 0\\8 7 1 0");
    EXPECT_EQ(doc.parse(5, lines[4]), "0 1 0^0 0\\14 1 1 0");
    // A comment over three lines is one statement of three lines, whichever line is asked.
    const QString statement = "0 3 0^0 0\\3 1 4 0^0 0\\3 0 5 0^0 0\\3 0 3 0\\6 4 1 0";
    EXPECT_EQ(doc.parse(6, lines[5]), statement);
    EXPECT_EQ(doc.call("Begin^PARSE", {6, 0, EngineDocument::zeroPad(lines[6]), 7}), statement);
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 8, 5), "1");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 7, 3), "0");
    // Still open at the end of the text: the state says so.
    EngineDocument open(engine, QStringLiteral("sdbCACHE.mac"));
    open.append({QStringLiteral("\t/* a"), QStringLiteral("b")});
    EXPECT_EQ(open.parse(1, QStringLiteral("\t/* a")), "512 2 0^0 0\\3 1 4 0^0 0\\3 0 1 0");
}

// Calls the lexer or a confused caller could make: each entry gives its documented
// "cannot answer" value, never an exception and never a crash.
TEST(ParseEngine, AnswersMalformedCallsWithTheirCannotAnswerValues)
{
    ParseEngine engine;
    EngineDocument doc(engine);
    doc.append({QStringLiteral("\tS X=1")});
    const int unknownHandle = doc.handle() + 1000;
    struct Case { const char *entry; int handle; QVariantList args; QString expected; };
    const QString error = QStringLiteral("ERROR:");
    const int h = doc.handle();
    const Case cases[] = {
        {"Cmd2Rng^PARSE", unknownHandle, {1, 1}, QString()},
        {"Cmd2Rng^PARSE", h, {2, 1}, QString()},                       // unknown serial
        {"Cmd2Rng^PARSE", h, {1}, QString()},                          // too few arguments
        {"Cmd2Rng^PARSE", h, {QStringLiteral("one"), 1}, QString()},   // not a number
        {"Pos2CRng^PARSE", h, {1, 1, 1}, QString()},                   // too many
        {"Pos2Cmd^PARSE", unknownHandle, {1, 3}, QStringLiteral("-1")},
        {"Pos2Cmd^PARSE", h, {2, 3}, QStringLiteral("-1")},
        {"Pos2Cmd^PARSE", h, {1, QStringLiteral("3x")}, QStringLiteral("-1")},
        {"Pos2Cmd^PARSE", h, {1, 2.5}, QStringLiteral("-1")},
        {"Pos2CEnd^PARSE", h, {}, QStringLiteral("-1")},
        {"Pos2Tip^PARSE", unknownHandle, {1, 3}, error},
        {"Pos2Tip^PARSE", h, {2, 3}, error},
        {"Begin^PARSE", unknownHandle, {1, 0, QStringLiteral("x"), 1}, error},
        {"Begin^PARSE", h, {2, 0, QStringLiteral("x"), 2}, error},
        {"Begin^PARSE", h, {1, 0, QStringLiteral("x")}, error},
        {"MoreToks^PARSE", h, {1, 1}, error},
        {"TextKill^PARSE", h, {9, 1, 1}, error},
        {"TextSet^PARSE", h, {QStringLiteral("a"), QStringLiteral("x"), 0}, error},
        {"PropGet^PARSE", unknownHandle, {QStringLiteral("lenLABEL"), 8}, QStringLiteral("8")},
        {"PropGet^PARSE", h, {QStringLiteral("lenLABEL"), 8}, QStringLiteral("8")},
        {"NoSuch^PARSE", h, {}, error},
    };
    for (const Case &c : cases) {
        const QString reply = engine.call(QString::fromLatin1(c.entry), c.handle, c.args);
        if (c.expected == error) {
            EXPECT_TRUE(reply.startsWith(error) && !reply.contains(QLatin1String(",Z<")))
                    << c.entry << " " << reply.toStdString();
        } else {
            EXPECT_EQ(reply, c.expected) << c.entry;
        }
    }
    // The line is still there and answers as before.
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 1), "2,6");
}

// Columns and lengths are written from a table below 1000 and digit by digit above it: the
// reply must read the same on both sides of that edge.
TEST(ParseEngine, RepliesWithColumnsAndLengthsOfAnySize)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbGTM"));
    struct Case
    {
        int stringLength; // with its quotes
        const char *tail; // the reply after the WRITE command's token
    };
    const std::vector<Case> cases = {
        {999, "\\7 3 999 0\\14 1002 1 0\\17 1003 1 0"},
        {1000, "\\7 3 1000 0\\14 1003 1 0\\17 1004 1 0"},
        {12345, "\\7 3 12345 0\\14 12348 1 0\\17 12349 1 0"},
    };
    for (const Case &c : cases) {
        const QString line = QStringLiteral("\tW \"") + QString(c.stringLength - 2, QLatin1Char('a'))
                + QStringLiteral("\",Y");
        const int serial = doc.append({line});
        EXPECT_EQ(doc.parse(serial, line), QStringLiteral("0 1 0^0 0\\6 1 1 0") + QLatin1String(c.tail))
                << c.stringLength;
    }
}

TEST(ParseEngine, SurvivesHugeLinesNulsAndForeignCharacters)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbGTM"));
    // A million characters: answered in one pass, no recursion to run out of.
    QString huge = QStringLiteral("\tS X=") + QString(200000, QLatin1Char('(')) + QString(800000, QLatin1Char('1'));
    doc.append({huge});
    const QString reply = doc.parse(1, huge);
    EXPECT_TRUE(reply.startsWith(QLatin1String("0 1 0^0 0\\6 1 1 0")));
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 1), QStringLiteral("2,1000005"));

    // A NUL ends the line as the editor shows it; what follows it is not parsed.
    const QString withNul = QStringLiteral("\tS X=1") + Nul + QStringLiteral("garbage");
    doc.append({withNul});
    EXPECT_EQ(doc.parse(2, withNul), "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\8 5 1 0");

    // Non-Latin characters: fine in strings and comments, an error in code.
    const QString foreign = QStringLiteral("\tW \"\u65e5\u672c\" ; \u00e9t\u00e9 \U0001F600");
    doc.append({foreign});
    EXPECT_EQ(doc.parse(3, foreign), "0 1 0^0 0\\6 1 1 0\\7 3 4 0\\3 8 8 0"); // columns count UTF-16 units, as the editor does
    const QString foreignCode = QStringLiteral("\tS \u00e9=1");
    doc.append({foreignCode});
    EXPECT_EQ(errorColumns(doc.parse(4, foreignCode)), QList<int>{3});
    EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", 4, 4), QString(Nul));
}

TEST(ParseEngine, HandsOutHandlesAndAnswersItsCommandLines)
{
    ParseEngine engine;
    EXPECT_EQ(engine.xecute(QStringLiteral("w $$^VERSION")), ParseEngine::versionText());
    EXPECT_EQ(ParseEngine::versionText(), QStringLiteral("%1.%2.%3")
                                                  .arg(ParseEngine::VersionMajor)
                                                  .arg(ParseEngine::VersionMinor)
                                                  .arg(ParseEngine::VersionRevision / 100));
    EXPECT_EQ(engine.xecute(QStringLiteral("W $S")), "");
    EXPECT_TRUE(engine.xecute(QStringLiteral("K ^X")).startsWith(QLatin1String("ERROR:")));
    EXPECT_TRUE(engine.connected());

    const QString first = engine.xecute(QStringLiteral("w $$NewHand^PARSE"));
    const QString second = engine.xecute(QStringLiteral("w $$NewHand^PARSE"));
    EXPECT_EQ(first, "1");
    EXPECT_EQ(second, "2");
    // Each handle has its own properties and text.
    engine.call(QStringLiteral("PropSet^PARSE"), 1, {QStringLiteral("lenLABEL"), 31});
    EXPECT_EQ(engine.call(QStringLiteral("PropGet^PARSE"), 1, {QStringLiteral("lenLABEL"), 8}), "31");
    EXPECT_EQ(engine.call(QStringLiteral("PropGet^PARSE"), 2, {QStringLiteral("lenLABEL"), 8}), "8");
    EXPECT_EQ(engine.call(QStringLiteral("SetTable^PName"), 1, {QStringLiteral("GTM"), true, QString()}), "");
    EXPECT_EQ(engine.call(QStringLiteral("FreeHand^PARSE"), 1, {}), "");
    EXPECT_TRUE(engine.call(QStringLiteral("FreeHand^PARSE"), 1, {}).startsWith(QLatin1String("ERROR:")));
    EXPECT_EQ(engine.handleCount(), 1);

    // Every handle in use: "ERROR:" rather than a handle that is already taken.
    for (int i = engine.handleCount(); i < ParseEngine::MaxHandles; ++i)
        engine.xecute(QStringLiteral("w $$NewHand^PARSE"));
    EXPECT_TRUE(engine.xecute(QStringLiteral("w $$NewHand^PARSE")).startsWith(QLatin1String("ERROR:")));
    engine.call(QStringLiteral("FreeHand^PARSE"), 500, {});
    EXPECT_EQ(engine.xecute(QStringLiteral("w $$NewHand^PARSE")), "500");
}

TEST(ParseEngine, IsTheDefaultEngineOfTheFactory)
{
    const std::shared_ptr<IParseEngine> engine = makeParseEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine, makeParseEngine());
    EXPECT_EQ(engine.get(), ParseEngine::instance().get());
    setParseEngineFactory([] { return std::shared_ptr<IParseEngine>(); });
    EXPECT_FALSE(makeParseEngine());
    setParseEngineFactory({});
    EXPECT_EQ(makeParseEngine(), engine);
}

// Random lines made of the characters that steer the parser: whatever the text, the reply
// follows the grammar, tokens stay inside the line in order, and every query answers.
TEST(ParseEngine, KeepsItsRepliesWellFormedOnRandomLines)
{
    const QString alphabet = QStringLiteral("SsDdWwQqIiFfXxZz %^$@\"'()[]{}|,:;.?!#&*/\\_=<>+-019\tE")
            + QChar(0x00e9) + QChar(0x65e5);
    quint32 seed = 12345;
    auto next = [&seed](int bound) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % quint32(bound));
    };
    ParseEngine engine;
    for (const char *table : {"sdbGTM", "sdbCACHE", "sdbCACHE.mac"}) {
        EngineDocument doc(engine, QString::fromLatin1(table));
        for (int i = 0; i < 600; ++i) {
            QString line;
            const int length = next(40);
            for (int k = 0; k < length; ++k)
                line += alphabet.at(next(int(alphabet.size())));
            const int serial = doc.append({line});
            const QString reply = doc.parse(serial, line);
            const QStringList items = reply.split(QLatin1Char('^'));
            ASSERT_GE(items.size(), 2) << reply.toStdString();
            const QStringList header = items[0].split(QLatin1Char(' '));
            ASSERT_EQ(header.size(), 3);
            EXPECT_EQ(header[0].toInt() & ~MState::AllowedMask, 0);
            EXPECT_EQ(header[1].toInt(), items.size() - 1);
            int previousEnd = 0;
            const QStringList parts = items[1].split(QLatin1Char('\\'));
            EXPECT_GE(parts.size(), 2) << "no token: " << line.toStdString();
            for (int p = 1; p < parts.size(); ++p) {
                const QStringList n = parts[p].split(QLatin1Char(' '));
                ASSERT_EQ(n.size(), 4) << reply.toStdString();
                EXPECT_GE(n[1].toInt(), previousEnd) << line.toStdString();
                // Only an empty line has a token of length 0.
                EXPECT_GE(n[2].toInt(), line.isEmpty() ? 0 : 1) << line.toStdString();
                previousEnd = n[1].toInt() + n[2].toInt();
                EXPECT_LE(previousEnd, line.size()) << line.toStdString();
            }
            for (int column = 0; column <= line.size() + 1; ++column) {
                const QString tip = doc.twoLongs("Pos2Tip^PARSE", serial, column);
                EXPECT_TRUE(tip.contains(QChar(0))) << line.toStdString();
                EXPECT_NE(doc.twoLongs("Pos2Cmd^PARSE", serial, column), "-1");
            }
            EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", serial, 99), "");
        }
    }
}

// A "}" that follows an argumentless command or an argument closes the block: the brace
// depth of the lines below must not drift.
TEST(ParseEngine, KeepsMacBraceDepthWhenBlocksCloseAfterCommands)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbCACHE.mac"));
    const QStringList lines = {QStringLiteral("\tIF x { Q } ELSE { Q }"), QStringLiteral("\tIF y {S z=1}"),
                               QStringLiteral("\tS x={\"a\":1}"), QStringLiteral("\tQ")};
    doc.append(lines);
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(doc.parse(i + 1, lines[i]).startsWith(QLatin1String("0 1 0^0 0\\"))) << i;
}

// Extended references nest inside one another; however deep a line nests them, the parse
// must not run out of stack.
TEST(ParseEngine, SurvivesDeeplyNestedExtendedReferences)
{
    ParseEngine engine;
    EngineDocument doc(engine, QStringLiteral("sdbGTM"));
    for (const char *opener : {"^|", "^[", "$T(^|"}) {
        const QString line = QStringLiteral("\tS X=") + QString::fromLatin1(opener).repeated(200000) + QStringLiteral(" Q");
        const int serial = doc.append({line});
        EXPECT_TRUE(doc.parse(serial, line).startsWith(QLatin1String("0 1 0^0 0\\6 1 1 0"))) << opener;
        EXPECT_FALSE(errorColumns(doc.parse(serial, line)).isEmpty()) << opener;
        EXPECT_TRUE(doc.twoLongs("Cmd2Rng^PARSE", serial, 1).startsWith(QLatin1String("2,"))) << opener;
        EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", serial, 8).section(QChar(0), 0, 0), QString()) << opener;
    }
}
