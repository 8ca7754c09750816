#include "varlistmodel.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

struct VarListModel::Row
{
    int id = 0;
    QString key;
    QString nameTip;
    QString name;
    int level = 0;
    bool formal = false;
    bool isPrivate = false;
    bool truePrivate = false;
    bool defined = false;
    bool mark = false;             // the server says there are descendants to fetch
    QString rawValue;
    QString valueText;             // as shown, already cut
    QString valuePicture;          // "#n", "Tn" or ""
    QString nodePicture;           // "#4" for an object with properties, else ""
    int format = 0;
    int propCount = -1;
    bool nameChanged = false;      // highlighted by the running or last refresh
    bool valueChanged = false;

    // The tree over the flat vector, derived from the levels.
    Row *parent = nullptr;
    std::vector<Row *> children;
    int childNumber = 0;           // among the parent's children (or the top rows)
    int position = 0;              // in the flat vector
};

namespace {

const QString NodePicture = QStringLiteral("#4");
const QString Ellipsis = QStringLiteral("...");
const QString FormatTip = QStringLiteral("Click symbol alongside a value to alter its display format");

QString shownValue(const QString &value)
{
    if (value.size() >= VarListModel::TruncateAt)
        return value.left(VarListModel::MaxShownLength) + Ellipsis;
    return value;
}

// The node picture: a box with a bar and two property lines, the way an object
// with members is drawn in many browsers.
void drawNode(QPainter &p)
{
    p.setPen(QColor(0, 0, 128));
    p.setBrush(QColor(255, 255, 224));
    p.drawRect(2, 2, 11, 11);
    p.fillRect(3, 3, 10, 3, QColor(0, 0, 128));
    p.drawLine(5, 8, 11, 8);
    p.drawLine(5, 11, 11, 11);
}

// A format picture: the format number in a box; a value shown cut carries a red corner.
void drawFormat(QPainter &p, const QString &number, bool truncated)
{
    p.setPen(QColor(64, 64, 64));
    p.setBrush(truncated ? QColor(255, 240, 200) : QColor(235, 245, 255));
    p.drawRoundedRect(QRectF(0.5, 1.5, 14, 13), 2, 2);
    QFont font;
    font.setPixelSize(number.size() > 1 ? 8 : 10);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(0, 1, 15, 14), Qt::AlignCenter, number);
    if (truncated) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        const QPointF corner[] = {{15, 9}, {15, 15}, {9, 15}};
        p.drawPolygon(corner, 3);
    }
}

} // namespace

VarListModel::VarListModel(bool privateList, QObject *parent)
    : QAbstractItemModel(parent)
    , m_privateList(privateList)
{
}

VarListModel::~VarListModel() = default;

QColor VarListModel::changedColour()
{
    return QColor(0xFF, 0xC0, 0xC0);
}

QColor VarListModel::undefinedColour()
{
    return QColor(0xC0, 0xC0, 0xC0);
}

QIcon VarListModel::picture(const QString &name)
{
    static QHash<QString, QIcon> cache;
    const auto it = cache.constFind(name);
    if (it != cache.constEnd())
        return *it;
    QIcon icon;
    const bool whole = name.startsWith(QLatin1Char('#'));
    const bool truncated = name.startsWith(QLatin1Char('T'));
    bool numeric = false;
    name.mid(1).toInt(&numeric);
    if ((whole || truncated) && numeric) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        if (name == NodePicture)
            drawNode(painter);
        else
            drawFormat(painter, name.mid(1), truncated);
        painter.end();
        icon = QIcon(pixmap);
    }
    cache.insert(name, icon);
    return icon;
}

// --- the rows -----------------------------------------------------------------------

VarListModel::ValueUpdate VarListModel::fullUpdate(const VarEntry &entry)
{
    ValueUpdate update;
    update.value = entry.Value;
    update.format = entry.Format;
    update.propCount = entry.PropCount;
    update.hasDescendants = entry.HasDescendants;
    update.isDefined = entry.IsDefined;
    update.isTruePrivate = entry.IsTruePrivate;
    update.isFormal = entry.IsFormal;
    update.rawValue = entry.RawValue;
    return update;
}

void VarListModel::addVar(const VarEntry &entry)
{
    if (m_privateList && !entry.IsPrivate)
        return;
    if (Row *existing = m_byKey.value(entry.Root)) {
        existing->name = entry.ShortName;
        existing->nameTip = entry.NameTip;
        existing->isPrivate = entry.IsPrivate;
        setValue(*existing, fullUpdate(entry), false);
        rowChanged(*existing);
        return;
    }
    const Row *follows = entry.Follows.isEmpty() ? nullptr : m_byKey.value(entry.Follows);
    std::unique_ptr<Row> row = newRow(entry.Root, entry.ShortName, entry.SubscriptLevel);
    row->nameTip = entry.NameTip;
    row->isPrivate = entry.IsPrivate;
    setValue(*row, fullUpdate(entry), true);
    if (m_refreshing) {
        row->nameChanged = true;
        row->valueChanged = row->defined;
    }
    insertRow(follows ? follows->position + 1 : 0, std::move(row));
}

void VarListModel::updateVar(const VarEntry &entry)
{
    if (m_privateList && !entry.IsPrivate)
        return;
    Row *row = m_byKey.value(entry.Root);
    if (!row) {
        std::unique_ptr<Row> added = newRow(entry.Root, entry.Root, entry.SubscriptLevel);
        added->isPrivate = entry.IsPrivate;
        setValue(*added, fullUpdate(entry), false);
        insertRow(totalRowCount(), std::move(added));
        return;
    }
    row->isPrivate = entry.IsPrivate;
    setValue(*row, fullUpdate(entry), false);
    rowChanged(*row);
}

void VarListModel::updateVarValue(const QString &root, const QString &value, int format)
{
    Row *row = m_byKey.value(root);
    if (!row)
        return;
    ValueUpdate update;
    update.value = value;
    update.format = format;
    setValue(*row, update, false);
    rowChanged(*row);
}

void VarListModel::removeVar(const QString &root)
{
    Row *row = m_byKey.value(root);
    if (!row)
        return;
    const int first = row->position;
    const int end = subtreeEnd(first);
    Row *parent = row->parent;
    const int childNumber = row->childNumber;
    beginRemoveRows(indexOf(parent), childNumber, childNumber);
    for (int i = first; i < end; ++i) {
        m_byKey.remove(m_rows[size_t(i)]->key);
        m_byId.remove(m_rows[size_t(i)]->id);
    }
    std::vector<Row *> &siblings = siblingsOf(parent);
    siblings.erase(siblings.begin() + childNumber);
    renumberFrom(siblings, childNumber);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + end);
    for (size_t i = size_t(first); i < m_rows.size(); ++i)
        m_rows[i]->position = int(i);
    endRemoveRows();
}

void VarListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_topRows.clear();
    m_byKey.clear();
    m_byId.clear();
    m_highlighted.clear();
    endResetModel();
}

void VarListModel::resetHighlights()
{
    // One change per parent over the span of its highlighted rows: after a refresh that
    // brought thousands of new rows, one signal per row would have the views handle each.
    QHash<Row *, std::pair<int, int>> spans;
    for (int id : std::as_const(m_highlighted)) {
        if (Row *row = m_byId.value(id)) {
            row->nameChanged = false;
            row->valueChanged = false;
            auto it = spans.find(row->parent);
            if (it == spans.end()) {
                spans.insert(row->parent, {row->childNumber, row->childNumber});
            } else {
                it->first = std::min(it->first, row->childNumber);
                it->second = std::max(it->second, row->childNumber);
            }
        }
    }
    m_highlighted.clear();
    for (auto it = spans.cbegin(); it != spans.cend(); ++it) {
        const std::vector<Row *> &siblings = siblingsOf(it.key());
        emit dataChanged(indexOf(siblings[size_t(it->first)], NameColumn),
                         indexOf(siblings[size_t(it->second)], ValueColumn));
    }
}

QList<int> VarListModel::highlightedIds() const
{
    QList<int> ids = m_highlighted.values();
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The value display rules. Absent attributes keep the row's own, so a format reply,
// which carries no defined state, draws the row as its last full report said.
void VarListModel::setValue(Row &row, const ValueUpdate &update, bool isNew)
{
    bool changed = isNew && m_refreshing;
    if (update.propCount) {
        row.propCount = *update.propCount;
        row.nodePicture = row.propCount > 0 ? NodePicture : QString();
    }
    if (update.hasDescendants && *update.hasDescendants != row.mark) {
        row.mark = *update.hasDescendants;
        if (m_refreshing) {
            row.nameChanged = true;
            changed = true;
        }
    }
    if (update.isDefined)
        row.defined = *update.isDefined;
    const QString shown = shownValue(update.value);
    row.valueChanged = false;
    if (row.defined) {
        const bool cut = update.value.size() >= TruncateAt;
        row.valuePicture = (cut ? QStringLiteral("T") : QStringLiteral("#")) + QString::number(update.format);
    } else {
        row.valuePicture.clear();
    }
    if (update.isTruePrivate)
        row.truePrivate = *update.isTruePrivate;
    if (update.isFormal)
        row.formal = *update.isFormal;
    if (update.rawValue) {
        // A new row is coloured as new by its caller, by its defined state, not here.
        if (m_refreshing && !isNew && row.valueText != shown) {
            row.valueChanged = true;
            changed = true;
        }
        row.rawValue = *update.rawValue;
    }
    row.valueText = shown;
    row.format = update.format;
    if (changed)
        m_highlighted.insert(row.id);
}

std::unique_ptr<VarListModel::Row> VarListModel::newRow(const QString &key, const QString &name, int level)
{
    auto row = std::make_unique<Row>();
    row->id = m_nextId++;
    row->key = key;
    row->name = name;
    row->level = level;
    return row;
}

VarListModel::Row *VarListModel::insertRow(int position, std::unique_ptr<Row> row)
{
    Row *added = row.get();
    const int level = added->level;
    const bool adopts = size_t(position) < m_rows.size() && m_rows[size_t(position)]->level > level;
    if (adopts) {
        // The rows after the new one move under it, a change the insert signals cannot
        // describe; the view keeps its expanded rows and selection through the
        // persistent indexes.
        emit layoutAboutToBeChanged();
        const QModelIndexList before = persistentIndexList();
        std::vector<std::pair<Row *, int>> held;
        held.reserve(size_t(before.size()));
        for (const QModelIndex &index : before)
            held.emplace_back(rowOf(index), index.column());
        m_rows.insert(m_rows.begin() + position, std::move(row));
        m_byKey.insert(added->key, added);
        m_byId.insert(added->id, added);
        relinkAll();
        QModelIndexList after;
        after.reserve(before.size());
        for (const auto &[heldRow, column] : held)
            after.append(indexOf(heldRow, column));
        changePersistentIndexList(before, after);
        emit layoutChanged();
        return added;
    }

    Row *previous = position > 0 ? m_rows[size_t(position - 1)].get() : nullptr;
    Row *parent = previous;
    while (parent && parent->level >= level)
        parent = parent->parent;
    Row *sibling = previous;
    while (sibling && sibling != parent && sibling->parent != parent)
        sibling = sibling->parent;
    const int childNumber = sibling && sibling != parent ? sibling->childNumber + 1 : 0;

    beginInsertRows(indexOf(parent), childNumber, childNumber);
    added->parent = parent;
    m_rows.insert(m_rows.begin() + position, std::move(row));
    for (size_t i = size_t(position); i < m_rows.size(); ++i)
        m_rows[i]->position = int(i);
    std::vector<Row *> &siblings = siblingsOf(parent);
    siblings.insert(siblings.begin() + childNumber, added);
    renumberFrom(siblings, childNumber);
    m_byKey.insert(added->key, added);
    m_byId.insert(added->id, added);
    endInsertRows();
    return added;
}

// The nearest row above with a smaller level is always on the chain of the row just
// above and its parents, so one pass with a stack of that chain finds every parent.
void VarListModel::relinkAll()
{
    m_topRows.clear();
    std::vector<Row *> chain;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Row *row = m_rows[i].get();
        row->position = int(i);
        row->children.clear();
        while (!chain.empty() && chain.back()->level >= row->level)
            chain.pop_back();
        row->parent = chain.empty() ? nullptr : chain.back();
        std::vector<Row *> &siblings = siblingsOf(row->parent);
        row->childNumber = int(siblings.size());
        siblings.push_back(row);
        chain.push_back(row);
    }
}

void VarListModel::renumberFrom(std::vector<Row *> &siblings, int from)
{
    for (size_t i = size_t(from); i < siblings.size(); ++i)
        siblings[i]->childNumber = int(i);
}

std::vector<VarListModel::Row *> &VarListModel::siblingsOf(Row *parent)
{
    return parent ? parent->children : m_topRows;
}

int VarListModel::subtreeEnd(int position) const
{
    const int level = m_rows[size_t(position)]->level;
    size_t end = size_t(position) + 1;
    while (end < m_rows.size() && m_rows[end]->level > level)
        ++end;
    return int(end);
}

void VarListModel::rowChanged(const Row &row)
{
    emit dataChanged(indexOf(&row, NameColumn), indexOf(&row, ValueColumn));
}

// --- lookups --------------------------------------------------------------------------

VarListModel::Row *VarListModel::rowOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Row *>(index.internalPointer()) : nullptr;
}

QModelIndex VarListModel::indexOf(const Row *row, int column) const
{
    return row ? createIndex(row->childNumber, column, const_cast<Row *>(row)) : QModelIndex();
}

QModelIndex VarListModel::indexOfKey(const QString &key, int column) const
{
    return indexOf(m_byKey.value(key), column);
}

QModelIndex VarListModel::indexOfId(int id, int column) const
{
    return indexOf(m_byId.value(id), column);
}

QString VarListModel::keyOf(const QModelIndex &index) const
{
    const Row *row = rowOf(index);
    return row ? row->key : QString();
}

bool VarListModel::hasLoadedChildren(const QModelIndex &index) const
{
    const Row *row = rowOf(index);
    return row && !row->children.empty();
}

bool VarListModel::canFetchDescendants(const QModelIndex &index) const
{
    const Row *row = rowOf(index);
    return row && (row->mark || row->propCount >= 1);
}

// --- QAbstractItemModel ---------------------------------------------------------------

QModelIndex VarListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= ColumnCount || parent.column() > 0)
        return QModelIndex();
    const std::vector<Row *> &siblings = parent.isValid() ? rowOf(parent)->children : m_topRows;
    if (row < 0 || size_t(row) >= siblings.size())
        return QModelIndex();
    return createIndex(row, column, siblings[size_t(row)]);
}

QModelIndex VarListModel::parent(const QModelIndex &child) const
{
    const Row *row = rowOf(child);
    return row ? indexOf(row->parent) : QModelIndex();
}

int VarListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(parent.isValid() ? rowOf(parent)->children.size() : m_topRows.size());
}

int VarListModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

bool VarListModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return !m_topRows.empty();
    if (parent.column() > 0)
        return false;
    const Row *row = rowOf(parent);
    return !row->children.empty() || row->mark || row->propCount >= 1;
}

QVariant VarListModel::data(const QModelIndex &index, int role) const
{
    const Row *row = rowOf(index);
    if (!row)
        return QVariant();
    const bool name = index.column() == NameColumn;
    switch (role) {
    case Qt::DisplayRole:
        return name ? row->name : row->valueText;
    case Qt::ToolTipRole:
        return name ? row->nameTip : row->valueText;
    case Qt::BackgroundRole:
        if (name)
            return row->nameChanged ? QVariant(changedColour()) : QVariant();
        if (row->valueChanged)
            return changedColour();
        return row->defined ? QVariant() : QVariant(undefinedColour());
    case Qt::ForegroundRole:
        if (row->truePrivate)
            return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        return QVariant();
    case Qt::FontRole:
        if (m_privateList && row->formal) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::DecorationRole: {
        const QString &pictureName = name ? row->nodePicture : row->valuePicture;
        return pictureName.isEmpty() ? QVariant() : QVariant(picture(pictureName));
    }
    case KeyRole:
        return row->key;
    case HiddenRole:
        return name ? row->nameTip : row->rawValue;
    case PictureRole:
        return name ? row->nodePicture : row->valuePicture;
    case RowIdRole:
        return row->id;
    case PropCountRole:
        return row->propCount;
    case DescendantsMarkRole:
        return row->mark;
    case DefinedRole:
        return row->defined;
    case LevelRole:
        return row->level;
    default:
        return QVariant();
    }
}

QVariant VarListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole) {
        if (section == NameColumn)
            return QStringLiteral("Name");
        if (section == ValueColumn)
            return QStringLiteral("Value");
    }
    if (role == Qt::ToolTipRole && section == ValueColumn && !m_rows.empty())
        return FormatTip;
    return QVariant();
}

Qt::ItemFlags VarListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
