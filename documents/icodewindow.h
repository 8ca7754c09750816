#pragma once

#include <QString>

class QFont;
class Routine;
class SourceDocument;
class SourceLex;
class VanNgine;

// The code window of a routine document, as the document drives it. The window lives
// above this library (it is made of widgets); the document creates it through the
// factory registered in docServices() and owns it for its whole life.
class ICodeWindow
{
public:
    virtual ~ICodeWindow() = default;

    // The back-pointer to the owning document; null once CloseDoc or the end cut it.
    virtual void setRoutine(Routine *routine) = 0;
    virtual Routine *routine() const = 0;
    // Set once; the window passes it to its lexer.
    virtual void setVanNgine(VanNgine *engine) = 0;

    virtual SourceLex *Lex() = 0;
    virtual SourceDocument *document() = 0;
    virtual void InitializeDoc() = 0;
    virtual void RefreshCaption() = 0;

    virtual bool ReadOnly() const = 0;
    virtual void setReadOnly(bool value) = 0;
    virtual bool Frozen() const = 0;
    virtual void setFrozen(bool value) = 0;
    virtual bool LineWrap() const = 0;
    virtual void setLineWrap(bool value) = 0;
    virtual bool RichSource() const = 0;
    virtual void setRichSource(bool value) = 0;
    virtual bool RichSourceSupported() const = 0;
    virtual bool CodeCollapsing() const = 0;
    virtual void setCodeCollapsing(bool value) = 0;
    virtual void setCodeFont(const QFont &font) = 0;
    virtual bool LineHasCommand(int line) = 0;   // 1-based
    virtual void CentreCaretLine() = 0;
    virtual void SetTip(const QString &tipId, const QString &tipText) = 0;
    virtual void ClearTip() = 0;

    // The editor control inside the window (0-based columns and lines).
    virtual void hideEditor() = 0;
    virtual void showEditor() = 0;
    virtual int caretLine() const = 0;
    virtual int caretColumn() const = 0;
    virtual void setCaret(int column, int line) = 0;
    virtual void ensureCaretVisible() = 0;
    // Columns are clamped to their lines.
    virtual void setSelection(int startColumn, int startLine, int endColumn, int endLine) = 0;
    virtual void scrollPosition(int &firstColumn, int &firstLine) const = 0;

    // The window in the main window's document area.
    virtual bool isWindowVisible() const = 0;
    virtual void showWindow(bool maximised) = 0;
    virtual void hideWindow() = 0;
    virtual bool isMaximised() const = 0;
    virtual void moveToOrigin() = 0;
    virtual void bringToFront() = 0;
    virtual void focusEditor() = 0;
    // 0 keeps the parse timer from ticking at all.
    virtual void setParseTimerInterval(int milliseconds) = 0;
    virtual void unload() = 0;
};
