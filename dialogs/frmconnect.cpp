#include "frmconnect.h"

#include "memento.h"

frmConnect::frmConnect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConnect"));
    setWindowTitle(tr("Connect"));
}

MementoPtr frmConnect::saveMemento()
{
    return std::make_shared<Memento>();
}

void frmConnect::restoreMemento(const Memento &) {}
