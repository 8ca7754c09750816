#pragma once

#include <QStringList>

// What every talker to the server can ask of the link it talks over: which session is
// current, whether a given one still is, and a send. `MLink` and `IDocLink` both offer it.
class ISessionLink
{
public:
    virtual ~ISessionLink() = default;

    // Names the link's current session; a new id whenever the link is closed or replaced.
    virtual quint64 SessionId() const = 0;
    // The session named by `id` is still the link's, and its server still connected.
    virtual bool IsCurrentSession(quint64 id) const = 0;
    // One message, waiting for nothing; an empty list is the acknowledgement.
    virtual void Send(const QStringList &fields) = 0;
};

// The session a request was made in. A box (any nested event loop) lets the world go on:
// the server may drop the link, its session end and the next server connect, all before
// the box returns. What is due to the server afterwards (the acknowledgement of a reply,
// the release of a lock the reply granted) goes through this, which drops it when its
// session is no longer current; a handler asks isCurrent() before it acts on the window
// again. Take it before the request or the box, never after.
class LinkSession
{
public:
    explicit LinkSession(ISessionLink &link) : m_link(&link), m_id(link.SessionId()) {}

    bool isCurrent() const { return m_link->IsCurrentSession(m_id); }
    void Send(const QStringList &fields) const
    {
        if (isCurrent())
            m_link->Send(fields);
    }
    void acknowledge() const { Send({}); }

private:
    ISessionLink *m_link;
    quint64 m_id;
};
