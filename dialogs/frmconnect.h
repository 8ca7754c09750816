#pragma once

#include "imementoorigin.h"

#include <QDialog>

// The Connect dialog for a process waiting for a debugger.
class frmConnect : public QDialog, public IMementoOrigin
{
    Q_OBJECT
public:
    explicit frmConnect(QWidget *parent = nullptr);

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;
};
