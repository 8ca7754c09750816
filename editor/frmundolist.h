#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QListWidget;
class QRect;
class SourceDocument;

// The drop-down of the undo button: the undo steps of a document, the most recent
// first, each by its description. Choosing row k (a click, or Enter on the current
// row) undoes k + 1 steps, from the most recent down, and closes the list. The arrow
// keys only move the current row; Esc and a click elsewhere close it with nothing
// undone.
class frmUndoList : public QWidget
{
    Q_OBJECT

public:
    explicit frmUndoList(SourceDocument *document, QWidget *parent = nullptr);

    // Shows a list over `document` with its top-left corner just below the bottom-left
    // corner of `anchor` (global coordinates: the undo button); it deletes itself when
    // it closes.
    static frmUndoList *dropDown(SourceDocument *document, const QRect &anchor);

    QListWidget *lstItems() const { return m_list; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void undoTo(int row);

    QListWidget *m_list;                  // child; fills the window
    QPointer<SourceDocument> m_document;  // its window may close while the list is up
    bool m_chosen = false;                // a row was chosen: nothing more is undone
};

// Redoes every undone step of `document`: runs `redoOnce` (the document's own Redo when
// empty) while the document can redo. A run that leaves the document's redo count
// where it was ends it (a read-only document, or a router that did not redo), and so
// does the count of runs reaching the initial redo count + 1. Returns the runs made.
int RedoAll(SourceDocument *document, const std::function<void()> &redoOnce = {});
