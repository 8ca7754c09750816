// A real GT.M routine of the installed corpus opened in the source view (offscreen) with
// the in-process Parse Engine, on the real link to a scripted server: colouring, the
// label index, and breakpoints, flags and serials through a sequence of edits.

#include "docfakes.h"
#include "gtmcorpus.h"
#include "linedata.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "mserver.h"
#include "recordingprompt.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"
#include "sourceview.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <set>

using namespace mserver;

namespace {

QStringList readRoutine(const QString &name)
{
    QFile file(gtmInstallationFolder() + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLatin1(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

// The labels of a routine as M defines them, worked out independently of the lexer.
std::vector<std::pair<QString, int>> labelsOf(const QStringList &lines)
{
    std::vector<std::pair<QString, int>> labels;
    std::set<QString> seen;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.isEmpty() || QStringLiteral(";{}#$\t ").contains(line[0]))
            continue;
        int end = 0;
        while (end < line.size() && !QStringLiteral(" \t;(").contains(line[end]))
            ++end;
        const QString label = line.left(end);
        if (seen.insert(label).second)
            labels.emplace_back(label, i + 1);
    }
    return labels;
}

// The documents' world of one test: the prompt, host, panes and code windows the routine
// documents call, registered while the test runs.
struct DocumentWorld
{
    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt scopedPrompt{prompt};
    FakeHost host;
    FakeReportPane report;
    Routines routines{[] { return std::make_shared<Routine>(); }};
    FakeBreakpointsPane pane{&routines};
    FakeCodeWindow *window = nullptr;   // the last code window made

    DocumentWorld()
    {
        docServices().codeWindowFactory = [this] {
            auto w = std::make_unique<FakeCodeWindow>(true);
            w->createView(800, 600);
            window = w.get();
            return w;
        };
        docServices().host = &host;
        docServices().breakpoints = &pane;
        docServices().reportPane = [this] { return &report; };
    }
    ~DocumentWorld() { docServices() = DocServices(); }
};

// The accepted link of a GT.M server, past its version check.
bool startGtmSession(MServer &server, MLink &link)
{
    if (!server.startAccepted(link))
        return false;
    link.setBrand("GTM");
    QString info = "GT.M:1:5";
    return link.VersionCheck(info);
}

Fields bp(const QString &sign, const QString &line)
{
    return {"BP", sign, line, "SCANTYPEDEFS", "1", "*", "0", ""};   // "*": the pane's row identifier
}

TEST(RoutineIntegration, GtmRoutineColoursIndexesAndKeepsBreakpointsThroughEdits)
{
    const QStringList lines = readRoutine("SCANTYPEDEFS.m");
    ASSERT_GT(lines.size(), 1500) << "the fis-gtm package is not installed (tools/install-deps.sh)";
    // Line numbers below are 1-based lines of that file.
    ASSERT_TRUE(lines[1456].startsWith("GetToken(EofOk)"));
    ASSERT_TRUE(lines[1512].startsWith("DefBasicType(type)"));

    DocumentWorld world;
    Routines &routines = world.routines;
    FakeBreakpointsPane &pane = world.pane;
    FakeCodeWindow *&window = world.window;

    MServer server({
        answer({"PPG"}, {"PPG", "lenLABEL", "31"}),
        expectAck(),
        expect(bp("-", "GetToken+2")), expect(bp("+", "GetToken+4")),       // two lines inserted
        expect(bp("-", "GetToken+4")), expect(bp("+", "GetToken+2")),       // and deleted again
        expect(bp("-", "DefBasicType+2")), expect(bp("+", "DefBasicype+2")), // label renamed
        expectSilence(100),
    });
    MLink link;
    ASSERT_TRUE(startGtmSession(server, link));
    MLinkDocLink docLink(&link);
    pane.send = [&link](const QStringList &fields) { LinkSession(link).Send(fields); };

    for (const char *ref : {"GetToken+2", "DefBasicType+2"})
        pane.rows.push_back(enabledBreakpoint(ref, "SCANTYPEDEFS"));

    QString rtn = "SCANTYPEDEFS", env = "USER", text = lines.join("\r\n"), initial = "+1";
    bool readOnly = false;
    auto routine = std::dynamic_pointer_cast<Routine>(
        routines.Add(&docLink, rtn, env, text, readOnly, initial, 1, 0));
    ASSERT_TRUE(routine);
    routine->setVisible(true);
    SourceDocument *doc = routine->document();
    SourceLex *lex = routine->lexer();
    ASSERT_EQ(doc->NumLines(), lines.size());
    ASSERT_TRUE(lex->Enabled()) << "the in-process engine is not connected";

    auto coloured = [&](int line) {
        return lines.value(line).isEmpty() || !lex->codeLine(line).ParseTokens.empty();
    };
    // The visible lines are coloured at once; the rest wait in the queue.
    const int lastVisible = window->view()->LastVisibleLine();
    ASSERT_GT(lastVisible, 5);
    for (int line = 0; line <= lastVisible; ++line)
        EXPECT_TRUE(coloured(line)) << "visible line " << line;
    EXPECT_FALSE(coloured(lines.size() - 2));
    const size_t queued = lex->queuedLines().size();
    EXPECT_GE(queued, size_t(lines.size() - lastVisible - 20));

    // One line per tick.
    for (int tick = 0; tick < 10; ++tick)
        lex->TimerTick();
    EXPECT_EQ(lex->queuedLines().size(), queued - 10);
    window->drainParseQueue();
    EXPECT_TRUE(lex->queuedLines().empty());
    int uncoloured = 0;
    for (int line = 0; line < lines.size(); ++line)
        uncoloured += coloured(line) ? 0 : 1;
    EXPECT_EQ(uncoloured, 0);

    // The label index is the routine's labels, in line order.
    EXPECT_EQ(lex->Labels().entries(), labelsOf(lines));

    // Breakpoints are marked where the pane's references point.
    auto marked = [&](int line) { return (routine->GetLineFlags(line) & LineData::kBreakpoint) != 0; };
    EXPECT_TRUE(marked(1459));
    EXPECT_TRUE(marked(1515));
    auto serialsInStep = [&] {
        std::set<int> distinct;
        for (int i = 0; i < doc->NumLines(); ++i) {
            if (doc->GetLineData(i, LineData::kSerialSlot) != lex->serials().at(i))
                return false;
            distinct.insert(lex->serials().at(i));
        }
        return int(distinct.size()) == doc->NumLines();
    };
    EXPECT_TRUE(serialsInStep());

    // Two lines inserted above GetToken+2 move it down with its marker.
    doc->Insert(0, 1458, "\tSet a=1\r\n\tSet b=2\r\n");
    EXPECT_EQ(routine->BPsOnLine(1461).size(), 1u);
    EXPECT_TRUE(marked(1461));
    EXPECT_TRUE(marked(1517));
    EXPECT_TRUE(serialsInStep());

    // Deleting them brings it back.
    doc->Delete(0, 1458, 0, 1460);
    EXPECT_EQ(routine->BPsOnLine(1459).size(), 1u);
    EXPECT_TRUE(marked(1459));
    EXPECT_FALSE(marked(1461));
    EXPECT_TRUE(serialsInStep());

    // Renaming the label rewrites the reference of its block's breakpoint only.
    doc->Delete(8, 1512, 9, 1512);
    EXPECT_EQ(routine->LineOfLabel("DefBasicype"), 1513);
    EXPECT_EQ(routine->BPsOnLine(1515).at(0)->Line, "DefBasicype+2");
    EXPECT_EQ(routine->BPsOnLine(1459).at(0)->Line, "GetToken+2");

    // An edit inside a line reaches the engine: the new command is found there.
    const int length = doc->GetLineLength(1514);
    doc->Insert(length, 1514, " Quit");
    EXPECT_EQ(routine->CommandOfPos(1515, length + 2), 2);
    EXPECT_TRUE(serialsInStep());

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    routines.shutdown();
}

// Most real M code indents with a space, and a label is often followed by one. The lexer
// turns that space into a TAB as it reads each line; the replacement is one change, so the
// breakpoints below the labels neither move nor get sent again.
TEST(RoutineIntegration, LoadingASpaceIndentedRoutineLeavesItsBreakpointsAlone)
{
    DocumentWorld world;
    Routines &routines = world.routines;
    FakeBreakpointsPane &pane = world.pane;
    FakeCodeWindow *&window = world.window;

    MServer server({
        answer({"PPG"}, {"PPG", "lenLABEL", "31"}),
        expectAck(),
        expectSilence(300),
    });
    MLink link;
    ASSERT_TRUE(startGtmSession(server, link));
    MLinkDocLink docLink(&link);
    pane.send = [&link](const QStringList &fields) { LinkSession(link).Send(fields); };

    const QStringList lines{
        "EN ; entry",  " N X,Y",    " S X=1",     " I X S Y=2", " F  Q:Y  S Y=Y+1",
        " D SUB",      " Q",        "SUB W !,1",  " AS Q",      "TAG(A,B) Q A",
    };
    const BreakpointPtr inEntry = enabledBreakpoint("EN+5", "SPACED");
    const BreakpointPtr inSub = enabledBreakpoint("SUB+1", "SPACED");
    inEntry->ID = 7;
    inSub->ID = 9;
    pane.rows = {inEntry, inSub};

    QString rtn = "SPACED", env = "USER", text = lines.join("\r\n"), initial = "+1";
    bool readOnly = false;
    auto routine = std::dynamic_pointer_cast<Routine>(
        routines.Add(&docLink, rtn, env, text, readOnly, initial, 1, 0));
    ASSERT_TRUE(routine);
    routine->setVisible(true);
    window->drainParseQueue();
    QCoreApplication::processEvents();
    window->drainParseQueue();

    SourceDocument *doc = routine->document();
    EXPECT_EQ(doc->GetLine(0), "EN\t; entry");
    EXPECT_EQ(doc->GetLine(1), "\tN X,Y");
    EXPECT_EQ(doc->GetLine(7), "SUB\tW !,1");
    EXPECT_EQ(doc->GetLine(9), "TAG(A,B)\tQ A");
    EXPECT_EQ(routine->BPsOnLine(6).size(), 1u);
    EXPECT_EQ(routine->BPsOnLine(9).size(), 1u);

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(pane.messages.isEmpty()) << pane.messages.join(", ").toStdString();
    ASSERT_EQ(pane.rows.size(), 2u);
    EXPECT_EQ(pane.rows[0]->Line, "EN+5");
    EXPECT_EQ(pane.rows[0]->ID, 7);
    EXPECT_EQ(pane.rows[1]->Line, "SUB+1");
    EXPECT_EQ(pane.rows[1]->ID, 9);
    routines.shutdown();
}

} // namespace
