#include "frmundolist.h"

#include "sourcedocument.h"

#include <algorithm>

#include <QKeyEvent>
#include <QPointer>
#include <QListWidget>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kListWidth = 220;
constexpr int kMostRowsShown = 12;

int redoCount(const SourceDocument *document)
{
    return document->textDocument()->availableRedoSteps();
}

} // namespace

frmUndoList::frmUndoList(SourceDocument *document, QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_list(new QListWidget(this))
    , m_document(document)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->installEventFilter(this);

    const int steps = document ? document->UndoStepCount() : 0;
    for (int k = 0; k < steps; ++k)
        m_list->addItem(document->UndoStepDescription(k));
    if (steps > 0)
        m_list->setCurrentRow(0);

    const int rowHeight = std::max(1, m_list->sizeHintForRow(0));
    const int rows = std::clamp(steps, 1, kMostRowsShown);
    resize(kListWidth, rows * rowHeight + 2 * m_list->frameWidth());

    connect(m_list, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { undoTo(m_list->row(item)); });
}

frmUndoList *frmUndoList::dropDown(SourceDocument *document, const QRect &anchor)
{
    auto *list = new frmUndoList(document);
    list->setAttribute(Qt::WA_DeleteOnClose);
    list->move(anchor.left(), anchor.bottom() + 1);
    list->show();
    list->m_list->setFocus(Qt::PopupFocusReason);
    return list;
}

bool frmUndoList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            undoTo(m_list->currentRow());
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmUndoList::undoTo(int row)
{
    if (m_chosen)
        return;
    m_chosen = true;
    if (m_document && row >= 0 && row < m_list->count()) {
        for (int i = 0; i <= row && m_document->CanUndo(); ++i)
            m_document->Undo();
    }
    close();
}

int RedoAll(SourceDocument *document, const std::function<void()> &redoOnce)
{
    // A command run through the routers may close the window the document belongs to.
    QPointer<SourceDocument> doc(document);
    if (!doc)
        return 0;
    const int cap = redoCount(doc) + 1;
    int runs = 0;
    while (doc && runs < cap && doc->CanRedo()) {
        const int before = redoCount(doc);
        if (redoOnce)
            redoOnce();
        else
            doc->Redo();
        ++runs;
        if (!doc || redoCount(doc) >= before)
            break;
    }
    return runs;
}
