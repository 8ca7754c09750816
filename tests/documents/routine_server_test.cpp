// A routine document on the real link, against the scripted M server: the parser
// properties it fetches when it loads, the save transaction and the release of the lock,
// field by field and with their acknowledgements.

#include "docfixtures.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "mserver.h"
#include "routine.h"
#include "routines.h"

#include <gtest/gtest.h>

using namespace mserver;

namespace {

// A Parse Engine that answers every call as the scripted one does by default, and keeps
// nothing.
class SilentEngine : public IParseEngine
{
public:
    bool connected() const override { return true; }
    QString xecute(const QString &command) override
    {
        return command == QLatin1String("w $$NewHand^PARSE") ? QStringLiteral("1") : QString();
    }
    QString call(const QString &, int, const QVariantList &) override { return QString(); }
};

class RoutineOnServer : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(true); };
    }

    // Accepts the server and agrees on protocol `protocol` with a Caché server.
    void connect(MServer &server, int protocol)
    {
        ASSERT_TRUE(server.startAccepted(link));
        link.setBrand("CACHE");
        QString info = QStringLiteral("Cache:1:%1").arg(protocol);
        ASSERT_TRUE(link.VersionCheck(info));
    }
    std::shared_ptr<Routine> open(const QString &text) { return openRoutine(&docLink, "ABC", text); }
    QStringList propSets()
    {
        QStringList out;
        for (const auto &c : engine->callsTo("PropSet^PARSE"))
            out << c.text(0) + "=" + c.text(1);
        return out;
    }

    MLink link;
    MLinkDocLink docLink{&link};
};

TEST_F(RoutineOnServer, LoadsParserPropertiesSavesAndReleasesTheLock)
{
    MServer server({
        // "!PPG" as the ANSI frame the server expects, then its pairs.
        expectRaw(QByteArray::fromHex("0000000E00010000000821505047")),
        send({"!PPG"}),
        send({"PPG", "lenLABEL", "31", "lenLVAR", "63"}),
        expectAck(),
        answer({"SIP", "1", "ABC", "USER", "ABC\t; x\r\n\tS Y=1\r\n\tQ"},
               {"SIP", "", "", "ABC\t; saved\r\n\tS Y=1\r\n\tQ"}),
        // Reloading the stored text asks for the properties again before the save's
        // own acknowledgement goes out.
        answer({"PPG"}, {"PPG", "lenLABEL", "31"}),
        expectAck(),
        expectAck(),
        expect({"SIU", "1", "ABC", "USER"}),
        expectSilence(100),
    });
    connect(server, 5);

    auto r = open("ABC\t; x\r\n\tQ");
    EXPECT_EQ(propSets(), (QStringList{"ParseTable=sdbCACHE", "lenLABEL=31", "lenLVAR=63"}));

    r->document()->Insert(1, 1, "S Y=1\r\n\t");
    ASSERT_TRUE(r->Modified());
    EXPECT_TRUE(r->SaveDoc());
    EXPECT_FALSE(r->Modified());
    EXPECT_EQ(r->TextOfLine(1), "ABC\t; saved");

    r->setHoldsLock(true);
    EXPECT_TRUE(routines->Remove(r->Key(), false, false));
    EXPECT_FALSE(r->HoldsLock());

    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    const QList<Fields> received = server.received();
    ASSERT_FALSE(received.isEmpty());
    EXPECT_TRUE(received.contains(Fields{"!SIP", "1", "ABC", "USER", "ABC\t; x\r\n\tS Y=1\r\n\tQ"}));
    EXPECT_EQ(received.last(), (Fields{"SIU", "1", "ABC", "USER"}));
}

TEST_F(RoutineOnServer, ARefusedPropertyRequestStillOpensTheRoutine)
{
    MServer server({
        answer({"PPG"}, {"MSG", "Server busy"}),
        expectAck(),
        expectSilence(100),
    });
    connect(server, 6);

    auto r = open("ABC\t; x\r\n\tQ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->TextOfLine(2), "\tQ");
    EXPECT_EQ(propSets(), QStringList{"ParseTable=sdbCACHE"});
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

TEST_F(RoutineOnServer, ASaveAnsweredWithAnEmptyStoredTextKeepsTheTextModified)
{
    MServer server({
        expectRaw(QByteArray::fromHex("0000000E00010000000821505047")),
        send({"!PPG"}),
        send({"PPG", "lenLABEL", "31"}),
        expectAck(),
        answer({"SIP", "1", "ABC", "USER", "ABC\t; x\r\n\tS Y=1\r\n\tQ"}, {"SIP", "", "", ""}),
        expectAck(),
        expectSilence(100),
    });
    connect(server, 5);

    auto r = open("ABC\t; x\r\n\tQ");
    r->document()->Insert(1, 1, "S Y=1\r\n\t");
    ASSERT_TRUE(r->Modified());
    EXPECT_FALSE(r->SaveDoc());

    EXPECT_TRUE(r->Modified());
    EXPECT_EQ(r->document()->NumLines(), 3);
    EXPECT_EQ(r->TextOfLine(2), "\tS Y=1");
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_TRUE(prompt->asked[0].text.contains("could not be confirmed")) << prompt->asked[0].text.toStdString();
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// The link takes no frame over its bound, and the reply to "SIP" carries the stored text
// back: a routine longer than that is not sent, or the server would store it and the
// session end on its reply. The user hears the routine's length and the longest that can
// be saved; the text stays as typed, still modified, and the session goes on.
TEST_F(RoutineOnServer, ARoutineLongerThanAFrameCarriesIsNotSentAndTheSessionGoesOn)
{
    // Every line of the routine passes through the engine: one that records the calls
    // would keep the whole text twice over.
    scopedEngine.reset();
    scopedEngine = std::make_unique<ScopedParseEngine>(std::make_shared<SilentEngine>());
    MServer server({answer({"NS"}, {"NS", "USER"}), expectAck(), expectSilence(100)});
    server.setStepTimeoutMs(60000);
    connect(server, 4);

    // 2,048 lines of 16,384 characters: a little over 32 Mi characters in all.
    std::shared_ptr<Routine> r;
    {
        const QString line = QStringLiteral("\t; ") + QString(16384 - 3, QLatin1Char('x'));
        QStringList lines(2048, line);
        lines.prepend(QStringLiteral("ABC\t; long"));
        r = open(lines.join(QStringLiteral("\r\n")));
    }
    ASSERT_TRUE(r);
    r->document()->Insert(1, 1, "S Y=1\r\n\t");
    const qsizetype typed = r->document()->Text().size();
    ASSERT_GT(typed, 32 * 1024 * 1024);

    EXPECT_FALSE(r->SaveDoc());
    ASSERT_EQ(prompt->asked.size(), 1u);
    // ["!SIP", "1", "ABC", "USER", text] is 38 units besides the text.
    EXPECT_EQ(prompt->asked[0].text,
              QStringLiteral("ABC.int is too long to be saved.\r\rIts text is %1 characters long; a routine of "
                             "at most 33554394 characters can be saved.\r\rYour text is kept unchanged and is "
                             "still marked as modified.").arg(typed));
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Exclamation);
    EXPECT_TRUE(r->Modified());
    EXPECT_EQ(r->document()->NumLines(), 2050);
    EXPECT_EQ(r->TextOfLine(2), "\tS Y=1");
    EXPECT_EQ(r->document()->Text().size(), typed);

    EXPECT_TRUE(link.CheckEnv());
    EXPECT_EQ(link.Env(), "USER");
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(server.received().size(), 2);
}

TEST_F(RoutineOnServer, AnUnmodifiedDocumentWithoutALockSendsNothingWhenClosed)
{
    MServer server({expectSilence(150)});
    connect(server, 4);
    auto r = open("ABC\t; x\r\n\tQ");
    EXPECT_TRUE(routines->Remove(r->Key(), false, false));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(server.received().isEmpty());
}

} // namespace
