#pragma once

#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <functional>

class QLineEdit;
class QValidator;

// A grid of rows and columns on a flat QTreeWidget, as the debugger panes use it: every
// cell carries, beside its text, a hidden string, a number and a named picture, and every
// row an identifier of its own that is never reused while the process lives, so a late
// server report naming a removed row can never land on a newer one.
//
// Cell editing is the pane's, not Qt's: the grid opens an editor only when asked
// (editCell), reports its start (editStarted), hands the editor's keys to editKeyDown
// first, lets the pane change or refuse the text (validateCell) and reports the end once
// (postEdit). An edit the pane ends itself with endEdit(accept, false) raises no postEdit,
// so a row the pane has just committed is never committed a second time.
class GridControl : public QTreeWidget
{
    Q_OBJECT
public:
    enum Role {
        HiddenRole = Qt::UserRole,       // the cell's hidden string
        NumberRole = Qt::UserRole + 1,   // the cell's number (qint64)
        PictureRole = Qt::UserRole + 2,  // the name of the picture shown, "" for none
        EditTextRole = Qt::UserRole + 3, // what the editor edits when it differs from the text
        RowIdRole = Qt::UserRole + 4     // on column 0: the row identifier
    };

    explicit GridControl(const QStringList &titles, QWidget *parent = nullptr);

    int rowCount() const { return topLevelItemCount(); }
    // A new empty row at the end or at `at`; the result is its index.
    int appendRow();
    int insertRow(int at);
    void removeRow(int row);

    int rowId(int row) const;
    // The row with that identifier, -1 when none.
    int rowOfId(int id) const;
    // The first row at or after `start` whose column `col` text equals `text`, -1 when none.
    int findRow(int start, int col, const QString &text) const;

    QString text(int row, int col) const;
    void setText(int row, int col, const QString &text);
    QString hidden(int row, int col) const;
    void setHidden(int row, int col, const QString &value);
    qint64 number(int row, int col) const;
    void setNumber(int row, int col, qint64 value);
    QString picture(int row, int col) const;
    void setPicture(int row, int col, const QString &name);
    // The editor's text of the cell: EditTextRole when set, else the cell's text.
    QString editText(int row, int col) const;
    void setEditText(int row, int col, const QString &value);

    int currentRowIndex() const;
    void setCurrentRowIndex(int row);
    QList<int> selectedRows() const;   // ascending
    void selectOnly(int row);

    // Orders the rows with `compare` (text1, text2, number1, number2 of column `col`;
    // negative puts the first row first), stable; the selection and current row follow
    // their rows.
    using Compare = std::function<int(const QString &, const QString &, qint64, qint64)>;
    void sortRows(int col, const Compare &compare);

    // Columns that never get an editor.
    void setColumnEditable(int col, bool editable);
    bool columnEditable(int col) const;
    // The character filter of a column's editor; also applies to pasted text.
    void setColumnValidator(int col, QValidator *validator);

    // Editing.
    void editCell(int row, int col);
    // editCell from the event loop: for reopening while an editor is still closing.
    void editCellLater(int row, int col);
    bool isEditing() const { return m_editor != nullptr; }
    int editRow() const;
    int editColumn() const { return m_editIndex.column(); }
    QLineEdit *editor() const { return m_editor; }
    // Ends the open edit, storing its text when accepting; false when the text was refused
    // (the editor then stays open). postEdit is raised only when raisePostEdit.
    bool endEdit(bool accept, bool raisePostEdit);

    std::function<bool(int row, int col, QString &text)> validateCell;
    std::function<bool(int key, Qt::KeyboardModifiers mods)> editKeyDown;

    // A grey text drawn over the last row while all its cells are empty and no editor is
    // open on it, so the row where new entries are typed can be seen.
    void setEntryHint(const QString &hint);
    QString entryHint() const { return m_entryHint; }
    // The last row is empty and shows the hint.
    bool showsEntryHint() const;

    // The column a double-click on the hint row edits: the first editable one after the
    // check box in display order, -1 when none.
    int firstEditableColumn() const;

    // The sign for a character a cell refused: QApplication::beep unless a test listens.
    static void setBeeper(std::function<void()> beeper);
    static void Beep();

    // The pictures the panes draw themselves: "Checked", "Unchecked", "Error".
    static QIcon pictureIcon(const QString &name);
    // Where column 0's picture of a row is drawn, in viewport pixels.
    QRect checkRect(int row) const;

signals:
    void editStarted(int row, int col);
    void postEdit(bool accepted, int row, int col);
    // A left click on the picture of column 0 (the checkbox).
    void checkClicked(int row);
    // A left double-click on a cell; on the hint's part of the hint row, the row's
    // first editable column, wherever the click landed.
    void cellDoubleClicked(int row, int col);

protected:
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void commitData(QWidget *editor) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    friend class GridDelegate;
    QTreeWidgetItem *row(int r) const { return topLevelItem(r); }
    // Where the hint starts: the first column in display order after the check box.
    int hintColumn() const;

    int m_nextId = 1;                         // never reused, so late reports find nothing
    QHash<int, QTreeWidgetItem *> m_rows;     // by identifier
    QHash<int, bool> m_readOnlyColumns;
    QHash<int, QValidator *> m_validators;
    QLineEdit *m_editor = nullptr;            // the open editor, null when none
    QPersistentModelIndex m_editIndex;        // the cell it edits; follows row moves
    bool m_committed = false;                 // the open editor's text was stored
    bool m_refused = false;                   // validateCell refused the last store
    bool m_quietClose = false;                // the pane ends the edit: no postEdit
    QString m_entryHint;                      // shown on an empty last row
};

// The grid's editor: a line edit with the column's validator; keys go to the grid's
// editKeyDown first.
class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit GridDelegate(GridControl *grid);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    GridControl *m_grid;
};
