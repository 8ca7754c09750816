#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

// "Go to Line": the labels of the active routine in two editable boxes at the same
// place, one in routine order (cboLine(0)) and one sorted (cboLine(1)); "&Sort list"
// shows the one or the other. "Go" (the default button) goes to the place the shown box
// names and hides the dialog, or beeps and selects the box's text when the routine has
// no such place. "Close", Esc and the close box only hide it, so the dialog keeps its
// "&Sort list" state between showings. The boxes are filled each time the dialog is
// shown and emptied when it is hidden.
class frmGoto : public QDialog
{
    Q_OBJECT

public:
    explicit frmGoto(QWidget *parent = nullptr);

    // The one dialog, made on first use as a child of the main window when there is one.
    static frmGoto *instance();

    QComboBox *cboLine(int index) const { return m_cboLine[index == 1 ? 1 : 0]; }
    QCheckBox *chkSorted() const { return m_chkSorted; }
    QPushButton *cmdGoto() const { return m_cmdGoto; }
    QPushButton *cmdClose() const { return m_cmdClose; }
    // The box the check box shows.
    QComboBox *shownBox() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void chkSorted_Click();
    void cmdGoto_Click();

    QComboBox *m_cboLine[2];
    QCheckBox *m_chkSorted;
    QPushButton *m_cmdGoto;
    QPushButton *m_cmdClose;
};
