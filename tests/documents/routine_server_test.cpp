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
