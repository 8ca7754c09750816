#pragma once

class SourceDocument;

// The program-wide active editor document: the document of the code window activated
// last, or of the immediate pane's command view while it has the focus. The undo list
// reads it. It is cleared when its document goes away, so a reader never sees a
// document that no longer exists.
SourceDocument *activeEditorDocument();
void setActiveEditorDocument(SourceDocument *document);
// Clears it, but only while it is `document`: a window unloading must not take away
// another window's document.
void releaseActiveEditorDocument(SourceDocument *document);
