#include "sources.h"

SourcePtr Sources::Add(int Typ, const QString &Name, const QString &Location, const QString &Key,
                       const QString &Server)
{
    auto source = std::make_shared<Source>();
    source->TypeOfSource = Typ;
    source->Name = Name;
    source->Path = Location;
    source->MType = Server;
    if (!m_items.add(source, Key))
        return nullptr;
    return source;
}
