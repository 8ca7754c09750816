#pragma once

// Test fixtures for routine documents and the lexer: the program-wide services they swap
// for fakes, installed before each test and taken back after it.

#include "docfakes.h"
#include "recordingprompt.h"
#include "scriptedengine.h"

#include <gtest/gtest.h>

#include "linedata.h"
#include "vanngine.h"

#include <QCoreApplication>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

// The Parse Engine answers from a script and the user prompt records its questions. The
// document services are emptied afterwards, so no fake a test registers outlives it.
// A test that runs TearDown() and SetUp() itself gets a fresh engine and prompt.
class ScriptedDocTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = std::make_shared<ScriptedEngine>();
        scopedEngine = std::make_unique<ScopedParseEngine>(engine);
        prompt = std::make_shared<RecordingPrompt>();
        scopedPrompt = std::make_unique<ScopedUserPrompt>(prompt);
    }
    void TearDown() override
    {
        docServices() = DocServices();
        // Uninstalled here rather than replaced in the next SetUp: replacing would install
        // the new one first and let the old one's uninstall take it away again.
        scopedPrompt.reset();
        scopedEngine.reset();
    }

    std::shared_ptr<ScriptedEngine> engine;
    std::unique_ptr<ScopedParseEngine> scopedEngine;
    std::shared_ptr<RecordingPrompt> prompt;
    std::unique_ptr<ScopedUserPrompt> scopedPrompt;
};

// Routine documents on those services: the collection, and the main window their
// windows ask. The collection closes its documents before the services go.
class RoutineDocTest : public ScriptedDocTest
{
protected:
    void SetUp() override
    {
        ScriptedDocTest::SetUp();
        routines = std::make_unique<Routines>([] { return std::make_shared<Routine>(); });
        docServices().host = &host;
    }
    void TearDown() override
    {
        if (routines) {
            routines->shutdown();
            routines.reset();
        }
        ScriptedDocTest::TearDown();
    }

    // Opens routine `rtn` of namespace `env` with `text` (lines joined by CR LF) over `link`,
    // positioned on its first line.
    std::shared_ptr<Routine> openRoutine(IDocLink *link, const QString &rtn, const QString &text,
                                         int typ = 1, const QString &env = QStringLiteral("USER"))
    {
        QString name = rtn, ns = env, t = text, line = QStringLiteral("+1");
        bool readOnly = false;
        return std::dynamic_pointer_cast<Routine>(routines->Add(link, name, ns, t, readOnly, line, typ, 0));
    }

    std::unique_ptr<Routines> routines;
    FakeHost host;
};

// Line -> references of the breakpoints a routine has indexed there.
inline std::map<int, QStringList> breakpointIndex(Routine &r)
{
    std::map<int, QStringList> out;
    for (int line = 1; line <= r.document()->NumLines(); ++line)
        for (const auto &bp : r.BPsOnLine(line))
            out[line] << bp->Line;
    return out;
}

// Two labelled blocks after a header: A on line 3 (to line 8), B on line 9.
inline QStringList blocksRoutine()
{
    return {"ABC\t; hdr", "\tS X=1", "A\tS Y=2", "\tS Y=3", "\tS Y=4", "\tS Y=5",
            "\tS Y=6", "\tQ", "B\tS Z=1", "\tQ"};
}

// Routine ABC opened in a fake window, with the breakpoints pane, stack and report pane
// the document talks to when its lines move.
class BreakpointDocTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        pane = std::make_unique<FakeBreakpointsPane>(routines.get());
        DocServices &s = docServices();
        s.codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        s.breakpoints = pane.get();
        s.stack = &stack;
        s.reportPane = [this] { return &report; };
    }
    // Opens routine ABC with breakpoints on the given references; what loading sent to the
    // pane is forgotten.
    void open(const QStringList &lines, const QStringList &refs = {})
    {
        for (const QString &ref : refs)
            pane->rows.push_back(enabledBreakpoint(ref, "ABC"));
        r = openRoutine(&link, "ABC", lines.join("\r\n"));
        QCoreApplication::processEvents();
        pane->messages.clear();
    }
    std::map<int, QStringList> index() { return breakpointIndex(*r); }
    // Lines (from 1) that carry the breakpoint mark.
    std::vector<int> markedLines()
    {
        std::vector<int> out;
        for (int line = 1; line <= r->document()->NumLines(); ++line)
            if (r->GetLineFlags(line) & LineData::kBreakpoint)
                out.push_back(line);
        return out;
    }

    std::unique_ptr<FakeBreakpointsPane> pane;
    FakeDocLink link;
    FakeStackPane stack;
    FakeReportPane report;
    std::shared_ptr<Routine> r;
};

// The lexer of a fake code window under the scripted engine, lines parsed on request.
class LexDocTest : public ScriptedDocTest
{
protected:
    void SetUp() override
    {
        ScriptedDocTest::SetUp();
        ngine = std::make_unique<VanNgine>();
        window = std::make_unique<FakeCodeWindow>(true);
        window->setVanNgine(ngine.get());
        window->setParseTimerInterval(1);
        doc()->setLastVisibleLineProvider([this] { return lastVisible; });
        docServices().reportPane = [this] { return &report; };
    }

    SourceDocument *doc() { return window->document(); }
    SourceLex *lex() { return window->Lex(); }

    // Loads the lines as a document load does and forgets the engine calls it made.
    void load(const QStringList &lines)
    {
        window->InitializeDoc();
        doc()->InsertImpl(0, 0, lines.join(QStringLiteral("\r\n")));
        QCoreApplication::processEvents();
        engine->clearCalls();
    }
    quint32 flags(int line) { return quint32(doc()->GetLineData(line, LineData::kFlagSlot)); }
    void setFlags(int line, quint32 value) { doc()->SetLineData(line, LineData::kFlagSlot, qint32(value)); }
    int serial(int line) { return doc()->GetLineData(line, LineData::kSerialSlot); }

    // Scripts the reply of "Begin^PARSE" for the statement starting at `line`.
    void onBegin(int line, const QString &reply)
    {
        const int s = serial(line);
        engine->onMatching(QStringLiteral("Begin^PARSE"),
                           [s](const QVariantList &args) { return args.value(0).toInt() == s; }, reply);
    }
    // Parses one line through the queue, as the parse timer does.
    void parse(int line)
    {
        lex()->QueueLineForParse(line, false, false);
        while (!lex()->queuedLines().empty() && lex()->queuedLines().front() != line)
            lex()->TimerTick();
        lex()->TimerTick();
    }
    bool queued(int line)
    {
        const auto q = lex()->queuedLines();
        return std::find(q.begin(), q.end(), line) != q.end();
    }

    std::unique_ptr<VanNgine> ngine;
    std::unique_ptr<FakeCodeWindow> window;
    FakeReportPane report;
    int lastVisible = 9;
};
