// Opening lists of server items: each item by its location, through the main window's
// EditRoutine/ShowRoutine, only on the connected server; what did not open is reported
// and dropped, what did goes to the top of the Open dialog's recent list.

#include "dialoghost.h"
#include "frmfileopen.h"
#include "mlink.h"
#include "modfileopen.h"
#include "mserver.h"
#include "recordingprompt.h"
#include "sessionwindow.h"
#include "sources.h"

#include <gtest/gtest.h>

#include <memory>

using namespace mserver;

namespace {

const QString Host = QStringLiteral("127.0.0.1");

// The main window as the opening sees it: records each opening and answers from the
// names it was given.
class RecordingDialogHost : public IDialogHost
{
public:
    bool EditRoutine(const QString &name, const QString &ns, bool &wasReadOnly, int type,
                     QString &displayName) override
    {
        calls << QStringLiteral("edit %1 %2 %3").arg(name, ns).arg(type);
        wasReadOnly = readOnlyNames.contains(name);
        displayName = name + QStringLiteral(" (shown)");
        return !failing.contains(name);
    }
    bool ShowRoutine(const QString &name, const QString &ns, int type, QString &displayName) override
    {
        calls << QStringLiteral("show %1 %2 %3").arg(name, ns).arg(type);
        displayName = name + QStringLiteral(" (shown)");
        return !failing.contains(name);
    }
    void UpdateRecent() override { ++recentUpdates; }
    void Listen() override {}
    QString LocalAddress() const override { return QString(); }
    quint16 SentryPort() const override { return 0; }
    QWidget *dialogParent() const override { return nullptr; }

    QStringList calls;
    QStringList readOnlyNames;   // EditRoutine could open these only read-only
    QStringList failing;         // these do not open
    int recentUpdates = 0;
};

class OpenItemsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.session = &link;
        setMainWindow(&window);
        setDialogHost(&host);
        open = std::make_unique<frmFileOpen>();
        modFileOpen::setOpenDialog(open.get());
    }
    void TearDown() override
    {
        setModalRunner(nullptr);
        modFileOpen::setOpenDialog(nullptr);
        setDialogHost(nullptr);
        setMainWindow(nullptr);
        open.reset();
    }

    // A link to a server that says nothing: its peer address is the connected host.
    void connect(MServer &server)
    {
        ASSERT_TRUE(server.startAccepted(link));
        link.setBrand("CACHE");
        QString info = QStringLiteral("x:1:4");
        ASSERT_TRUE(link.VersionCheck(info));
        ASSERT_EQ(link.HostIP(), Host);
    }

    QStringList recentRows() const
    {
        Sources rows;
        open->GetRecent(0, rows);
        QStringList out;
        for (const SourcePtr &s : rows)
            out << s->Name;
        return out;
    }

    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt scopedPrompt{prompt};
    RecordingDialogHost host;
    MLink link;
    SessionWindow window;
    std::unique_ptr<frmFileOpen> open;
};

struct Item
{
    const char *name;
    QString location;
    bool readOnly = false;
};

TEST_F(OpenItemsTest, OpensEveryItemItCanAndDropsTheRest)
{
    MServer server({});
    connect(server);
    const QString here = "vantrel://" + Host;
    struct Case
    {
        const char *what;
        QList<Item> items;
        QStringList readOnlyNames, failing;
        QStringList calls;
        QStringList boxes;       // texts, in order
        QStringList remaining;   // name, ReadOnly and display name of what stays
    };
    const Case cases[] = {
        {"upper-case scheme", {{"ABC", "VANTREL://" + Host + "/USER"}}, {}, {},
         {"edit ABC USER 1"}, {}, {"ABC 0 ABC (shown)"}},
        {"namespace holding a slash", {{"ABC", here + "/A/B"}}, {}, {}, {"edit ABC A/B 1"}, {}, {"ABC 0 ABC (shown)"}},
        {"read-only item", {{"ABC", here + "/USER", true}}, {}, {}, {"show ABC USER 1"}, {}, {"ABC 1 ABC (shown)"}},
        {"only readable", {{"ABC", here + "/USER"}}, {"ABC"}, {}, {"edit ABC USER 1"}, {}, {"ABC 1 ABC (shown)"}},
        {"does not open", {{"ABC", here + "/USER", true}}, {}, {"ABC"}, {"show ABC USER 1"}, {}, {}},
        {"another host in the middle",
         {{"ABC", here + "/USER"}, {"DEF", "vantrel://10.9.9.9/USER"}, {"GHI", here + "/USER"}}, {}, {},
         {"edit ABC USER 1", "edit GHI USER 1"}, {"No connection exists to 10.9.9.9"},
         {"ABC 0 ABC (shown)", "GHI 0 GHI (shown)"}},
        {"another scheme", {{"ABC", "file://x/y"}}, {}, {}, {}, {"Don't know how to open\rfile://x/y/ABC"}, {}},
        // Not a location at all: reported as a scheme we do not know, never a crash.
        {"malformed", {{"ABC", "vantrel:/" + Host + "/USER"}, {"DEF", ""}, {"GHI", "vantrel:"}}, {}, {}, {},
         {"Don't know how to open\rvantrel:/127.0.0.1/USER/ABC", "Don't know how to open\r/DEF",
          "Don't know how to open\rvantrel:/GHI"},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        host.calls.clear();
        host.readOnlyNames = c.readOnlyNames;
        host.failing = c.failing;
        prompt->asked.clear();
        open->setRecent({});
        Sources items;
        for (const Item &i : c.items)
            items.Add(1, i.name, i.location, QString(), "CACHE")->ReadOnly = i.readOnly;

        modFileOpen::OpenSources(&items);

        EXPECT_EQ(host.calls, c.calls);
        QStringList boxes;
        for (const auto &q : prompt->asked)
            boxes << q.text;
        EXPECT_EQ(boxes, c.boxes);
        QStringList remaining;
        for (const SourcePtr &s : items)
            remaining << QStringLiteral("%1 %2 %3").arg(s->Name).arg(int(s->ReadOnly)).arg(s->DisplayName());
        EXPECT_EQ(remaining, c.remaining);
        // What opened joins the recent list, the list's last item at the top.
        QStringList expectedRecent;
        for (const QString &r : c.remaining)
            expectedRecent.prepend(r.section(' ', 0, 0));
        EXPECT_EQ(recentRows(), expectedRecent);
    }
}

TEST_F(OpenItemsTest, BoxesCarryTheirIcons)
{
    MServer server({});
    connect(server);
    Sources items;
    items.Add(1, "A", "vantrel://10.9.9.9/USER", QString(), "CACHE");
    items.Add(1, "B", "gopher://x/USER", QString(), "CACHE");
    modFileOpen::OpenSources(&items);
    ASSERT_EQ(prompt->asked.size(), 2u);
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Information);
    EXPECT_EQ(prompt->asked[1].icon, IUserPrompt::Icon::Critical);
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(host.recentUpdates, 0);

    modFileOpen::OpenSources(nullptr);   // no list: nothing to do
}

TEST_F(OpenItemsTest, SecondFileOpenWhileTheDialogIsUpDoesNothing)
{
    // The Open dialog's own exchange around the one showing.
    MServer server({
        expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck(),
        answer({"NSL"}, {"NSL", "Namespaces", "|USER"}), expectAck(),
        expect({"NSS", "USER"}), expect({"SIL", "1", "*", "", "*", "25"}),
        send({"NS", "USER"}), expectAck(), send({"SIL", "1", "", "", "", ""}), expectAck(),
        answer({"NSS", "USER"}, {"NS", "USER"}), expectAck(), expect({"-"}), expectSilence(100),
    });
    connect(server);
    int shown = 0;
    bool nested = true;
    setModalRunner([&](QDialog *dialog) {
        ++shown;
        EXPECT_TRUE(pumpUntil([&] { return open->outstanding() == 0; }));
        nested = modFileOpen::FileOpen();
        dialog->reject();
        return 0;
    });
    EXPECT_TRUE(modFileOpen::FileOpen());
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(nested);
    EXPECT_TRUE(host.calls.isEmpty());
}

} // namespace
