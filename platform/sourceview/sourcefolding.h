#pragma once

#include "linedata.h"

#include <vector>

class QTextDocument;

// The collapsible blocks of a source document. A line whose flag word (slot 1)
// has the block-start flag starts a block that runs over the following lines
// whose depth is greater than its own; slot 0 of every line reports where it
// stands (8 header, 4 body, 8|16 collapsed header), and the lines of a
// collapsed block are hidden in the text document.
//
// The block bits and the hidden lines are worked out lazily: edits only mark
// them stale, and the document settles them before they are read or painted.
// The document owns this and raises the signals for what it reports.
class SourceFolding
{
public:
    // data: the document's line data, kept in step with its lines by the document.
    SourceFolding(QTextDocument *text, std::vector<LineData::Slots> &data);

    bool enabled() const { return m_enabled; }
    // False when the state was already so. Switching off clears every block bit.
    bool setEnabled(bool enabled);
    // The block structure may have changed: a line came or went, or a flag word's
    // block start or depth changed.
    void markDirty();
    // Settles slot 0's block bits before they are read.
    void settleBlockBits();
    // Hides and shows lines after the structure changed; True when any line did.
    bool applyVisibility();
    bool isLineHidden(int line) const;
    // The header of the innermost block holding line (line itself when it is a header), or -1.
    int headerOf(int line);
    // The header whose block was collapsed or expanded, or -1 when there was none to change.
    int collapse(int line);
    int expand(int line);
    bool collapseAll();   // False while collapsing is off
    void expandAll();
    // A document emptied to one line.
    void reset();

private:
    int lineCount() const { return int(m_data.size()); }
    int blockEnd(int header) const;
    void refreshBlockBits();

    QTextDocument *m_text;
    std::vector<LineData::Slots> &m_data;

    bool m_enabled = false;
    bool m_blocksDirty = true;        // slot-0 block bits must be recomputed
    bool m_visibilityDirty = false;   // which lines are hidden must be recomputed
    bool m_anyHidden = false;         // an edit can only change visibility when something is
    bool m_anyCollapsed = false;      //   hidden, or a collapsed block may now hide something
};
