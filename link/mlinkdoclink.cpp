#include "mlinkdoclink.h"

#include "mlink.h"

QString MLinkDocLink::Brand() const { return m_link->Brand(); }
QString MLinkDocLink::Env() const { return m_link->Env(); }
QString MLinkDocLink::NameTable() const { return m_link->NameTable(); }
QString MLinkDocLink::HostIP() const { return m_link->HostIP(); }
int MLinkDocLink::ProtocolVersion() const { return m_link->ProtocolVersion(); }
bool MLinkDocLink::HasFeature(int mask) const { return m_link->HasFeature(mask); }

QStringList MLinkDocLink::Transact(int timeout, const QStringList &request)
{
    return m_link->Transact(timeout, request);
}

void MLinkDocLink::Send(const QStringList &fields)
{
    m_link->Send(fields);
}

quint64 MLinkDocLink::SessionId() const
{
    return m_link->SessionId();
}

bool MLinkDocLink::IsCurrentSession(quint64 id) const
{
    return m_link->IsCurrentSession(id);
}
