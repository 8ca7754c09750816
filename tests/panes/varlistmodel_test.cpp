// The rows of a variables list without a view: where entries land, what a refresh
// highlights, how values are shown, and that the derived tree stays a sound model.

#include "varlistmodel.h"

#include <QAbstractItemModelTester>
#include <QColor>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// Failures show texts, not their bytes.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The model tester reports a broken model as warnings; a test fails on any of them.
class ModelWarnings
{
public:
    ModelWarnings() { s_seen = &m_seen; m_previous = qInstallMessageHandler(&ModelWarnings::handle); }
    ~ModelWarnings()
    {
        qInstallMessageHandler(m_previous);
        s_seen = nullptr;
    }
    QStringList seen() const { return m_seen; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type != QtDebugMsg && type != QtInfoMsg && s_seen)
            s_seen->append(text);
    }
    static inline QStringList *s_seen = nullptr;
    QStringList m_seen;
    QtMessageHandler m_previous;
};

VarEntry entry(const QString &root, int level = 0, const QString &follows = QString(),
               const QString &value = QStringLiteral("1"))
{
    VarEntry e;
    e.Root = root;
    e.NameTip = root + QStringLiteral(" tip");
    e.ShortName = root;
    e.Follows = follows;
    e.SubscriptLevel = level;
    e.IsPrivate = true;
    e.IsDefined = true;
    e.RawValue = value;
    e.Value = value;
    return e;
}

// Every row in display order, one space of indent per tree depth: walks the model's
// own index()/rowCount(), so a wrong parent shows up as a wrong indent.
QStringList shape(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex(), int depth = 0)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        out << QString(depth, QLatin1Char(' ')) + index.data().toString();
        out << shape(model, index, depth + 1);
    }
    return out;
}

QVariant background(const VarListModel &model, const QString &key, int column)
{
    return model.indexOfKey(key, column).data(Qt::BackgroundRole);
}

const QVariant Pink = VarListModel::changedColour();
const QVariant Grey = VarListModel::undefinedColour();
const QVariant Normal;

// A list of entries in the order given, each after the one before when it has the
// same or a greater level (the way the server reports a tree).
void fill(VarListModel &model, const QList<VarEntry> &entries)
{
    for (const VarEntry &e : entries)
        model.addVar(e);
}

} // namespace

TEST(VarListModel, PlacesEntriesAfterTheirFollowsRow)
{
    using Build = std::function<void(VarListModel &)>;
    struct Case { const char *name; Build build; QStringList shape; };
    const Case cases[] = {
        {"first entry of an empty list", [](VarListModel &m) { m.addVar(entry("X")); }, {"X"}},
        {"after the Follows row",
         [](VarListModel &m) { fill(m, {entry("A"), entry("B", 0, "A"), entry("C", 0, "A")}); },
         {"A", "C", "B"}},
        {"Follows absent goes to the top",
         [](VarListModel &m) { fill(m, {entry("A"), entry("B", 0, "A"), entry("C", 0, "nowhere")}); },
         {"C", "A", "B"}},
        {"empty Follows goes to the top",
         [](VarListModel &m) { fill(m, {entry("A"), entry("B")}); }, {"B", "A"}},
        {"a child after its parent",
         [](VarListModel &m) { fill(m, {entry("A"), entry("B", 0, "A"), entry("A(1)", 1, "A")}); },
         {"A", " A(1)", "B"}},
        {"grandchildren and a second child",
         [](VarListModel &m) {
             fill(m, {entry("A"), entry("A(1)", 1, "A"), entry("A(1,1)", 2, "A(1)"), entry("A(2)", 1, "A(1,1)"),
                      entry("B", 0, "A(2)")});
         },
         {"A", " A(1)", "  A(1,1)", " A(2)", "B"}},
        {"a level skipped still hangs under the row above",
         [](VarListModel &m) { fill(m, {entry("A"), entry("A(1,1)", 2, "A")}); }, {"A", " A(1,1)"}},
        {"a parent put above rows that were top rows adopts them",
         [](VarListModel &m) { fill(m, {entry("A(1)", 1), entry("A(2)", 1, "A(1)"), entry("A")}); },
         {"A", " A(1)", " A(2)"}},
        {"a row put between a parent and its children takes them",
         [](VarListModel &m) { fill(m, {entry("A"), entry("A(1)", 1, "A"), entry("B", 0, "A")}); },
         {"A", "B", " A(1)"}},
        {"an entry listed again stays where it is",
         [](VarListModel &m) { fill(m, {entry("A"), entry("B", 0, "A"), entry("A", 0, "B")}); },
         {"A", "B"}},
    };
    for (const Case &c : cases) {
        ModelWarnings warnings;
        VarListModel model(false);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        c.build(model);
        EXPECT_EQ(warnings.seen(), QStringList()) << c.name;
        EXPECT_EQ(shape(model), c.shape) << c.name;
        EXPECT_EQ(model.totalRowCount(), c.shape.size()) << c.name;
    }
}

TEST(VarListModel, UpdateVarChangesInPlaceOrAppendsAndTheFilterOfThePrivateList)
{
    struct Case
    {
        const char *name;
        bool privateList;
        VarEntry update;
        QStringList shape;
        QString valueOfUpdated;   // "" when the row must not be there
    };
    VarEntry publicB = entry("B", 0, QString(), "changed");
    publicB.IsPrivate = false;
    VarEntry newChild = entry("Z(1)", 1, QString(), "new");
    const Case cases[] = {
        {"present: changed in place", false, entry("A", 0, QString(), "changed"), {"A", "B"}, "changed"},
        {"absent: appended at the end with its full name", false, newChild, {"A", "B", " Z(1)"}, "new"},
        {"private list: a public entry is ignored", true, publicB, {"A", "B"}, "1"},
        {"private list: a private entry is taken", true, entry("B", 0, QString(), "changed"), {"A", "B"}, "changed"},
    };
    for (const Case &c : cases) {
        VarListModel model(c.privateList);
        fill(model, {entry("A"), entry("B", 0, "A")});
        model.updateVar(c.update);
        EXPECT_EQ(shape(model), c.shape) << c.name;
        EXPECT_EQ(model.indexOfKey(c.update.Root, VarListModel::ValueColumn).data().toString(), c.valueOfUpdated)
            << c.name;
    }

    VarListModel privateList(true);
    VarEntry notPrivate = entry("P");
    notPrivate.IsPrivate = false;
    privateList.addVar(notPrivate);
    EXPECT_EQ(privateList.totalRowCount(), 0);
}

TEST(VarListModel, RemoveVarTakesTheRowAndItsDescendantsOnly)
{
    struct Case { const char *name; QString root; QStringList shape; };
    const Case cases[] = {
        {"a node with descendants", "A(1)", {"A", " A(2)", "B"}},
        {"a top row", "A", {"B"}},
        {"a leaf", "A(1,1)", {"A", " A(1)", " A(2)", "B"}},
        {"the last row", "B", {"A", " A(1)", "  A(1,1)", " A(2)"}},
        {"an unknown key", "Q", {"A", " A(1)", "  A(1,1)", " A(2)", "B"}},
    };
    for (const Case &c : cases) {
        ModelWarnings warnings;
        VarListModel model(false);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        fill(model, {entry("A"), entry("A(1)", 1, "A"), entry("A(1,1)", 2, "A(1)"), entry("A(2)", 1, "A(1,1)"),
                     entry("B", 0, "A(2)")});
        model.removeVar(c.root);
        EXPECT_EQ(warnings.seen(), QStringList()) << c.name;
        EXPECT_EQ(shape(model), c.shape) << c.name;
        EXPECT_FALSE(model.indexOfKey(c.root).isValid()) << c.name;
        // The rows that stay can still be found and removed.
        for (const QString &row : c.shape)
            EXPECT_TRUE(model.indexOfKey(row.trimmed()).isValid()) << c.name;
    }
    VarListModel empty(false);
    empty.removeVar(QStringLiteral("A"));
    EXPECT_EQ(empty.totalRowCount(), 0);
}

TEST(VarListModel, ShowsLongValuesCutAndUndefinedOnesGreyWithoutPicture)
{
    struct Case
    {
        int length;
        bool defined;
        int shownLength;
        const char *picture;
        QVariant valueBackground;
    };
    const Case cases[] = {
        {2047, true, 2047, "#3", Normal},
        {2048, true, 2047 + 3, "T3", Normal},
        {3000, true, 2047 + 3, "T3", Normal},
        {5, false, 5, "", Grey},
    };
    for (const Case &c : cases) {
        VarListModel model(false);
        VarEntry e = entry("X", 0, QString(), QString(c.length, QLatin1Char('v')));
        e.Format = 3;
        e.IsDefined = c.defined;
        model.addVar(e);
        const QModelIndex value = model.indexOfKey("X", VarListModel::ValueColumn);
        const QString shown = value.data().toString();
        EXPECT_EQ(shown.size(), c.shownLength) << c.length;
        EXPECT_EQ(shown.endsWith("..."), c.length >= 2048) << c.length;
        EXPECT_EQ(value.data(VarListModel::PictureRole).toString(), c.picture) << c.length;
        EXPECT_EQ(value.data(Qt::DecorationRole).isNull(), !*c.picture) << c.length;
        EXPECT_EQ(value.data(VarListModel::HiddenRole).toString().size(), c.length) << c.length;
        EXPECT_EQ(value.data(Qt::BackgroundRole), c.valueBackground) << c.length;
    }
}

TEST(VarListModel, ObjectsWithPropertiesGetTheNodePictureAndCanExpand)
{
    struct Case { int propCount; bool mark; const char *nodePicture; bool hasChildren; };
    const Case cases[] = {
        {2, false, "#4", true},
        {0, false, "", false},
        {-1, false, "", false},
        {-1, true, "", true},
    };
    for (const Case &c : cases) {
        VarListModel model(false);
        VarEntry e = entry("O");
        e.PropCount = c.propCount;
        e.HasDescendants = c.mark;
        model.addVar(e);
        const QModelIndex name = model.indexOfKey("O");
        EXPECT_EQ(name.data(VarListModel::PictureRole).toString(), c.nodePicture) << c.propCount;
        EXPECT_EQ(model.hasChildren(name), c.hasChildren) << c.propCount;
        EXPECT_EQ(model.canFetchDescendants(name), c.hasChildren) << c.propCount;
        EXPECT_FALSE(model.hasLoadedChildren(name)) << c.propCount;
    }
    EXPECT_FALSE(VarListModel::picture("#4").isNull());
    EXPECT_FALSE(VarListModel::picture("T12").isNull());
    EXPECT_TRUE(VarListModel::picture("x").isNull());
}

TEST(VarListModel, ARefreshHighlightsNewAndChangedRowsUntilTheNextOne)
{
    VarListModel model(false);
    model.setRefreshing(true);
    VarEntry y = entry("Y", 0, "X");
    y.IsDefined = false;
    fill(model, {entry("X", 0, QString(), "1"), y});
    EXPECT_EQ(background(model, "X", 0), Pink);
    EXPECT_EQ(background(model, "X", 1), Pink);
    EXPECT_EQ(background(model, "Y", 0), Pink);
    EXPECT_EQ(background(model, "Y", 1), Grey) << "an undefined new value is not highlighted";
    EXPECT_EQ(model.highlightedIds().size(), 2);

    // The next refresh starts from the colours the rows call for: grey stays grey.
    model.resetHighlights();
    EXPECT_EQ(background(model, "X", 0), Normal);
    EXPECT_EQ(background(model, "X", 1), Normal);
    EXPECT_EQ(background(model, "Y", 1), Grey);
    EXPECT_TRUE(model.highlightedIds().isEmpty());

    struct Case { const char *name; VarEntry update; QVariant name0; QVariant value1; };
    VarEntry marked = entry("X", 0, QString(), "1");
    marked.HasDescendants = true;
    QString longValue(3000, QLatin1Char('a'));
    VarEntry longX = entry("X", 0, QString(), longValue);
    VarEntry longTailChanged = longX;
    longTailChanged.Value[2900] = QLatin1Char('b');
    longTailChanged.RawValue = longTailChanged.Value;
    const Case cases[] = {
        {"same value", entry("X", 0, QString(), "1"), Normal, Normal},
        {"changed value", entry("X", 0, QString(), "2"), Normal, Pink},
        {"descendants mark set", marked, Pink, Normal},
    };
    for (const Case &c : cases) {
        model.resetHighlights();
        model.updateVar(entry("X", 0, QString(), "1"));
        model.updateVar(c.update);
        EXPECT_EQ(background(model, "X", 0), c.name0) << c.name;
        EXPECT_EQ(background(model, "X", 1), c.value1) << c.name;
        EXPECT_EQ(background(model, "Y", 1), Grey) << c.name;
        EXPECT_EQ(model.highlightedIds().size(), c.name0 == Pink || c.value1 == Pink ? 1 : 0) << c.name;
        model.setRefreshing(false);
        model.updateVar(entry("X", 0, QString(), "1"));
        model.setRefreshing(true);
    }

    // What is compared is the text shown: a change past the cut is not seen.
    model.updateVar(longX);
    model.resetHighlights();
    model.updateVar(longTailChanged);
    EXPECT_EQ(background(model, "X", 1), Normal);

    // Rows fetched below a node are not a refresh: nothing is coloured.
    model.setRefreshing(false);
    model.resetHighlights();
    model.addVar(entry("X(1)", 1, "X"));
    model.updateVar(entry("X", 0, QString(), "9"));
    EXPECT_EQ(background(model, "X(1)", 0), Normal);
    EXPECT_EQ(background(model, "X", 1), Normal);
}

TEST(VarListModel, AFormatReplyRedrawsTheValueByTheRowsDefinedState)
{
    VarListModel model(false);
    model.setRefreshing(true);
    VarEntry undefinedEntry = entry("U", 0, QString(), "");
    undefinedEntry.IsDefined = false;
    fill(model, {entry("X", 0, QString(), "65"), undefinedEntry});

    model.updateVarValue("X", "\"A\"", 2);
    const QModelIndex x = model.indexOfKey("X", VarListModel::ValueColumn);
    EXPECT_EQ(x.data().toString(), "\"A\"");
    EXPECT_EQ(x.data(VarListModel::PictureRole).toString(), "#2");
    EXPECT_EQ(x.data(VarListModel::HiddenRole).toString(), "65") << "the raw value stays";
    EXPECT_EQ(x.data(Qt::BackgroundRole), Normal) << "no highlight";

    model.updateVarValue("U", "x", 1);
    const QModelIndex u = model.indexOfKey("U", VarListModel::ValueColumn);
    EXPECT_EQ(u.data(Qt::BackgroundRole), Grey);
    EXPECT_EQ(u.data(VarListModel::PictureRole).toString(), "");

    model.updateVarValue("missing", "x", 1);
    EXPECT_EQ(model.totalRowCount(), 2);
}

TEST(VarListModel, TipsFontsAndTheHeaderTip)
{
    VarListModel model(true);
    EXPECT_FALSE(model.headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());
    VarEntry formal = entry("F", 0, QString(), "v");
    formal.IsFormal = true;
    formal.IsTruePrivate = true;
    model.addVar(formal);
    EXPECT_EQ(model.indexOfKey("F", 0).data(Qt::ToolTipRole).toString(), "F tip");
    EXPECT_EQ(model.indexOfKey("F", 1).data(Qt::ToolTipRole).toString(), "v");
    EXPECT_TRUE(model.indexOfKey("F", 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model.indexOfKey("F", 0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(),
              "Click symbol alongside a value to alter its display format");

    VarListModel publicList(false);
    publicList.addVar(formal);
    EXPECT_FALSE(publicList.indexOfKey("F", 0).data(Qt::FontRole).isValid()) << "bold only on the private list";
}

// Many rows arriving in the order a server sends them, with removals between, keep
// the model sound and every key reachable.
TEST(VarListModel, StaysSoundThroughManyInsertionsAndRemovals)
{
    ModelWarnings warnings;
    VarListModel model(false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QString previous;
    for (int i = 0; i < 300; ++i) {
        const QString key = QStringLiteral("V%1").arg(i, 3, 10, QLatin1Char('0'));
        model.addVar(entry(key, 0, previous));
        model.addVar(entry(key + "(1)", 1, key));
        model.addVar(entry(key + "(1,1)", 2, key + "(1)"));
        previous = key + "(1,1)";
    }
    for (int i = 0; i < 300; i += 3)
        model.removeVar(QStringLiteral("V%1(1)").arg(i, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(warnings.seen(), QStringList());
    EXPECT_EQ(model.totalRowCount(), 900 - 200);
    EXPECT_EQ(model.rowCount(), 300);
    const QModelIndex v001 = model.indexOfKey("V001(1,1)");
    ASSERT_TRUE(v001.isValid());
    EXPECT_EQ(model.keyOf(v001.parent().parent()), "V001");
    EXPECT_EQ(model.keyOf(model.index(299, 0)), "V299");
    model.clear();
    EXPECT_EQ(model.totalRowCount(), 0);
    EXPECT_FALSE(model.indexOfKey("V001").isValid());
}
