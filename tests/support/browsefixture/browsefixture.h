#pragma once

// A browsing dialog (Open or Save As) run against the scripted M server over a real
// link, with the user's actions played by a script:
//
//   BrowseSession s;                                  // registers itself as main window
//   s.start(browse::opening("USER", browse::nsl({"USER", "SAMPLES"}))
//           + browse::firstListing("USER", 1, "1", "*")
//           + QList<mserver::Step>{mserver::send({"SIL", "1", "", ",ABC", "\x01", ",63000,3600"}),
//                                  mserver::expectAck()}
//           + browse::closing("USER"),
//           "CACHE", 5);
//   s.runModal([&](QDialog *d) { ... click ...; });   // runs when the dialog shows
//   dialog.DoIt(...);
//   EXPECT_TRUE(s.finish()) << s.failure();
//
// The link's peer is 127.0.0.1; its ProtocolVersion and Brand are set by start().
// Message boxes go to `prompt` (answers scripted through prompt->answers).

#include "dialoghost.h"
#include "imainwindow.h"
#include "mlink.h"
#include "mserver.h"
#include "recordingprompt.h"
#include "sessionwindow.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace browse {

using Steps = QList<mserver::Step>;

// The "NSL" reply: heading, namespaces as a list field (separator ","), and the
// descriptions when given.
inline QStringList nsl(const QStringList &namespaces, const QStringList &descriptions = {},
                       const QString &heading = QStringLiteral("Namespaces"))
{
    QStringList reply{QStringLiteral("NSL"), heading, QLatin1Char(',') + namespaces.join(QLatin1Char(','))};
    if (!descriptions.isEmpty())
        reply << QLatin1Char(',') + descriptions.join(QLatin1Char(','));
    return reply;
}

// The opening steps up to (not including) the node choice: "+", "!NS" answered with ns,
// and, when loading, "!NSL" and (when vll is non-empty) "!VLL", each acknowledged.
inline Steps opening(const QString &ns, const QStringList &nslReply, const QStringList &vllReply = {},
                     bool loading = true)
{
    using namespace mserver;
    Steps steps{expect({"+"}), answer({"NS"}, {"NS", ns}), expectAck()};
    if (loading) {
        steps << answer({"NSL"}, nslReply);
        // The list's acknowledgement leaves with the next request, in one write.
        if (!vllReply.isEmpty())
            steps << expectTogether({{}, {"!VLL"}}) << send({"!VLL"}) << send(vllReply) << expectAck();
        else
            steps << expectAck();
    }
    return steps;
}

// The node choice of ns and its first page request, then the "NS" reply and its ack.
inline Steps firstListing(const QString &ns, int request, const QString &type, const QString &pattern)
{
    using namespace mserver;
    return Steps{expect({"NSS", ns}),
                 expect({"SIL", QString::number(request), type, "", pattern, "25"}),
                 send({"NS", ns}),
                 expectAck()};
}

// One page of the listing: sent, then its ack expected.
inline Steps page(int request, const QString &next, const QStringList &names, const QString &flags,
                  const QStringList &details = {})
{
    using namespace mserver;
    return Steps{send({"SIL", QString::number(request), next,
                       names.isEmpty() ? QString() : QLatin1Char(',') + names.join(QLatin1Char(',')), flags,
                       details.isEmpty() ? QString() : QLatin1Char('|') + details.join(QLatin1Char('|'))}),
                 expectAck()};
}

// The closing steps: one ack per outstanding request, "!NSS" ns answered, ack, "-".
inline Steps closing(const QString &ns, int outstanding = 0, const QStringList &restoreReply = {})
{
    using namespace mserver;
    Steps steps;
    for (int i = 0; i < outstanding; ++i)
        steps << expectAck();
    steps << answer({"NSS", ns}, restoreReply.isEmpty() ? QStringList{"NS", ns} : restoreReply) << expectAck()
          << expect({"-"});
    return steps;
}

} // namespace browse

class BrowseSession
{
public:
    BrowseSession() : m_scope(prompt)
    {
        window.session = &link;
        setMainWindow(&window);
    }
    ~BrowseSession()
    {
        setModalRunner(nullptr);
        setMainWindow(nullptr);
    }
    BrowseSession(const BrowseSession &) = delete;
    BrowseSession &operator=(const BrowseSession &) = delete;

    // Starts the server on script and connects the link; brand and protocol as the
    // greeting would have set them.
    bool start(const browse::Steps &script, const QString &brand = QStringLiteral("CACHE"), int protocol = 5)
    {
        server = std::make_unique<mserver::MServer>(script);
        if (!server->startAccepted(link))
            return false;
        link.setBrand(brand);
        QString info = QStringLiteral("test:0:") + QString::number(protocol);
        return link.VersionCheck(info);
    }

    // The modal show: shows the dialog, runs script, then lets the event loop run until
    // the dialog is hidden (at most waitMs; then it is hidden and the run gives -1).
    void runModal(std::function<void(QDialog *)> script, int waitMs = 4000)
    {
        setModalRunner([this, script, waitMs](QDialog *d) {
            ++shown;
            d->show();
            script(d);
            if (!mserver::pumpUntil([d] { return !d->isVisible(); }, waitMs)) {
                d->hide();
                return -1;
            }
            return d->result();
        });
    }

    // Waits for the script's end; true when every step passed.
    bool finish(int ms = 5000) { return server && server->wait(ms); }
    QString failure() const { return server ? server->failure() : QStringLiteral("no server"); }
    QList<mserver::Fields> received() const { return server ? server->received() : QList<mserver::Fields>{}; }

    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt m_scope;
    MLink link;
    SessionWindow window;
    std::unique_ptr<mserver::MServer> server;
    int shown = 0;   // modal shows so far
};
