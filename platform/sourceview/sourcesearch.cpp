#include "sourcesearch.h"

#include "findreplacedialog.h"
#include "sourcecaret.h"
#include "sourceinput.h"
#include "sourceview.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

SourceSearch::SourceSearch(SourceView &view) : m_view(view) {}

FindReplaceDialog *SourceSearch::dialog()
{
    if (!m_dialog)
        m_dialog = new FindReplaceDialog(&m_view);
    return m_dialog;
}

void SourceSearch::find()
{
    dialog()->showFor(false, m_view.textCursor().selectedText());
}

void SourceSearch::replace()
{
    dialog()->showFor(!m_view.m_document->ReadOnly(), m_view.textCursor().selectedText());
}

void SourceSearch::findNext()
{
    if (m_dialog && !m_dialog->findText().isEmpty()) {
        findText(m_dialog->findText(), m_dialog->matchCase(), m_dialog->wholeWord(), false);
        return;
    }
    if (!m_findText.isEmpty()) {
        findText(m_findText, m_findMatchCase, m_findWholeWord, false);
        return;
    }
    find();
}

bool SourceSearch::findText(const QString &text, bool matchCase, bool wholeWord, bool backwards)
{
    if (text.isEmpty())
        return false;
    m_findText = text;
    m_findMatchCase = matchCase;
    m_findWholeWord = wholeWord;
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    if (backwards)
        flags |= QTextDocument::FindBackward;
    QTextDocument *document = m_view.document();
    QTextCursor found = document->find(text, m_view.textCursor(), flags);
    if (found.isNull()) {
        QTextCursor from(document);
        if (backwards)
            from.movePosition(QTextCursor::End);
        found = document->find(text, from, flags);
    }
    if (found.isNull())
        return false;
    m_view.m_caret->reveal(found.blockNumber());
    m_view.setTextCursor(found);
    m_view.ensureCursorVisible();
    return true;
}

int SourceSearch::replaceAll(const QString &text, const QString &replacement, bool matchCase,
                             bool wholeWord)
{
    SourceDocument *source = m_view.m_document;
    // Whatever it changes, typing after it is a step of its own.
    m_view.m_input->breakTyping();
    if (text.isEmpty() || source->ReadOnly())
        return 0;
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    // The search goes on behind the replacement as it stands in the text, line ends made one.
    const QString inserted = SourceDocument::normalizeLineEnds(replacement);
    QTextDocument *document = m_view.document();
    int count = 0;
    source->beginUndoGroup(SourceView::tr("Replace All"));
    QTextCursor from(document);
    while (true) {
        const QTextCursor found = document->find(text, from, flags);
        if (found.isNull())
            break;
        const QTextBlock startBlock = document->findBlock(found.selectionStart());
        const QTextBlock endBlock = document->findBlock(found.selectionEnd());
        int l1 = startBlock.blockNumber();
        int l2 = endBlock.blockNumber();
        const int c1 = found.selectionStart() - startBlock.position();
        const int c2 = found.selectionEnd() - endBlock.position();
        int after = found.selectionEnd();
        QString standing = found.selectedText();
        standing.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        if (standing != inserted) {
            after = source->positionOf(c1, l1) + int(inserted.size());
            source->InsertOverwrite(c1, l1, c2, l2, inserted);
            ++count;
        }
        from = QTextCursor(document);
        from.setPosition(std::min(after, document->characterCount() - 1));
    }
    source->endUndoGroup();
    m_view.m_caret->settle();
    return count;
}
