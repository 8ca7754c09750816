#pragma once

#include "editorsettings.h"
#include "isourcedraw.h"
#include "sourcedocument.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <memory>

class QPrinter;
class SourceCaret;
class SourceInput;
class SourceMargin;
class SourceRenderer;
class SourceSearch;

// The source-view control: a QPlainTextEdit over a SourceDocument with a left
// margin of MarginWidth character cells painted per display row by a drawing
// callback, colouring pulled from the document's lexer before painting,
// cancellable key, mouse and command notifications, collapsible blocks,
// character-cell coordinates, find/replace and printing.
//
// Device coordinates (mouse notifications, DocToDevice, DeviceToDoc, the
// drawing record) are pixels of the control: x = 0 is the margin's left edge.
//
// Names used by some callers for the same members:
//   SetSel = SetSelection, GetSel = GetSelection, MoveCaret = SetCaret,
//   CaretX = CaretColumn, CaretY = CaretLine, ScrollStyle = ScrollBarStyle,
//   EnableOptions(add, remove) = ModifyViewOptions, Options = ViewOptions,
//   RefreshLines(from, to) = Document()->UpdateViews(2, from, to).
//
// The caret's rules (every move raises CaretMove; the caret never rests on a
// line a collapsed block hides), the keys and the mouse, the painting and the
// drawing callback's passes, and find/replace are each kept by a class of
// their own (SourceCaret, SourceInput, SourceRenderer, SourceSearch).
class SourceView : public QPlainTextEdit
{
    Q_OBJECT
public:
    // ViewOptions bits. Other bits are kept for the callers that read them back
    // (the immediate views' drawing callback reads 0x20).
    static constexpr int kWrap = 0x2;
    static constexpr int kSelectionMargin = 0x20;
    // ScrollBarStyle values (window-style bits).
    static constexpr int kVerticalScrollBar = 0x200000;
    static constexpr int kHorizontalScrollBar = 0x100000;
    // ExecuteCommand numbers.
    enum Command {
        CmdDelete = 19,
        CmdCut = 29,
        CmdCopy = 30,
        CmdPaste = 31,
        CmdLoadAction = 32,
        CmdToggleOvertype = 67,
    };

    explicit SourceView(QWidget *parent = nullptr);
    ~SourceView() override;

    // --- document -------------------------------------------------------------
    SourceDocument *Document() const { return m_document; }
    // The view does not own a document given here; it owns the one it starts with.
    // Showing a document raises no notification and leaves its text, line data,
    // undo history and Modified as they were; collapsing is switched on when the
    // settings ask for it and otherwise left as the document has it.
    void SetDocument(SourceDocument *document);

    // --- caret and selection --------------------------------------------------
    int CaretColumn() const;
    int CaretLine() const;
    void SetCaret(int column, int line);
    bool HasSelection() const;
    // Anchor first, caret last.
    void GetSelection(int &c1, int &l1, int &c2, int &l2) const;
    // Columns are clamped to their lines; the caret ends at (c2, l2).
    void SetSelection(int c1, int l1, int c2, int l2);
    bool Overtype() const;
    void SetOvertype(bool overtype);
    int CaretStyle() const { return m_caretStyle; }   // 0 line, 1 block
    void SetCaretStyle(int style);

    // --- scrolling and visibility ---------------------------------------------
    void ShowLines(int first, int last);
    void GetScrollPosition(int &column, int &line) const;
    void SetScrollPosition(int column, int line);
    bool ScrollHeld() const;
    int LastVisibleLine() const;
    int ViewOptions() const { return m_viewOptions; }
    void ModifyViewOptions(int add, int remove);
    int ScrollBarStyle() const { return m_scrollBarStyle; }
    void SetScrollBarStyle(int style);

    // --- commands -------------------------------------------------------------
    // Raises BeforeCommand first; a handler that sets the number to 0 cancels.
    // The argument is taken for the callers that pass one (the load-time action
    // 32 with 1); no command here needs it.
    void ExecuteCommand(int command, int argument = 0);
    void Find();
    void FindNext();
    void Replace();
    // Searches from the caret (wrapping round); selects and returns True on a hit.
    bool findText(const QString &text, bool matchCase, bool wholeWord, bool backwards);
    int replaceAll(const QString &text, const QString &replacement, bool matchCase,
                   bool wholeWord);
    void CollapseBlock();
    void ExpandBlock();
    void CollapseAllBlocks();
    void ExpandAllBlocks();
    // Prints the text with its colours; the first form asks for a printer.
    void PrintText();
    bool PrintText(QPrinter *printer);

    // --- geometry and appearance ----------------------------------------------
    void SetFocus() { setFocus(Qt::OtherFocusReason); }
    QFont Font() const { return font(); }
    void SetFont(const QFont &font);
    int MarginWidth() const { return m_marginWidth; }     // character cells
    void SetMarginWidth(int cells);
    int CharWidth() const;
    int CharHeight() const;
    void DocToDevice(int column, int line, int &x, int &y) const;
    // The character cell under the point; a point below the text gives the last line.
    void DeviceToDoc(int x, int y, int &column, int &line) const;
    // The point as the code window's clicks and tips read it: line counted from 1;
    // column counted from 1 in the text, -1 in the margin's last character cell
    // (the line-selection strip), 0 in the rest of the margin (the breakpoint
    // margin). Each boundary lies 2 pixels left of the cell edge. True when the
    // point lies more than CharHeight below the top of the line found, that is
    // below the last text line.
    bool DeviceToDocPos(int x, int y, int &column, int &line) const;
    EditorSettings *Settings() const { return m_settings; }
    // Settings may be shared by many views; a change of their collapsing bit
    // switches collapsing in the document of every view that shares them, a
    // change of their other bits leaves it alone.
    void SetSettings(EditorSettings *settings);
    ISourceDraw *drawCallback() const { return m_draw; }
    void setDrawCallback(ISourceDraw *draw);
    QColor BackColor() const;
    void SetBackColor(const QColor &colour);
    QColor ForeColor() const;
    void SetForeColor(const QColor &colour);
    void setTabSize(int columns);

    // --- aliases --------------------------------------------------------------
    void SetSel(int c1, int l1, int c2, int l2) { SetSelection(c1, l1, c2, l2); }
    void GetSel(int &c1, int &l1, int &c2, int &l2) const { GetSelection(c1, l1, c2, l2); }
    void MoveCaret(int column, int line) { SetCaret(column, line); }
    int CaretX() const { return CaretColumn(); }
    int CaretY() const { return CaretLine(); }
    int ScrollStyle() const { return ScrollBarStyle(); }
    void SetScrollStyle(int style) { SetScrollBarStyle(style); }
    int Options() const { return ViewOptions(); }
    void EnableOptions(int add, int remove = 0) { ModifyViewOptions(add, remove); }
    // Without arguments: the caret line.
    void RefreshLines(int from = -1, int to = -1);

    // Scans the colours of the lines about to be shown; runs by itself before
    // each paint, callable directly where a caller must not wait for the event loop.
    void prepareVisibleLines();

signals:
    // Key codes are Windows virtual-key codes; Shift is 1 Shift, 2 Ctrl, 4 Alt.
    // Setting KeyCode / KeyAscii to 0 cancels the key; another KeyAscii types that character.
    void KeyDown(int &KeyCode, int Shift);
    void KeyPress(int &KeyAscii);
    void KeyUp(int &KeyCode, int Shift);
    // Button: 1 left, 2 right, 4 middle. X, Y in device pixels.
    void MouseDown(int &Button, int &Shift, int &X, int &Y);
    void MouseMove(int &Button, int &Shift, int &X, int &Y);
    void MouseUp(int &Button, int &Shift, int &X, int &Y);
    // A left-button press and release on the control.
    void Click();
    // A handler may change the position; the caret then moves there.
    void CaretMove(int &column, int &line);
    void BeforeCommand(int &command);
    void ModifiedChange(bool modified);
    void TextInserted(int c1, int l1, int c2, int l2);
    void TextDeleted(int c1, int l1, int c2, int l2);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void changeEvent(QEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    friend class SourceCaret;
    friend class SourceInput;
    friend class SourceMargin;
    friend class SourceRenderer;
    friend class SourceSearch;

    // QPlainTextEdit's own handling, for the helpers that pass an event on.
    void qtKeyPressEvent(QKeyEvent *event) { QPlainTextEdit::keyPressEvent(event); }
    void qtKeyReleaseEvent(QKeyEvent *event) { QPlainTextEdit::keyReleaseEvent(event); }
    void qtMousePressEvent(QMouseEvent *event) { QPlainTextEdit::mousePressEvent(event); }
    void qtMouseMoveEvent(QMouseEvent *event) { QPlainTextEdit::mouseMoveEvent(event); }
    void qtMouseReleaseEvent(QMouseEvent *event) { QPlainTextEdit::mouseReleaseEvent(event); }

    void schedulePrepare();
    void updateMarginGeometry();
    void applyReadOnly();
    void applyWrap();
    void onRepaintRequested(int from, int to);
    void onTextChanged();
    void onDocOptionsChanged(int options);
    void applyCollapsingSetting(bool on);
    QPoint toDevice(const QPoint &viewportPos) const;
    QRect lineRect(int line) const;
    void forgetLastVisibleLine() { m_lastVisible.line = -1; }
    void deleteAtCaret(const QString &description);

    QPointer<SourceDocument> m_document;
    SourceDocument *m_ownDocument = nullptr;
    QPointer<EditorSettings> m_settings;
    EditorSettings *m_ownSettings = nullptr;
    ISourceDraw *m_draw = nullptr;
    SourceMargin *m_margin = nullptr;
    std::unique_ptr<SourceCaret> m_caret;
    std::unique_ptr<SourceInput> m_input;
    std::unique_ptr<SourceRenderer> m_renderer;
    std::unique_ptr<SourceSearch> m_search;

    int m_marginWidth = 4;
    int m_caretStyle = 0;
    int m_viewOptions = 0;
    int m_scrollBarStyle = kVerticalScrollBar | kHorizontalScrollBar;
    int m_tabSize = 8;
    bool m_prepareQueued = false;       // a colour scan is posted
    // The lexer asks for the last visible line at every line it queues and parses,
    // thousands of times while a routine opens; the layout is walked again only when the
    // place it started from, the height it filled or the lines it crossed have changed.
    // line is -1 when a change of the layout (heights, hidden lines, wrapping) has made
    // the last walk worthless.
    struct LastVisibleWalk
    {
        int line = -1;
        int scrollValue = 0;
        qreal top = 0;
        int height = 0;
        int blockCount = 0;
    };
    mutable LastVisibleWalk m_lastVisible;
    // The settings' collapsing bit as last applied: only a change of that bit
    // switches the document, so a window that switches its own document's
    // collapsing keeps it when the shared settings change other bits.
    bool m_settingsCollapsing = false;
};
