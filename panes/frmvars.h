#pragma once

#include "paneform.h"

class QTreeWidget;

// The variables pane: the variables of one stack level as a tree of names and values.
// Its grid's columns are saved as list 1's ("T1ColWid" i, "T1ColSeq" p), not under the
// plain names.
class frmVars : public PaneForm
{
    Q_OBJECT
public:
    explicit frmVars(QWidget *parent = nullptr);

    QTreeWidget *SelectedList() const { return m_list; }

    // The main window enables the grid only while the session is not busy.
    void setListEnabled(bool enabled);
    bool listEnabled() const;
    // Empties the list and puts the caption back to "Variables".
    void Clear();

protected:
    void saveOwnSettings(Memento &memento) const override;
    void restoreOwnSettings(const Memento &memento) override;

private:
    QTreeWidget *m_list;   // list 1: columns name, value
};
