#pragma once

#include "isourcelex.h"
#include "linedata.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <array>
#include <utility>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "editorsettings.h"
class QTextDocument;
class SourceColouring;
class SourceFolding;
class UndoHistory;

// The editor document: the text (in a QTextDocument that a SourceView shows),
// the per-line data slots, undo with step descriptions, bookmarks, block
// collapsing, the lexer that colours it and its change notifications.
//
// Positions are 0-based (column, line); a column counts characters, a tab is
// one column. Lines are read without their line end; Text() joins them with
// CR LF, and every text handed in may use CR LF, CR or LF.
//
// Change notifications follow one model, and the line data follow it too:
// - TextInserted(c1, l1, c2, l2): the inserted text ran from (c1, l1) to
//   (c2, l2). New lines are l1..l2-1 when c1 = 0 (the old line l1 moves down to
//   l2 with its data), else l1+1..l2 (line l1 keeps its data). New lines start
//   with zeros.
// - TextDeleted(c1, l1, c2, l2): the deleted text ran from (c1, l1) to (c2, l2)
//   in the old document. Removed lines are l1..l2-1 when c1 = 0 (the old line
//   l2 survives at l1 with its data), else l1+1..l2 (line l1 survives).
// - One change that both deletes and inserts (typing over a selection,
//   overtype, paste over a selection) reports the deletion first; while
//   TextDeleted runs, the document reads as if the insertion had not happened.
//   The single-character operation (ReplaceChar) is one change, reported as one
//   TextInserted over the new character, the line already reading its new text.
// - Changes of formats alone raise nothing, and neither does a view taking
//   the document to show it.
//
// The undo history (UndoHistory), the collapsible blocks (SourceFolding) and
// the line colours (SourceColouring) are kept by classes of their own; this
// class keeps the text, the line data and the order of the notifications.
class SourceDocument : public QObject
{
    Q_OBJECT
public:
    // Line-data slots a line can carry (ExtraData picks how many are used).
    static constexpr int kMaxSlots = LineData::kSlotCount;

    explicit SourceDocument(QObject *parent = nullptr);
    ~SourceDocument() override;

    QTextDocument *textDocument() const { return m_doc; }

    // --- text -------------------------------------------------------------
    int NumLines() const { return int(m_lines.size()); }
    QString GetLine(int line) const;
    int GetLineLength(int line) const;
    QString Text() const;                       // lines joined with CR LF
    // Replaces the whole text as one undoable step.
    bool SetText(const QString &text);
    // Editing operations of callers: each is one undo step and sets Modified.
    // They are refused (False) on a read-only document.
    bool Insert(int column, int line, const QString &text);
    // Replaces the text between (c1, l1) and (c2, l2); l1 and l2 are left unchanged.
    bool InsertOverwrite(int c1, int &l1, int c2, int &l2, const QString &text);
    bool Delete(int c1, int l1, int c2, int l2);
    // Low-level operations (loading, re-entering a line): notifications are
    // raised, but no undo step is added and Modified does not change. They work
    // on a read-only document too. endLine/endCol receive the end of the text.
    void InsertImpl(int column, int line, const QString &text, bool flag = false,
                    int *endLine = nullptr, int *endCol = nullptr);
    void DeleteImpl(int c1, int l1, int c2, int l2);
    // The single-character replacement (a label's blank becoming a TAB):
    // low-level when lowLevel is True.
    void ReplaceChar(int column, int line, QChar ch, bool lowLevel = true);
    // Empties the document to one empty line, forgets undo history, bookmarks
    // and line data, clears Modified; raises no notification.
    void Reset();
    void Initialize() { Reset(); }

    // --- line data ------------------------------------------------------------
    int ExtraData() const { return m_extraData; }
    void SetExtraData(int count);
    std::int32_t GetLineData(int line, int slot) const;
    void SetLineData(int line, int slot, std::int32_t value);
    // The flag-word rule: new = (old | set) & ~clear, written and the line
    // repainted only when it changes. Returns whether it changed.
    bool changeLineFlags(int line, std::int32_t set, std::int32_t clear);

    // --- colouring and repainting ---------------------------------------------
    ISourceLex *Lex() const { return m_lex; }
    void SetLex(ISourceLex *lex);
    EditorSettings *settings() const { return m_settings; }
    void setSettings(EditorSettings *settings);
    // kind 1 and 2: repaint (and recolour) lines from..to; kind 8: everything.
    void UpdateViews(int kind, int from, int to, int reserved1 = 0, int reserved2 = 0);
    // Scans lines first..last with the lexer now (and on while it asks for the
    // next line); endLine receives the last line scanned.
    void UpdateLines(int first, int last, int &endLine);
    // Last line shown by the view (the last line when no view shows the document).
    int LastVisibleLine() const;
    void setLastVisibleLineProvider(std::function<int()> provider);
    // Colours the lines first..last whose colours are not valid (used before painting).
    void colourLines(int first, int last);
    bool coloursValid(int line) const;

    // --- state ----------------------------------------------------------------
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);
    bool Modified() const;
    void SetModified(bool modified);
    QString PathName() const { return m_pathName; }
    void SetPathName(const QString &name) { m_pathName = name; }
    int Options() const { return m_options; }
    void EnableOptions(int option, bool enable);

    // --- bookmarks (bit 2 of slot 0) -------------------------------------------
    void ToggleBookmark(int line);
    // The next bookmarked line after line, wrapping round; -1 when there is none.
    int NextBookmark(int line) const;
    int PrevBookmark(int line) const;
    void ClearAllBookmarks();
    int NumBookmarks() const;

    // --- undo -----------------------------------------------------------------
    bool CanUndo() const;
    bool CanRedo() const;
    void Undo();
    void Redo();
    int UndoStepCount() const;
    // k = 0 is the most recent step. flags is accepted and left alone.
    QString UndoStepDescription(int k, int *flags = nullptr) const;
    // The description the next undo step gets (the view names its edits).
    void setPendingUndoDescription(const QString &description);
    // Drops every undo and redo step. Low-level edits made while nothing can be
    // undone keep no history at all: text that streams in and is cut again (the
    // immediate pane's output) then costs no memory beyond what is shown.
    void ForgetUndoHistory();
    // Every undoable edit between these calls becomes one undo step (the view
    // wraps each key in a group, so whatever the key's handlers edit is undone
    // together). Each edit still raises its own notifications.
    void beginUndoGroup(const QString &description);
    void endUndoGroup();
    // Brackets edits made through the QTextDocument directly (a view's own
    // typing): they become one undo step, or extend the last one when
    // joinPrevious is True (or when the running group already made a step).
    void beginEditStep(const QString &description, bool joinPrevious);
    void endEditStep();

    // --- collapsible blocks (from the lexer's flag words) ----------------------
    // A line with the block-start flag starts a block that runs over the following
    // lines whose depth is greater than its own. Slot 0 reports the state:
    // 8 header, 4 body, 8|16 collapsed header.
    bool collapsingEnabled() const;
    void setCollapsingEnabled(bool enabled);
    bool CollapseBlock(int line);      // the innermost block holding line
    bool ExpandBlock(int line);
    void CollapseAll();
    void ExpandAll();
    bool isLineHidden(int line) const;
    // The header of the innermost block holding line (line itself when it is a header), or -1.
    int blockHeaderOf(int line) const;
    // Hides and shows lines after the block structure changed (the view calls it
    // before painting, never while it paints).
    void applyVisibility();

    // Position in the QTextDocument of (column, line), clamped into the text;
    // a line past the last one gives the end of the text.
    int positionOf(int column, int line) const;
    // The document positions of two (column, line) ends, in text order.
    std::pair<int, int> rangeOf(int c1, int l1, int c2, int l2) const;
    // Turns CR LF and lone CR into LF, the one line end used inside.
    static QString normalizeLineEnds(const QString &text);

signals:
    void TextInserted(int c1, int l1, int c2, int l2);
    void TextDeleted(int c1, int l1, int c2, int l2);
    void ModifiedChange(bool modified);
    // Lines whose painting changed (margin data, colours, visibility): views repaint them.
    void repaintRequested(int from, int to);
    void readOnlyChanged(bool readOnly);
    // Lines were hidden or shown.
    void visibilityChanged();

private:
    struct PendingEdit;
    void onContentsChange(int position, int removed, int added);
    void processChange(int position, int removed, int added);
    // Raises the notifications of one change and moves the lines and their data.
    void applyChange(int c1, int l1, const QString &oldText, const QString &newText);
    bool replayHistory();
    void flushDeferred();
    bool edit(int position, int removeLength, const QString &text, bool undoable,
              const QString &description, bool oneChar = false);
    void lowLevelEdit(int position, int removeLength, const QString &text);
    void insertKnownText(QTextCursor &cursor, int position, int removeLength, const QString &text);
    // Undo or redo one Qt step as an edit of our own.
    void stepHistory(bool redo);
    QString documentText(int position, int length) const;
    void resyncLines();

    QTextDocument *m_doc;
    ISourceLex *m_lex = nullptr;
    QPointer<EditorSettings> m_settings;
    std::function<int()> m_lastVisibleLine;

    // The document as its users see it; follows QTextDocument change by change.
    QStringList m_lines;
    std::vector<LineData::Slots> m_data;
    int m_extraData = kMaxSlots;

    bool m_readOnly = false;
    QString m_pathName;
    int m_options = 0;

    bool m_inChange = false;          // notifications are being raised
    int m_apiDepth = 0;               // a call of ours is changing the QTextDocument
    bool m_flushing = false;
    std::vector<PendingEdit> m_deferred;   // edits asked for while notifying
    bool m_suppress = false;          // Reset empties the text without notifications
    bool m_layoutChanging = false;    // a view put its layout in: Qt reports the whole text anew
    bool m_holdModified = false;      // a low-level edit must not flicker Modified
    bool m_replacingChar = false;     // the change under way is ReplaceChar's
    int m_changeSeq = 0;              // counts Qt's change signals
    // The edit of ours under way, while Qt carries it out: its change reads the new
    // text from here. No text when Qt would store it otherwise than it came.
    struct KnownInsert
    {
        int position = -1;
        int removed = 0;
        const QString *text = nullptr;
    };
    KnownInsert m_knownInsert;

    // Edits between beginUndoGroup and endUndoGroup, and between beginEditStep
    // and endEditStep, become one step.
    int m_groupDepth = 0;
    bool m_groupHasStep = false;
    QString m_groupDescription;
    QTextCursor m_stepCursor;         // holds the edit block of beginEditStep
    int m_stepStartUndo = 0;

    std::unique_ptr<UndoHistory> m_history;
    std::unique_ptr<SourceFolding> m_folding;
    std::unique_ptr<SourceColouring> m_colours;
};
