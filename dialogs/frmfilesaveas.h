#pragma once

#include "imementoorigin.h"

#include <QDialog>

// The server Save As dialog. Until it is built it saves nothing.
class frmFileSaveAs : public QDialog, public IMementoOrigin
{
    Q_OBJECT
public:
    explicit frmFileSaveAs(QWidget *parent = nullptr);

    void Reset();
    bool resetPending() const { return m_resetPending; }

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

private:
    bool m_resetPending = true;
};
