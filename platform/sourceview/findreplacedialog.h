#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SourceView;

// The Find and Replace dialog of a source view: modeless, searches from the
// view's caret and wraps round at the end of the text.
class FindReplaceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindReplaceDialog(SourceView *view);

    // Shows the dialog for finding only, or for finding and replacing.
    void showFor(bool replace, const QString &initialText);
    QString findText() const;
    bool matchCase() const;
    bool wholeWord() const;

signals:
    void findRequested();

private:
    void findNext();
    void replaceOne();
    void replaceAllMatches();

    SourceView *m_view;
    QLineEdit *m_find;
    QLineEdit *m_replace;
    QLabel *m_replaceLabel;
    QCheckBox *m_matchCase;
    QCheckBox *m_wholeWord;
    QCheckBox *m_up;
    QPushButton *m_replaceButton;
    QPushButton *m_replaceAllButton;
    QLabel *m_status;
};
