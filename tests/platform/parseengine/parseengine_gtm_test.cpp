#include "enginefixture.h"
#include "gtmcorpus.h"

#include "mtoken.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <vector>

// Standard M as GT.M's compiler judges it: what it accepts must come back without an error
// token, and what it refuses on one line must be flagged where it points.

namespace {

const QString GtmTable = QStringLiteral("sdbGTM");
const QString CacheTable = QStringLiteral("sdbCACHE");

// [start, end) of every class-10 token of a one-line reply.
std::vector<std::pair<int, int>> errorSpans(const QString &reply)
{
    std::vector<std::pair<int, int>> spans;
    const QStringList parts = reply.section(QLatin1Char('^'), 1, 1).split(QLatin1Char('\\'));
    for (int i = 1; i < parts.size(); ++i) {
        const QStringList n = parts[i].split(QLatin1Char(' '));
        if (n.size() == 4 && n[0].toInt() == MToken::Error)
            spans.emplace_back(n[1].toInt(), n[1].toInt() + n[2].toInt());
    }
    return spans;
}

// True when an error token covers `caret`, or ends at it when it lies past the line's end.
bool flaggedAt(const std::vector<std::pair<int, int>> &spans, int caret, int length)
{
    for (const auto &[start, end] : spans) {
        if ((start <= caret && caret < end) || (caret >= length && end == length))
            return true;
    }
    return false;
}

struct Verdict
{
    const char *line;
    int caret; // 0-based column GT.M's compiler points at; Valid when it accepts the line
};
constexpr int Valid = -1;

// GT.M V7.0's verdicts on single lines, each checked with "mumps -noobject" (the test below
// asks it again where it is installed). A line that calls a label it does not define is
// valid: that is a fault of the routine, not of the line.
const std::vector<Verdict> &gtmVerdicts()
{
    static const std::vector<Verdict> verdicts = {
        // nothing on the right of "=", an operator or a comma
        {"\tS X= ;", 5},
        {"\tS X=", 5},
        {"\tS X=A_", 7},
        {"\tS X=\"a\"_", 9},
        {"\tS X=A_ ,Y=1", 7},
        {"\tS X='", 6},
        {"\tS X=-", 6},
        {"\tI A!", 5},
        {"\tS:X_ Y=1", 5},
        {"\tK A,B, Q", 7},
        {"\tS X=1,", 7},
        {"\tW !,", 5},
        {"\tW *", 4},
        {"\tK A,B  Q", Valid},
        {"\tW !!,?10,#", Valid},
        {"\tW !", Valid},
        // empty actual parameters are fine, empty subscripts and arguments are not
        {"\tD X(1,)", Valid},
        {"\tS Y=$$X(1,)", Valid},
        {"\tD X(,1)", Valid},
        // numbers
        {"\tS X=2042.5.01", 11},
        {"\tS X=1..2", 7},
        {"\tS X=1E", 6},
        {"\tS X=1A", 6},
        {"\tS X=1.", Valid},
        {"\tS X=.5", Valid},
        {"\tS X=1.E2", Valid},
        {"\tS X=1.5E3", Valid},
        {"\tF I=1:.5:10", Valid},
        // $SELECT: one condition:value pair per argument
        {"\tS X=$S(A:B:1)", 11},
        {"\tS X=$SELECT(A:B:C)", 16},
        {"\tS X=$S(A:B,C:D:E)", 15},
        {"\tS X=$s(A:$S(B:C):D)", 17},
        {"\tS X=$S(A,B)", 9},
        {"\tS X=$S(A)", 9},
        {"\tS X=$S(A:1,B)", 13},
        {"\tS X=$S(A:B,1:$P(C,D,E))", Valid},
        // blanks inside parentheses
        {"\tS X=$P(X, U,2)", 10},
        {"\tS X(1, 2)=1", 7},
        {"\tD X( 1,2)", 5},
        {"\tS X=$P(X,\" \",2)", Valid},
        // "%" only starts a name
        {"\tS X%=1", 4},
        {"\tS X=A%B", 6},
        {"\tD X%", 4},
        {"\tS ^X%=1", 5},
        {"\tS X=1%", 6},
        {"\tS %X=1 D ^%RI", Valid},
        // "." only in numbers and before a parameter passed by reference
        {"\tS X=A.B", 6},
        {"\tS X=A.B(1)", 6},
        {"\tS X=.", 5},
        {"\tD X(.A)", Valid},
        {"\tS X=$$X(.A,.B)", Valid},
        // routine indirection only inside an entry reference
        {"\tS Y=^@X", 6},
        {"\tS Y=@X^@Y", 7},
        // indirect labels, offsets and routines of entry references
        {"\tD @X^@Y", Valid},
        {"\tD @X+1^@Y", Valid},
        {"\tG @X^@Y", Valid},
        {"\tG:A @X^@Y:B", Valid},
        {"\tJ @X^@Y", Valid},
        {"\tW $T(@X^@Y)", Valid},
        {"\tW $T(@X+1^@Y)", Valid},
        {"\tW $T(+$I(N)^@Y)", Valid},
        {"\tW $$@X^@Y", Valid},
        {"\tD X^@Y", Valid},
        {"\tW $T(+N^@Y)", Valid},
        {"\tD @X^Y", Valid},
        {"\tW $T(@X^Y)", Valid},
        {"\tD @^G(1)", Valid},
        // ZBREAK and ZPRINT take entry references
        {"\tZB X^@Y", Valid},
        {"\tZB @X^@Y", Valid},
        {"\tZP X^@Y", Valid},
        {"\tZP @X^@Y", Valid},
        {"\tZB -X^Y", Valid},
        {"\tZB -*", Valid},
        {"\tZB X^Y:\"W 1\":2", Valid},
    };
    return verdicts;
}

} // namespace

TEST(ParseEngineGtm, FlagsWhatGtmRefusesWhereItPointsAndNothingItAccepts)
{
    ParseEngine engine;
    for (const Verdict &v : gtmVerdicts()) {
        const QString line = QString::fromLatin1(v.line);
        const QString reply = replyFor(engine, line, GtmTable);
        const auto spans = errorSpans(reply);
        if (v.caret == Valid)
            EXPECT_TRUE(spans.empty()) << v.line << " -> " << reply.toStdString();
        else
            EXPECT_TRUE(flaggedAt(spans, v.caret, int(line.size())))
                    << v.line << " not flagged at " << v.caret << " -> " << reply.toStdString();
    }
}

// The table above is GT.M's own judgement, where GT.M is there to ask.
TEST(ParseEngineGtm, VerdictsAreGtmsOwn)
{
    const QString folder = gtmInstallationFolder();
    if (folder.isEmpty())
        GTEST_SKIP() << "the fis-gtm package is not installed";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const std::vector<Verdict> &verdicts = gtmVerdicts();
    QStringList arguments{QStringLiteral("-noobject")};
    for (size_t i = 0; i < verdicts.size(); ++i) {
        const QString name = QStringLiteral("T%1").arg(i);
        QFile file(scratch.filePath(name + QStringLiteral(".m")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name.toLatin1() + "\t;\n" + verdicts[i].line + "\n");
        arguments << file.fileName();
    }
    QProcess compiler;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("gtm_dist"), folder);
    compiler.setProcessEnvironment(environment);
    compiler.setWorkingDirectory(scratch.path());
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(folder + QStringLiteral("/mumps"), arguments);
    ASSERT_TRUE(compiler.waitForFinished(60000));
    const QString output = QString::fromLatin1(compiler.readAll());

    // "At column C, line 2, source module .../Tn.m" (C counts from 1), then the message;
    // only errors count, the compiler's warnings leave a line valid.
    std::map<int, int> carets;
    static const QRegularExpression at(
            QStringLiteral("At column (\\d+), line 2, source module \\S*/T(\\d+)\\.m\\s*\\n%GTM-E-"));
    for (auto match = at.globalMatch(output); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        carets.emplace(m.captured(2).toInt(), m.captured(1).toInt() - 1);
    }
    for (size_t i = 0; i < verdicts.size(); ++i) {
        const auto found = carets.find(int(i));
        EXPECT_EQ(found == carets.end() ? Valid : found->second, verdicts[i].caret) << verdicts[i].line;
    }
}

// ObjectScript allows blanks after commas and around operators and has object members, so
// what standard M refuses there stays clean; what neither accepts is flagged in both.
TEST(ParseEngineGtm, LeavesObjectScriptItsBlanksAndMembers)
{
    const Verdict cases[] = {
        {"\tK A,B, Q", Valid},
        {"\tS X=$P(X, U,2)", Valid},
        {"\tS X=A.B", Valid},
        {"\tS X=$S(A:1, 1:2)", Valid},
        {"\tS Y=^@X", 6},
        {"\tS Y=@X^@Y", 7},
    };
    ParseEngine engine;
    for (const Verdict &v : cases) {
        const QString line = QString::fromLatin1(v.line);
        const QString reply = replyFor(engine, line, CacheTable);
        const auto spans = errorSpans(reply);
        if (v.caret == Valid)
            EXPECT_TRUE(spans.empty()) << v.line << " -> " << reply.toStdString();
        else
            EXPECT_TRUE(flaggedAt(spans, v.caret, int(line.size()))) << v.line << " -> " << reply.toStdString();
    }
}

// Entry references whose label, offset or routine is an expression: the "^" (and a routine
// name after it) is part of the entry reference (class 16), never a global (18), in both
// dialects.
TEST(ParseEngineGtm, PaintsIndirectEntryReferences)
{
    const std::vector<LineReply> bothDialects = {
        {"\tD @X^@Y", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\16 5 1 0\\11 6 1 0\\17 7 1 0"},
        {"\tD @X+1^@Y", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\11 5 1 0\\8 6 1 0\\16 7 1 0\\11 8 1 0\\17 9 1 0"},
        {"\tG:A @X^@Y:B",
         "0 1 0^0 0\\6 1 1 0\\14 2 1 0\\17 3 1 0\\11 5 1 0\\17 6 1 0\\16 7 1 0\\11 8 1 0\\17 9 1 0"
         "\\14 10 1 0\\17 11 1 0"},
        {"\tJ @X^@Y", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\16 5 1 0\\11 6 1 0\\17 7 1 0"},
        {"\tW $T(@X+1^@Y)",
         "0 1 0^0 0\\6 1 1 0\\19 3 2 0\\14 5 1 0\\11 6 1 0\\17 7 1 0\\11 8 1 0\\8 9 1 0\\16 10 1 0"
         "\\11 11 1 0\\17 12 1 0\\14 13 1 0"},
        {"\tW $T(+$I(N)^@Y)",
         "0 1 0^0 0\\6 1 1 0\\19 3 2 0\\14 5 1 0\\11 6 1 0\\19 7 2 0\\14 9 1 0\\17 10 1 0\\14 11 1 0"
         "\\16 12 1 0\\11 13 1 0\\17 14 1 0\\14 15 1 0"},
        {"\tW $$@X^@Y", "0 1 0^0 0\\6 1 1 0\\20 3 2 0\\11 5 1 0\\17 6 1 0\\16 7 1 0\\11 8 1 0\\17 9 1 0"},
        {"\tD @X^Y", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\16 5 2 0"},
        {"\tW $T(@X^Y)", "0 1 0^0 0\\6 1 1 0\\19 3 2 0\\14 5 1 0\\11 6 1 0\\17 7 1 0\\16 8 2 0\\14 10 1 0"},
        // neighbours: a plain routine after a label, and indirection of a global's value
        {"\tD X^@Y", "0 1 0^0 0\\6 1 1 0\\16 3 1 0\\16 4 1 0\\11 5 1 0\\17 6 1 0"},
        {"\tD @^G(1)", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\18 4 2 0\\14 6 1 0\\8 7 1 0\\14 8 1 0"},
        {"\tD @X(^G)", "0 1 0^0 0\\6 1 1 0\\11 3 1 0\\17 4 1 0\\14 5 1 0\\18 6 2 0\\14 8 1 0"},
    };
    expectReplies(GtmTable, bothDialects);
    expectReplies(CacheTable, bothDialects);
    expectReplies(GtmTable, {
        {"\tZB @X^@Y", "0 1 0^0 0\\6 1 2 0\\11 4 1 0\\17 5 1 0\\16 6 1 0\\11 7 1 0\\17 8 1 0"},
        {"\tZP X^@Y", "0 1 0^0 0\\6 1 2 0\\16 4 1 0\\16 5 1 0\\11 6 1 0\\17 7 1 0"},
        {"\tZB -*", "0 1 0^0 0\\6 1 2 0\\11 4 1 0\\16 5 1 0"},
    });
}

// "lenLABEL" never set: 31 where the platform's compiler keeps 31 characters of a label,
// the caller's default elsewhere; a value set always wins.
TEST(ParseEngineGtm, AnswersTheLabelLengthOfThePlatform)
{
    struct Case { const char *table; const char *platform; const char *set; const char *expected; };
    const Case cases[] = {
        {"sdbGTM", nullptr, nullptr, "31"},
        {"sdbCACHE", nullptr, nullptr, "31"},
        {"sdbCACHE.mac", nullptr, nullptr, "31"},
        {"sdbENSEMBLE", nullptr, nullptr, "31"},
        {"sdbIRIS.mac", nullptr, nullptr, "31"},
        {"sdbDSM", nullptr, nullptr, "8"},
        {"sdbMSM.mac", nullptr, nullptr, "8"},
        {nullptr, nullptr, nullptr, "8"},        // nothing known yet
        {nullptr, "GTM", nullptr, "31"},         // only the name table's platform
        {"sdbDSM", "GTM", nullptr, "8"},         // the parse table decides
        {"sdbGTM", nullptr, "8", "8"},           // the server's "PPG" says otherwise
        {"sdbDSM", nullptr, "31", "31"},
        {"sdbCACHE", nullptr, "31", "31"},       // what a Cache routine sets itself
    };
    ParseEngine engine;
    for (const Case &c : cases) {
        EngineDocument doc(engine, c.table ? QString::fromLatin1(c.table) : QString());
        if (c.platform)
            doc.call("SetTable^PName", {QString::fromLatin1(c.platform), true, QString()});
        if (c.set)
            doc.call("PropSet^PARSE", {QStringLiteral("lenLABEL"), QString::fromLatin1(c.set)});
        EXPECT_EQ(doc.call("PropGet^PARSE", {QStringLiteral("lenLABEL"), 8}), c.expected)
                << (c.table ? c.table : "-") << " " << (c.platform ? c.platform : "-");
        // Other properties keep the caller's default.
        EXPECT_EQ(doc.call("PropGet^PARSE", {QStringLiteral("lenLVAR"), 8}), "8");
    }
}
