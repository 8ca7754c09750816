#include "findreplacedialog.h"

#include "sourceview.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FindReplaceDialog::FindReplaceDialog(SourceView *view)
    : QDialog(view), m_view(view), m_find(new QLineEdit), m_replace(new QLineEdit),
      m_replaceLabel(new QLabel(tr("Replace &with:"))), m_matchCase(new QCheckBox(tr("Match &case"))),
      m_wholeWord(new QCheckBox(tr("Match &whole word only"))), m_up(new QCheckBox(tr("Search &up"))),
      m_replaceButton(new QPushButton(tr("&Replace"))),
      m_replaceAllButton(new QPushButton(tr("Replace &All"))), m_status(new QLabel)
{
    setModal(false);
    auto *findLabel = new QLabel(tr("Fi&nd what:"));
    findLabel->setBuddy(m_find);
    m_replaceLabel->setBuddy(m_replace);
    auto *findButton = new QPushButton(tr("&Find Next"));
    findButton->setDefault(true);
    auto *closeButton = new QPushButton(tr("Close"));

    auto *grid = new QGridLayout;
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(m_find, 0, 1);
    grid->addWidget(m_replaceLabel, 1, 0);
    grid->addWidget(m_replace, 1, 1);
    grid->addWidget(m_matchCase, 2, 0, 1, 2);
    grid->addWidget(m_wholeWord, 3, 0, 1, 2);
    grid->addWidget(m_up, 4, 0, 1, 2);
    grid->addWidget(m_status, 5, 0, 1, 2);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(findButton);
    buttons->addWidget(m_replaceButton);
    buttons->addWidget(m_replaceAllButton);
    buttons->addWidget(closeButton);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(findButton, &QPushButton::clicked, this, &FindReplaceDialog::findNext);
    connect(m_replaceButton, &QPushButton::clicked, this, &FindReplaceDialog::replaceOne);
    connect(m_replaceAllButton, &QPushButton::clicked, this, &FindReplaceDialog::replaceAllMatches);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::hide);
}

void FindReplaceDialog::showFor(bool replace, const QString &initialText)
{
    setWindowTitle(replace ? tr("Replace") : tr("Find"));
    m_replaceLabel->setVisible(replace);
    m_replace->setVisible(replace);
    m_replaceButton->setVisible(replace);
    m_replaceAllButton->setVisible(replace);
    if (!initialText.isEmpty())
        m_find->setText(initialText);
    m_find->selectAll();
    m_status->clear();
    show();
    raise();
    activateWindow();
    m_find->setFocus();
}

QString FindReplaceDialog::findText() const
{
    return m_find->text();
}

bool FindReplaceDialog::matchCase() const
{
    return m_matchCase->isChecked();
}

bool FindReplaceDialog::wholeWord() const
{
    return m_wholeWord->isChecked();
}

void FindReplaceDialog::findNext()
{
    if (m_find->text().isEmpty())
        return;
    const bool found = m_view->findText(m_find->text(), matchCase(), wholeWord(), m_up->isChecked());
    m_status->setText(found ? QString() : tr("The text was not found."));
    emit findRequested();
}

void FindReplaceDialog::replaceOne()
{
    if (m_find->text().isEmpty() || m_view->Document()->ReadOnly())
        return;
    const Qt::CaseSensitivity cs = matchCase() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (m_view->textCursor().selectedText().compare(m_find->text(), cs) == 0) {
        int c1, l1, c2, l2;
        m_view->GetSelection(c1, l1, c2, l2);
        SourceDocument *doc = m_view->Document();
        doc->beginUndoGroup(tr("Replace"));
        doc->InsertOverwrite(c1, l1, c2, l2, m_replace->text());
        doc->endUndoGroup();
    }
    findNext();
}

void FindReplaceDialog::replaceAllMatches()
{
    if (m_find->text().isEmpty() || m_view->Document()->ReadOnly())
        return;
    const int count = m_view->replaceAll(m_find->text(), m_replace->text(), matchCase(), wholeWord());
    m_status->setText(tr("%n occurrence(s) replaced.", nullptr, count));
}
