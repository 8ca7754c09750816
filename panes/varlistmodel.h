#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// One entry as the server reports it ("VAR+" gives every field, "VAR=" all but NameTip
// and Follows).
struct VarEntry
{
    QString Root;            // full reference; the row's key, unique within a list
    QString NameTip;
    QString ShortName;       // shown in the name column
    QString Follows;         // key of the row a new entry goes after
    int SubscriptLevel = 0;  // depth of the row in the tree
    bool IsFormal = false;
    bool IsPrivate = false;
    bool IsTruePrivate = false;
    bool IsDefined = false;
    bool HasDescendants = false;
    QString RawValue;        // the value as stored; what a format change sends back
    int Format = 0;
    QString Value;           // the value text to show
    int PropCount = -1;      // properties of an object; -1 when not an object
};

// The rows of one variables list: a flat vector in display order, each row carrying
// its subscript level, with the tree over it derived from the levels (a row's parent is
// the nearest row above it with a smaller level). The flat vector is the truth; the
// parent and child links are kept in step with it so the view's index()/parent() calls
// stay cheap while thousands of rows arrive one message at a time.
//
// Beside the rows it keeps the highlights of the last whole-list refresh: new rows and
// changed marks or values are coloured until the next refresh begins (resetHighlights).
//
// No widgets here: the pictures are drawn into pixmaps, so it needs a GUI application
// but no window.
class VarListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, ValueColumn = 1, ColumnCount = 2 };
    enum Role {
        KeyRole = Qt::UserRole,      // the row's Root
        HiddenRole,                  // NameTip on the name column, RawValue on the value column
        PictureRole,                 // picture name: node picture on the name column, format
                                     // picture on the value column; "" for none
        RowIdRole,
        PropCountRole,
        DescendantsMarkRole,         // the server said the row has descendants
        DefinedRole,
        LevelRole
    };

    // Values of this length or more are cut to MaxShownLength characters and "...".
    static constexpr int TruncateAt = 2048;
    static constexpr int MaxShownLength = 2047;

    // privateList: the list of private variables, which ignores entries that are not
    // private and draws formal ones in bold.
    explicit VarListModel(bool privateList, QObject *parent = nullptr);
    ~VarListModel() override;

    bool isPrivateList() const { return m_privateList; }

    // A whole-list refresh is running: new and changed rows are highlighted.
    void setRefreshing(bool refreshing) { m_refreshing = refreshing; }
    bool refreshing() const { return m_refreshing; }
    // The highlights of the last refresh go back to the colours their rows call for.
    void resetHighlights();
    // In the order the rows were made.
    QList<int> highlightedIds() const;

    // "VAR+": inserted after the row Follows (at the top when there is none). An entry
    // whose key is already listed updates that row instead: two rows with one key would
    // leave one of them unreachable.
    void addVar(const VarEntry &entry);
    // "VAR=": changes the row in place, or appends one (text and key Root) at the end.
    void updateVar(const VarEntry &entry);
    // "VARfmt" reply: shows the value again in a new format, without highlighting.
    void updateVarValue(const QString &root, const QString &value, int format);
    // "VAR-": the row and every row below it with a greater level.
    void removeVar(const QString &root);
    void clear();

    // Every row, expanded or not.
    int totalRowCount() const { return int(m_rows.size()); }
    QModelIndex indexOfKey(const QString &key, int column = NameColumn) const;
    QModelIndex indexOfId(int id, int column = NameColumn) const;
    QString keyOf(const QModelIndex &index) const;
    // Rows that arrived under this one (not just the server's mark).
    bool hasLoadedChildren(const QModelIndex &index) const;
    // The row can have descendants the server has not sent yet.
    bool canFetchDescendants(const QModelIndex &index) const;

    static QColor changedColour();     // new or changed cells
    static QColor undefinedColour();   // value cell of an undefined variable
    // The picture of a format ("#n" whole, "Tn" truncated) or of a node with
    // properties ("#4"), drawn once and kept.
    static QIcon picture(const QString &name);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row;

    // What a caller hands to setValue; an absent attribute leaves the row's as it is.
    struct ValueUpdate
    {
        QString value;
        int format = 0;
        std::optional<int> propCount;
        std::optional<bool> hasDescendants;
        std::optional<bool> isDefined;
        std::optional<bool> isTruePrivate;
        std::optional<bool> isFormal;
        std::optional<QString> rawValue;
    };

    static ValueUpdate fullUpdate(const VarEntry &entry);
    Row *rowOf(const QModelIndex &index) const;
    QModelIndex indexOf(const Row *row, int column = NameColumn) const;
    std::vector<Row *> &siblingsOf(Row *parent);
    // One past the last row below the row at `position` (the rows with a greater level).
    int subtreeEnd(int position) const;

    std::unique_ptr<Row> newRow(const QString &key, const QString &name, int level);
    Row *insertRow(int position, std::unique_ptr<Row> row);
    void relinkAll();
    void renumberFrom(std::vector<Row *> &siblings, int from);
    void setValue(Row &row, const ValueUpdate &update, bool isNew);
    void rowChanged(const Row &row);

    bool m_privateList;
    bool m_refreshing = false;
    std::vector<std::unique_ptr<Row>> m_rows;   // display order
    std::vector<Row *> m_topRows;               // rows without a parent
    QHash<QString, Row *> m_byKey;
    QHash<int, Row *> m_byId;
    QSet<int> m_highlighted;                    // ids coloured by the last refresh
    int m_nextId = 1;                           // never reused
};
