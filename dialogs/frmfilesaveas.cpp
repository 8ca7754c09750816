#include "frmfilesaveas.h"

#include "memento.h"

frmFileSaveAs::frmFileSaveAs(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFileSaveAs"));
    setWindowTitle(tr("Save As"));
}

void frmFileSaveAs::Reset()
{
    m_resetPending = true;
}

MementoPtr frmFileSaveAs::saveMemento()
{
    return std::make_shared<Memento>();
}

void frmFileSaveAs::restoreMemento(const Memento &) {}
