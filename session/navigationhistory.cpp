#include "navigationhistory.h"

void NavigationHistory::push(const QString &text, int type)
{
    m_places.push_back({text, type});
    if (count() >= Limit)
        m_places.pop_front();
}

NavigationHistory::Place NavigationHistory::newest() const
{
    return m_places.empty() ? Place() : m_places.back();
}

NavigationHistory::Place NavigationHistory::popNewest()
{
    if (m_places.empty())
        return Place();
    Place place = m_places.back();
    m_places.pop_back();
    return place;
}
