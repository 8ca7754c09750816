#pragma once

// Test fixtures for routine documents and the lexer: the program-wide services they swap
// for fakes, installed before each test and taken back after it.

#include "docfakes.h"
#include "recordingprompt.h"
#include "scriptedengine.h"

#include <gtest/gtest.h>

#include <memory>

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
