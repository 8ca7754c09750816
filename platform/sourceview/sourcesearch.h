#pragma once

#include <QString>

class FindReplaceDialog;
class SourceView;

// Find and replace in a source view: the Find and Replace dialog, the search
// from the caret that wraps round, Find Next with the last search, and Replace
// All as one undo step. A hit inside a collapsed block opens it.
class SourceSearch
{
public:
    explicit SourceSearch(SourceView &view);

    void find();
    void findNext();
    void replace();
    // Searches from the caret (wrapping round); selects and returns True on a hit.
    bool findText(const QString &text, bool matchCase, bool wholeWord, bool backwards);
    // The number of places changed. A place that already reads as the
    // replacement is left alone, so a Replace All that changes nothing adds no
    // undo step.
    int replaceAll(const QString &text, const QString &replacement, bool matchCase,
                   bool wholeWord);

private:
    FindReplaceDialog *dialog();

    SourceView &m_view;
    FindReplaceDialog *m_dialog = nullptr;   // a child of the view, made when first asked for
    QString m_findText;                      // the last search, for Find Next without the dialog
    bool m_findMatchCase = false;
    bool m_findWholeWord = false;
};
