#include "ipanestate.h"

#include "ipaneowner.h"

#include <QtGlobal>

namespace {

QString visibleAttribute(int index)
{
    return QString::number(index) + QStringLiteral(".Visible");
}

} // namespace

void IPaneState::Notify(int eState)
{
    if (!m_owner || eState == m_stateIndex)
        return;
    if (eState != 0 && eState != 1) {
        Q_ASSERT_X(false, "IPaneState::Notify", "state index out of range");
        return;
    }
    SaveVisible();
    if (m_visible[eState] != m_owner->paneVisible()) {
        if (m_visible[eState])
            m_owner->ShowMe();
        else
            m_owner->HideMe();
    }
    m_stateIndex = eState;
}

MementoPtr IPaneState::StateData()
{
    SaveVisible();
    auto data = std::make_shared<Memento>();
    for (int i = 0; i < 2; ++i)
        data->write(visibleAttribute(i), m_visible[i]);
    return data;
}

void IPaneState::Prepare(IPaneOwner *owner, const Memento *data)
{
    m_owner = owner;
    if (!data)
        return;
    for (int i = 0; i < 2; ++i)
        data->readBool(visibleAttribute(i), m_visible[i]);
}

void IPaneState::SaveVisible()
{
    if (m_owner)
        m_visible[m_stateIndex] = m_owner->paneVisible();
}
