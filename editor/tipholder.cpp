#include "tipholder.h"

void TipHolder::SetText(const QString &text, const QString &id)
{
    m_text = text;
    m_id = id;
}
