#include "columnfit.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>

ColumnFit::ColumnFit(QTreeView *view, int nameColumn, std::function<QList<int>()> needs)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_headerViewport(view->header()->viewport()),
      m_nameColumn(nameColumn), m_needs(std::move(needs))
{
    m_viewport->installEventFilter(this);
    m_headerViewport->installEventFilter(this);
    // The header also resizes its last section by itself as the view's width changes; only
    // a change made with a button down on the header is the user's.
    connect(view->header(), &QHeaderView::sectionResized, this, [this] {
        if (m_dragging && !m_applying)
            m_userSized = true;
    });
}

QList<int> ColumnFit::widths(const QList<int> &needs, int nameColumn, int room)
{
    QList<int> result = needs;
    if (nameColumn < 0 || nameColumn >= needs.size())
        return result;
    room = std::max(room, 0);
    qint64 others = 0;
    for (int c = 0; c < needs.size(); ++c) {
        if (c != nameColumn)
            others += std::max(needs.at(c), 0);
    }
    const qint64 nameRoom = room - others;
    if (nameRoom >= needs.at(nameColumn))
        return result;
    const int half = room / 2;
    if (nameRoom >= half) {
        result[nameColumn] = int(nameRoom);
        return result;
    }
    result[nameColumn] = std::min(needs.at(nameColumn), half);
    const qint64 rest = room - result.at(nameColumn);
    for (int c = 0; c < needs.size(); ++c) {
        if (c != nameColumn)
            result[c] = others > 0 ? int(std::max(needs.at(c), 0) * rest / others) : 0;
    }
    return result;
}

void ColumnFit::refit()
{
    if (m_userSized)
        return;
    QHeaderView *header = m_view->header();
    const int room = m_view->viewport()->width();
    const QList<int> needs = m_needs();
    if (room <= 0 || needs.size() != header->count())
        return;
    const QList<int> fitted = widths(needs, m_nameColumn, room);
    m_applying = true;
    for (int c = 0; c < fitted.size(); ++c)
        header->resizeSection(c, fitted.at(c));
    m_applying = false;
}

void ColumnFit::reset()
{
    m_userSized = false;
    refit();
}

bool ColumnFit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && event->type() == QEvent::Resize) {
        refit();
    } else if (watched == m_headerViewport) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            m_dragging = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            m_dragging = false;
    }
    return QObject::eventFilter(watched, event);
}
