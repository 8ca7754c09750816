#include "gridcontrol.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QValidator>

#include <algorithm>

GridControl::GridControl(const QStringList &titles, QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(int(titles.size()));
    setHeaderLabels(titles);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Editors open only when the pane asks; Qt's own triggers would bypass its rules.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new GridDelegate(this));
    header()->setSectionsMovable(true);
    // A tree view keeps its first column in place for the branch lines; these grids are flat
    // lists, and every column's place is the user's (the saved order names them all).
    header()->setFirstSectionMovable(true);
    connect(header(), &QHeaderView::sectionHandleDoubleClicked, this,
            [this](int col) { resizeColumnToContents(col); });
}

int GridControl::appendRow()
{
    return insertRow(rowCount());
}

int GridControl::insertRow(int at)
{
    auto *item = new QTreeWidgetItem;
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    const int id = m_nextId++;
    item->setData(0, RowIdRole, id);
    m_rows.insert(id, item);
    at = std::clamp(at, 0, rowCount());
    insertTopLevelItem(at, item);
    return at;
}

void GridControl::removeRow(int r)
{
    QTreeWidgetItem *item = row(r);
    if (!item)
        return;
    m_rows.remove(item->data(0, RowIdRole).toInt());
    delete takeTopLevelItem(r);
}

int GridControl::rowId(int r) const
{
    QTreeWidgetItem *item = row(r);
    return item ? item->data(0, RowIdRole).toInt() : 0;
}

int GridControl::rowOfId(int id) const
{
    QTreeWidgetItem *item = m_rows.value(id);
    return item ? indexOfTopLevelItem(item) : -1;
}

int GridControl::findRow(int start, int col, const QString &value) const
{
    for (int r = std::max(start, 0); r < rowCount(); ++r)
        if (text(r, col) == value)
            return r;
    return -1;
}

QString GridControl::text(int r, int col) const
{
    QTreeWidgetItem *item = row(r);
    return item ? item->text(col) : QString();
}

void GridControl::setText(int r, int col, const QString &value)
{
    if (QTreeWidgetItem *item = row(r))
        item->setText(col, value);
}

QString GridControl::hidden(int r, int col) const
{
    QTreeWidgetItem *item = row(r);
    return item ? item->data(col, HiddenRole).toString() : QString();
}

void GridControl::setHidden(int r, int col, const QString &value)
{
    if (QTreeWidgetItem *item = row(r))
        item->setData(col, HiddenRole, value);
}

qint64 GridControl::number(int r, int col) const
{
    QTreeWidgetItem *item = row(r);
    return item ? item->data(col, NumberRole).toLongLong() : 0;
}

void GridControl::setNumber(int r, int col, qint64 value)
{
    if (QTreeWidgetItem *item = row(r))
        item->setData(col, NumberRole, value);
}

QString GridControl::picture(int r, int col) const
{
    QTreeWidgetItem *item = row(r);
    return item ? item->data(col, PictureRole).toString() : QString();
}

void GridControl::setPicture(int r, int col, const QString &name)
{
    QTreeWidgetItem *item = row(r);
    if (!item || item->data(col, PictureRole).toString() == name)
        return;
    item->setData(col, PictureRole, name);
    item->setIcon(col, pictureIcon(name));
}

QString GridControl::editText(int r, int col) const
{
    QTreeWidgetItem *item = row(r);
    if (!item)
        return QString();
    const QVariant value = item->data(col, EditTextRole);
    return value.isValid() ? value.toString() : item->text(col);
}

void GridControl::setEditText(int r, int col, const QString &value)
{
    if (QTreeWidgetItem *item = row(r))
        item->setData(col, EditTextRole, value);
}

int GridControl::currentRowIndex() const
{
    QTreeWidgetItem *item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}

void GridControl::setCurrentRowIndex(int r)
{
    if (QTreeWidgetItem *item = row(r))
        setCurrentItem(item, currentColumn() < 0 ? 0 : currentColumn(), QItemSelectionModel::NoUpdate);
}

QList<int> GridControl::selectedRows() const
{
    QList<int> rows;
    for (QTreeWidgetItem *item : selectedItems())
        rows.append(indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void GridControl::selectOnly(int r)
{
    clearSelection();
    if (QTreeWidgetItem *item = row(r)) {
        setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        item->setSelected(true);
    }
}

void GridControl::sortRows(int col, const Compare &compare)
{
    QTreeWidgetItem *current = currentItem();
    QList<QTreeWidgetItem *> selected = selectedItems();
    QList<QTreeWidgetItem *> items;
    {
        // Taking the rows out would report every one as deselected; nothing changed for
        // the user, so nothing may be reported.
        const QSignalBlocker blocker(selectionModel());
        while (rowCount() > 0)
            items.append(takeTopLevelItem(0));
        std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem *a, QTreeWidgetItem *b) {
            return compare(a->text(col), b->text(col), a->data(col, NumberRole).toLongLong(),
                           b->data(col, NumberRole).toLongLong()) < 0;
        });
        addTopLevelItems(items);
        if (current)
            setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
        for (QTreeWidgetItem *item : selected)
            item->setSelected(true);
    }
    viewport()->update();
}

void GridControl::setColumnEditable(int col, bool editable)
{
    m_readOnlyColumns[col] = !editable;
}

bool GridControl::columnEditable(int col) const
{
    return !m_readOnlyColumns.value(col, false);
}

void GridControl::setColumnValidator(int col, QValidator *validator)
{
    if (validator)
        validator->setParent(this);
    m_validators[col] = validator;
}

void GridControl::editCell(int r, int col)
{
    QTreeWidgetItem *item = row(r);
    if (!item || !columnEditable(col))
        return;
    setCurrentItem(item, col, QItemSelectionModel::NoUpdate);
    edit(indexFromItem(item, col));
}

void GridControl::editCellLater(int r, int col)
{
    // The row is named by identifier: a sort or removal before the call must not move
    // the editor to another breakpoint.
    const int id = rowId(r);
    QMetaObject::invokeMethod(this, [this, id, col] {
        const int at = rowOfId(id);
        if (at >= 0 && !isEditing())
            editCell(at, col);
    }, Qt::QueuedConnection);
}

int GridControl::editRow() const
{
    return m_editIndex.isValid() ? m_editIndex.row() : -1;
}

bool GridControl::endEdit(bool accept, bool raisePostEdit)
{
    if (!m_editor)
        return true;
    QLineEdit *editor = m_editor;
    if (accept) {
        commitData(editor);
        if (m_refused)
            return false;
    }
    m_quietClose = !raisePostEdit;
    closeEditor(editor, accept ? QAbstractItemDelegate::NoHint : QAbstractItemDelegate::RevertModelCache);
    return true;
}

void GridControl::commitData(QWidget *editor)
{
    if (editor != m_editor)
        return QTreeWidget::commitData(editor);
    m_refused = false;
    QTreeWidget::commitData(editor);
    m_committed = !m_refused;
}

void GridControl::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor != m_editor || !m_editor) {
        QTreeWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
        return;
    }
    const bool accepted = m_committed && hint != QAbstractItemDelegate::RevertModelCache;
    const int r = editRow();
    const int col = m_editIndex.column();
    const bool quiet = m_quietClose;
    m_editor = nullptr;
    m_editIndex = QPersistentModelIndex();
    m_committed = false;
    m_quietClose = false;
    // The grid's own hints (move to the next cell) are not ours to follow.
    QTreeWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    if (!quiet)
        emit postEdit(accepted, r, col);
}

QRect GridControl::checkRect(int r) const
{
    QTreeWidgetItem *item = row(r);
    if (!item)
        return QRect();
    QRect rect = visualItemRect(item);
    rect.setLeft(columnViewportPosition(0));
    rect.setWidth(std::min(columnWidth(0), iconSize().isValid() ? iconSize().width() + 6 : rect.height() + 4));
    if (rect.width() <= 0)
        rect.setWidth(rect.height() + 4);
    return rect;
}

void GridControl::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    QTreeWidgetItem *item = itemAt(event->position().toPoint());
    if (!item)
        return;
    const int r = indexOfTopLevelItem(item);
    if (checkRect(r).contains(event->position().toPoint()))
        emit checkClicked(r);
}

void GridControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    QTreeWidgetItem *item = itemAt(at);
    if (!item)
        return;
    const int r = indexOfTopLevelItem(item);
    int col = columnAt(at.x());
    // The hint spans several columns and names none of them: a new entry starts where
    // one is typed first, not in whichever column the click happened to land.
    if (r == rowCount() - 1 && showsEntryHint() && at.x() >= columnViewportPosition(hintColumn()))
        col = firstEditableColumn();
    emit cellDoubleClicked(r, col);
}

int GridControl::hintColumn() const
{
    return header()->logicalIndex(header()->logicalIndex(0) == 0 ? 1 : 0);
}

int GridControl::firstEditableColumn() const
{
    for (int position = 0; position < header()->count(); ++position) {
        const int col = header()->logicalIndex(position);
        if (col > 0 && columnEditable(col) && !header()->isSectionHidden(col))
            return col;
    }
    return -1;
}

void GridControl::setEntryHint(const QString &hint)
{
    m_entryHint = hint;
    viewport()->update();
}

bool GridControl::showsEntryHint() const
{
    const int last = rowCount() - 1;
    if (m_entryHint.isEmpty() || last < 0 || (isEditing() && editRow() == last))
        return false;
    for (int col = 1; col < columnCount(); ++col) {
        if (!text(last, col).isEmpty())
            return false;
    }
    return true;
}

void GridControl::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QTreeWidget::drawRow(painter, option, index);
    if (index.row() != rowCount() - 1 || index.parent().isValid() || !showsEntryHint())
        return;
    // From the first column after the check box to the right edge, whatever the order.
    QRect rect = option.rect;
    rect.setLeft(columnViewportPosition(hintColumn()) + 4);
    rect.setRight(viewport()->width() - 4);
    painter->save();
    QFont font = option.font;
    font.setItalic(true);
    painter->setFont(font);
    painter->setPen(palette().color(QPalette::PlaceholderText));
    painter->drawText(rect, Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetrics(font).elidedText(m_entryHint, Qt::ElideRight, rect.width()));
    painter->restore();
}

namespace {
std::function<void()> g_beeper;
} // namespace

void GridControl::setBeeper(std::function<void()> beeper)
{
    g_beeper = std::move(beeper);
}

void GridControl::Beep()
{
    if (g_beeper)
        g_beeper();
    else
        QApplication::beep();
}

QIcon GridControl::pictureIcon(const QString &name)
{
    static QHash<QString, QIcon> icons;
    if (name.isEmpty() || !qApp)
        return QIcon();
    if (icons.contains(name))
        return icons.value(name);
    QIcon icon;
    QStyle *style = QApplication::style();
    if (name == QLatin1String("Error")) {
        icon = style->standardIcon(QStyle::SP_MessageBoxCritical);
    } else if (name == QLatin1String("Checked") || name == QLatin1String("Unchecked")) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        QStyleOptionButton option;
        option.rect = QRect(1, 1, 14, 14);
        option.state = QStyle::State_Enabled
                       | (name == QLatin1String("Checked") ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter);
        painter.end();
        icon = QIcon(pixmap);
    }
    icons.insert(name, icon);
    return icon;
}

// --- the editor ---------------------------------------------------------------------

GridDelegate::GridDelegate(GridControl *grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                    const QModelIndex &index) const
{
    if (!m_grid->columnEditable(index.column()) || m_grid->m_editor)
        return nullptr;
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    if (QValidator *validator = m_grid->m_validators.value(index.column())) {
        editor->setValidator(validator);
        // A character that silently vanishes looks like a stuck key; the user hears why.
        connect(editor, &QLineEdit::inputRejected, m_grid, [] { GridControl::Beep(); });
    }
    m_grid->m_editor = editor;
    m_grid->m_editIndex = index;
    m_grid->m_committed = false;
    emit m_grid->editStarted(index.row(), index.column());
    return editor;
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(m_grid->editText(index.row(), index.column()));
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line)
        return;
    QString value = line->text();
    if (m_grid->validateCell && !m_grid->validateCell(index.row(), index.column(), value)) {
        m_grid->m_refused = true;
        return;
    }
    QTreeWidgetItem *item = m_grid->topLevelItem(index.row());
    if (!item)
        return;
    if (item->data(index.column(), GridControl::EditTextRole).isValid())
        item->setData(index.column(), GridControl::EditTextRole, value);
    item->setText(index.column(), value);
}

bool GridDelegate::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Insert:
            if (m_grid->editKeyDown && m_grid->editKeyDown(key->key(), key->modifiers()))
                return true;
            break;
        default:
            break;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
