#pragma once

#include "idoclink.h"

class MLink;

// The session's MLink as a routine document talks to it.
class MLinkDocLink : public IDocLink
{
public:
    explicit MLinkDocLink(MLink *link) : m_link(link) {}

    QString Brand() const override;
    QString Env() const override;
    QString NameTable() const override;
    QString HostIP() const override;
    int ProtocolVersion() const override;
    bool HasFeature(int mask) const override;
    QStringList Transact(int timeout, const QStringList &request) override;
    quint64 SessionId() const override;
    bool IsCurrentSession(quint64 id) const override;

    MLink *link() const { return m_link; }

private:
    void Send(const QStringList &fields) override;

    MLink *m_link;   // the main window's link; outlives every document
};
