#include "frmfileopen.h"

#include "memento.h"
#include "sources.h"

frmFileOpen::frmFileOpen(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFileOpen"));
    setWindowTitle(tr("Open"));
}

void frmFileOpen::Reset()
{
    m_resetPending = true;
}

void frmFileOpen::GetRecent(int index, Sources &sources) const
{
    sources = Sources();
    for (int i = 0; i < int(m_recent.size()); ++i) {
        if (index > 0 && i + 1 != index)
            continue;
        const SourcePtr &item = m_recent[size_t(i)];
        SourcePtr copy = sources.Add(item->TypeOfSource, item->Name, item->Path, QString(), item->MType);
        copy->ReadOnly = item->ReadOnly;
        if (item->DisplayName() != item->Name)
            copy->setDisplayName(item->DisplayName());
    }
}

MementoPtr frmFileOpen::saveMemento()
{
    return std::make_shared<Memento>();
}

void frmFileOpen::restoreMemento(const Memento &) {}
