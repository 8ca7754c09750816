// The in-process engine under the real lexer of a routine document: what the editor sees of
// the engine's label length and of lines that hold nothing to parse.

#include "docfixtures.h"
#include "parseengine.h"
#include "routine.h"
#include "sourcelex.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHash>

#include <algorithm>
#include <memory>

namespace {

// The real engine, counting the entries it is asked for.
class CountingEngine : public IParseEngine
{
public:
    bool connected() const override { return m_engine.connected(); }
    QString xecute(const QString &command) override { return m_engine.xecute(command); }
    QString call(const QString &entryRef, int handle, const QVariantList &args) override
    {
        ++m_calls[entryRef];
        return m_engine.call(entryRef, handle, args);
    }
    int calls(const QString &entryRef) const { return m_calls.value(entryRef); }

private:
    ParseEngine m_engine;
    QHash<QString, int> m_calls;
};

class EngineUnderLexerTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        // The scripted engine goes first, or its uninstall would take this one away.
        scopedEngine.reset();
        counting = std::make_shared<CountingEngine>();
        scopedEngine = std::make_unique<ScopedParseEngine>(counting);
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
        docServices().reportPane = [this] { return &report; };
    }

    std::shared_ptr<Routine> open(const QString &brand, const QStringList &lines)
    {
        link.brand = brand;
        auto routine = openRoutine(&link, QStringLiteral("ROU") + brand, lines.join(QStringLiteral("\r\n")));
        QCoreApplication::processEvents();
        return routine;
    }

    // What the source view does to show a line.
    static void paint(SourceLex *lex, SourceDocument *doc, int line)
    {
        lex->BeginLineScan(doc, line, doc->GetLine(line), 0);
        for (int guard = 0; guard < 100; ++guard) {
            SourceToken token;
            lex->ScanToken(token);
            if (token.TokenType == 0)
                break;
        }
        bool scanNext = false;
        lex->EndLineScan(doc, scanNext);
    }

    std::shared_ptr<CountingEngine> counting;
    FakeDocLink link;
    FakeReportPane report;
};

// GT.M keeps 31 characters of a label: two labels that differ only in their ninth are two
// labels there, and one (the second a duplicate) where labels are cut to 8.
TEST_F(EngineUnderLexerTest, KeepsLongLabelsApartWherePlatformsKeepThem)
{
    struct Case { const char *brand; int lenLabel; QStringList labels; };
    const Case cases[] = {
        {"GTM", 31, {"ROU", "GETTOKEN1", "GETTOKEN2"}},
        {"DSM", 8, {"ROU", "GETTOKEN"}},
    };
    for (const Case &c : cases) {
        auto routine = open(QString::fromLatin1(c.brand),
                            {"ROU\t; labels", "GETTOKEN1\tQ 1", "GETTOKEN2\tQ 2", "\tQ"});
        ASSERT_TRUE(routine) << c.brand;
        SourceLex *lex = routine->lexer();
        EXPECT_EQ(lex->lenLABEL(), c.lenLabel) << c.brand;
        QStringList indexed;
        for (const auto &[label, line] : routine->Labels().entries())
            indexed << label;
        EXPECT_EQ(indexed, c.labels) << c.brand;
        EXPECT_EQ(routine->Labels().line(QStringLiteral("GETTOKEN2")), c.lenLabel > 8 ? 3 : 0) << c.brand;
    }
}

// An empty or blank line comes back from the engine with a token, so the lexer keeps it as
// parsed: painting it again asks the engine nothing and queues nothing.
TEST_F(EngineUnderLexerTest, PaintingAnEmptyOrBlankLineAgainAsksTheEngineNothing)
{
    auto routine = open(QStringLiteral("GTM"), {"ROU\t; blank lines", "", "   \t", "\tQ"});
    ASSERT_TRUE(routine);
    SourceLex *lex = routine->lexer();
    SourceDocument *doc = routine->document();
    ASSERT_TRUE(lex->Enabled());
    const QString begin = QStringLiteral("Begin^PARSE");
    for (int line : {1, 2}) {
        paint(lex, doc, line);
        EXPECT_FALSE(lex->codeLine(line).ParseTokens.empty()) << line;
        const int asked = counting->calls(begin);
        paint(lex, doc, line);
        paint(lex, doc, line);
        EXPECT_EQ(counting->calls(begin), asked) << line;
        const std::vector<int> queued = lex->queuedLines();
        EXPECT_EQ(std::count(queued.begin(), queued.end(), line), 0) << line;
    }
}

} // namespace
