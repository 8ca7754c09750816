#include "enginefixture.h"

#include "mtoken.h"

#include <vector>

// ObjectScript and MAC source (routines of type 2/3, "ParseTable" ending ".mac"): no compiler
// here checks it, so these tables hold what the server's compiler accepts and counts.

namespace {

const QString MacTable = QStringLiteral("sdbCACHE.mac");

// The text of every class-10 token of a one-line reply, joined by "|".
QString errorTexts(const QString &line, const QString &reply)
{
    QStringList texts;
    const QStringList parts = reply.section(QLatin1Char('^'), 1, 1).split(QLatin1Char('\\'));
    for (int i = 1; i < parts.size(); ++i) {
        const QStringList n = parts[i].split(QLatin1Char(' '));
        if (n[0].toInt() == MToken::Error)
            texts << line.mid(n[1].toInt(), n[2].toInt());
    }
    return texts.join(QLatin1Char('|'));
}

// Every command's "start,end", in order, joined by blanks.
QString commandRanges(EngineDocument &doc, int serial)
{
    QStringList ranges;
    for (int command = 1;; ++command) {
        const QString range = doc.twoLongs("Cmd2Rng^PARSE", serial, command);
        if (range.isEmpty())
            return ranges.join(QLatin1Char(' '));
        ranges << range;
    }
}

} // namespace

// Valid ObjectScript gives no error token, and its commands are the ones the server counts.
TEST(ParseEngineObjectScript, AcceptsObjectScriptAndNumbersItsCommands)
{
    struct Case { const char *line; const char *ranges; };
    const Case cases[] = {
        // class methods, members, instance variables, $this
        {"\tS x=##class(Pkg.Cls).Method(1,\"a\")", "2,35"},
        {"\tD ##class(Pkg.Cls).Method(1)", "2,29"},
        {"\tS x=..Prop,y=i%Prop,z=$this", "2,28"},
        {"\tD ..Method(1) S ..Prop=2", "2,14 16,25"},
        {"\tS x=obj.Prop.SubProp,y=o.P1.P2.M(1).P3", "2,39"},
        {"\tD obj.Method() D o.P1.M(.x,,1)", "2,15 17,31"},
        {"\tS x=..#CONST,y=##class(A.B).#PARAM,z=..%ClassName(1)", "2,53"},
        {"\tS r%Prop=1,x=i%Prop(1)", "2,23"},
        {"\tD $this.Method() S x=$SYSTEM.Class.Method()", "2,17 19,44"},
        {"\tS x=##super() D ##super()", "2,14 16,26"},
        {"\tS x={}.%FromJSON(y),z=[].%Push(1),w={\"a\":1}", "2,44"},
        // blocks
        {"\tIF x=1 {", "2,7"},
        {"\t} ELSEIF x=2 {", "4,13"},
        {"\t} ELSE {", "4,7"},
        {"\tFOR i=1:1:10 {", "2,13"},
        {"\tWHILE (x<10) { S x=x+1 }", "2,13 17,23"},
        {"\tDO {S x=1} WHILE x<1", "2,3 6,10 13,21"},
        {"\t} WHILE (x<10)", "4,15"},
        {"\ttry { set x=1/0 } catch e { write e.Name }", "2,4 8,16 20,26 30,41"},
        {"\tif x=1 { quit } elseif x=2 { quit } else { quit }", "2,7 11,14 18,27 31,34 38,41 45,48"},
        {"\tIF x{", "2,5"},                            // no blank before the block
        {"\t}ELSE{", "3,6"},
        {"\t}ELSEIF y{", "3,10"},
        {"\tFOR i=1:1:3{ W i }", "2,12 15,17"},
        {"\tTRY{ THROW ex } CATCH e{ W e.Name }", "2,4 7,14 18,24 27,34"},
        {"\tIF (a=1)||(b=2),c&&d {", "2,21"},          // short-circuit operators
        {"\tQ:x=1  }", "2,6"},
        {"\tWHILE 1 {Q:x  }", "2,8 11,13"},
        // the other ObjectScript commands
        {"\tTHROW ##class(%Exception.General).%New(\"E\",1)", "2,46"},
        {"\tThrow:x ##class(%Exception.StatusException).CreateFromStatus(sc)", "2,65"},
        {"\tRETURN:x 1 RET x", "2,11 13,17"},
        {"\tQUIT:x  CONTINUE", "2,7 10,17"},
        {"\tLock +^X(1):5 Else  Quit", "2,14 16,19 22,25"},
        {"\tZN \"USER\" S $Namespace=\"USER\"", "2,10 12,30"},
        // functions, macros, process-private globals
        {"\tS x=$LISTBUILD(1,2),y=$LB(3,,\"c\"),z=$LI(x,1)", "2,45"},
        {"\tS x=$ZF(-1,\"ls\"),y=$ZCVT(y,\"U\"),z=$E(y,*-1)", "2,44"},
        {"\tS x=$CASE(y,1:\"a\",2:\"b\",:\"c\"),z=$SELECT(y=1:\"a\",1:\"b\")", "2,55"},
        {"\tS sc=$$$OK I $$$ISERR(sc) Q", "2,11 13,26 28,28"},
        {"\tQuit:$$$ISERR(sc) sc", "2,21"},
        {"\tS tSC=$$$ERROR($$$GeneralError,\"x\")", "2,36"},
        {"\tD $$$AssertEquals(1,1,\"x\")", "2,27"},
        {"\tK ^||tmp S ^||ppg(1)=^||ppg(2)", "2,9 11,31"},
        // comments and embedded code
        {"\tS x=1 /* c */ S y=2 // c", "2,6 16,20"},
        {"\tS url=\"http://x\" ##; c", "2,17"},
        {"\t&sql(SELECT Name INTO :n FROM Sample.Person WHERE ID=:id)", "2,58"},
        {"\t&js<alert('x');> Q", "2,17 19,19"},
        {"\t&html<<b>hi</b>>", "2,17"},
        // blanks around operators and after commas
        {"\tSet x = 1, y = a * -b Quit", "2,22 24,27"},
        {"\tIf (a = 1) || (b '= 2) {", "2,23"},
        {"\tFor i = 1:1:10 {", "2,15"},
        {"\tSet tSC = ##class(A.B).M() Quit:$$$ISERR(tSC) tSC", "2,27 29,50"},
        {"\tWrite \"a\", !, x _ \"b\",!  Quit", "2,24 27,30"},
        {"\tSet x = 1 // c", "2,10"},
        {"\tSet x = 1 &sql(SELECT 1)", "2,10 12,25"},
        {"\tSet y = [1,2] Quit", "2,14 16,19"},
        // procedures
        {"Label(a,b) PUBLIC {", ""},
        {"Label(a=1,&b) PRIVATE {", ""},
        {"Proc(a,b) [x,y] PUBLIC {", ""},
        {"Label() PUBLIC { Quit 1 }", "18,23"},
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine, MacTable);
        const QString line = QString::fromLatin1(c.line);
        doc.append({line});
        EXPECT_EQ(errorTexts(line, doc.parse(1, line)), QString()) << c.line;
        EXPECT_EQ(commandRanges(doc, 1), QString::fromLatin1(c.ranges)) << c.line;
    }
}

// The tokens of the constructs that GT.M does not have.
TEST(ParseEngineObjectScript, RepliesWithTheTokensOfObjectScriptConstructs)
{
    expectReplies(MacTable, {
        // "||" is one operator
        {"\tIF (a=1)||(b=2) {",
         "0 1 0^8 0\\6 1 2 0\\14 4 1 0\\17 5 1 0\\11 6 1 0\\8 7 1 0\\14 8 1 0\\11 9 2 0\\14 11 1 0"
         "\\17 12 1 0\\11 13 1 0\\8 14 1 0\\14 15 1 0\\14 17 1 0"},
        // "i%Prop" is one name
        {"\tS x=i%Prop(1)", "0 1 0^0 0\\6 1 1 0\\17 3 1 0\\11 4 1 0\\17 5 6 0\\14 11 1 0\\8 12 1 0\\14 13 1 0"},
        // a block that follows its condition or word without a blank still opens
        {"\tIF x{", "0 1 0^8 0\\6 1 2 0\\17 4 1 0\\14 5 1 0"},
        {"\t}ELSE{", "0 1 0^0 0\\14 1 1 0\\6 2 4 0\\14 6 1 0"},
        // public list after a blank
        {"Proc(a,b) [x,y] PUBLIC {", "0 1 0^8 0\\4 0 4 0\\5 4 5 0\\5 10 5 0\\6 16 6 0\\14 23 1 0"},
    });
}

// What the server's compiler refuses is still flagged in ObjectScript.
TEST(ParseEngineObjectScript, StillFlagsErrors)
{
    struct Case { const char *line; const char *errors; };
    const Case cases[] = {
        {"\tS x=1 y", "y"},                    // an operand after a blank starts no expression
        {"\tS x=$P(y,1", "("},
        {"\tW{", "{"},                         // no block after WRITE
        {"\tFOO x", "FOO"},
        {"\tS x=\"a", "\"a"},
        {"Proc(a,b) [x,y PUBLIC", "[x,y PUBLIC"},
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine, MacTable);
        const QString line = QString::fromLatin1(c.line);
        doc.append({line});
        EXPECT_EQ(errorTexts(line, doc.parse(1, line)), QString::fromLatin1(c.errors)) << c.line;
    }
}

// "=" only where a plain variable is shown; object members, instance variables, class names
// and parameters are no variables of the stopped process.
TEST(ParseEngineObjectScript, AnswersObjectTips)
{
    const QChar Nul(u'\0');
    const QString none(Nul);
    struct Case { const char *line; int column; QString reply; };
    const Case cases[] = {
        {"\tS x=..Prop", 8, none},
        {"\tS x=i%Prop", 6, none},
        {"\tS x=i%Prop", 8, none},
        {"\tS x=obj.Prop.Sub", 10, none},
        {"\tS x=obj.Prop.Sub", 15, none},
        {"\tS x=obj.Prop", 6, QStringLiteral("=obj") + Nul + "V1:6"},     // the variable itself
        {"\tD obj.Method()", 9, none},
        {"\tS x=##class(Pkg.Cls).M(y)", 15, none},
        {"\tS x=##class(Pkg.Cls).M(y)", 19, none},
        {"\tS x=##class(%Library.String).%New()", 15, none},
        {"\tS x=##class(Pkg.Cls).M(y)", 25, QStringLiteral("=y") + Nul + "V1:25"},
        {"\tS x=..#CONST", 10, none},
        {"\tS x=##class(A).#P", 18, none},
        {"\tS x=$$$OK", 7, none},
        {"\tI $$$ISERR(sc) Q", 13, QStringLiteral("=sc") + Nul + "V1:13"},
        {"\tS x=$SYSTEM.Class.Method()", 15, none},
        {"\t&sql(SELECT a INTO :x FROM t)", 22, none},
        {"\t} CATCH ex {", 10, QStringLiteral("=ex") + Nul + "V1:10"},
        {"\tRETURN x", 3, QStringLiteral("RETURN: leaves the method or procedure") + Nul + "C:RETURN"},
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine, MacTable);
        doc.append({QString::fromLatin1(c.line)});
        EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", 1, c.column), c.reply) << c.line << " @" << c.column;
    }
}

// Embedded SQL and JavaScript run over several lines: one statement, carried by state bit 9,
// with no error on the lines inside it and the block depth kept.
TEST(ParseEngineObjectScript, ChainsEmbeddedCodeOverLines)
{
    ParseEngine engine;
    EngineDocument doc(engine, MacTable);
    const QStringList lines = {QStringLiteral("Main() PUBLIC {"), QStringLiteral("\t&sql(SELECT Name"),
                               QStringLiteral("\t     INTO :n"), QStringLiteral("\t     FROM T)"),
                               QStringLiteral("\tIF SQLCODE {"), QStringLiteral("\t\tQUIT"),
                               QStringLiteral("\t}"), QStringLiteral("\t&js<"),
                               QStringLiteral("\t  f(\"a)\");"), QStringLiteral("\t> W 1"),
                               QStringLiteral("}")};
    doc.append(lines);
    EXPECT_EQ(doc.parse(1, lines[0]), "0 1 0^8 0\\4 0 4 0\\5 4 2 0\\6 7 6 0\\14 14 1 0");
    const QString sql = "16 3 0^0 1\\36 1 16 0^0 1\\36 0 13 0^0 1\\36 0 13 0";
    EXPECT_EQ(doc.parse(2, lines[1]), sql);
    EXPECT_EQ(doc.call("Begin^PARSE", {2, 0, EngineDocument::zeroPad(lines[2]), 3}), sql);
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 2, 1), "2,17");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 3, 8), "0");
    EXPECT_EQ(doc.parse(5, lines[4]), "16 1 0^8 1\\6 1 2 0\\17 4 7 0\\14 12 1 0");
    EXPECT_EQ(doc.parse(8, lines[7]), "16 3 0^0 1\\36 1 4 0^0 1\\36 0 11 0^0 1\\36 0 2 0\\6 3 1 0\\8 5 1 0");
    EXPECT_EQ(doc.parse(11, lines[10]), "0 1 0^0 0\\14 0 1 0");

    // Still open at the end of the text: the state says so.
    EngineDocument open(engine, MacTable);
    open.append({QStringLiteral("\t&sql(SELECT"), QStringLiteral("\t  a")});
    EXPECT_EQ(open.parse(1, QStringLiteral("\t&sql(SELECT")), "512 2 0^0 0\\36 1 11 0^0 0\\36 0 4 0");

    // Closing it on the first line ends the statement there.
    EXPECT_EQ(open.parse(1, QStringLiteral("\t&sql(SELECT)")), "0 1 0^0 0\\36 1 12 0");
}
