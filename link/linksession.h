#pragma once

#include <QStringList>

class LinkSession;

// What every talker to the server can ask of the link it talks over: which session is
// current and whether a given one still is. `MLink` and `IDocLink` both offer it. Their
// send is not for their users: a message goes out only through a LinkSession, which
// knows the session it belongs to, so that nothing said after a box (a nested event loop,
// under which the server may go and the next one connect) reaches another server.
class ISessionLink
{
public:
    virtual ~ISessionLink() = default;

    // Names the link's current session; a new id whenever the link is closed or replaced.
    virtual quint64 SessionId() const = 0;
    // The session named by `id` is still the link's, and its server still connected.
    virtual bool IsCurrentSession(quint64 id) const = 0;

private:
    friend class LinkSession;
    // One message, waiting for nothing; an empty list is the acknowledgement.
    virtual void Send(const QStringList &fields) = 0;
};

// The session a request was made in, or a window or document belongs to. A box (any
// nested event loop) lets the world go on: the server may drop the link, its session end
// and the next server connect, all before the box returns. What is due to the server
// afterwards (the acknowledgement of a reply, the release of a lock the reply granted, a
// command of the window that asked) goes through this, which drops it when its session is
// no longer current; a handler asks isCurrent() or lapsed() before it acts on its window
// again. Take it before the request or the box, never after.
//
// A default one belongs to no link: it is never current and sends nothing.
class LinkSession
{
public:
    LinkSession() = default;
    explicit LinkSession(ISessionLink &link)
        : m_link(&link), m_id(link.SessionId()), m_wasLive(link.IsCurrentSession(m_id)) {}

    bool isCurrent() const { return m_link && m_link->IsCurrentSession(m_id); }
    // The link is no longer as it was when this was taken: the session then live has gone
    // (its end may still be being handled), or, taken while none was, one has come since.
    // Whoever waited for the user in between has nothing more to do.
    bool lapsed() const
    {
        if (!m_link)
            return false;
        return m_wasLive ? !isCurrent() : m_link->SessionId() != m_id;
    }
    void Send(const QStringList &fields) const
    {
        if (isCurrent())
            m_link->Send(fields);
    }
    void acknowledge() const { Send({}); }

private:
    ISessionLink *m_link = nullptr;
    quint64 m_id = 0;
    bool m_wasLive = false;   // the session was connected when this was taken
};
