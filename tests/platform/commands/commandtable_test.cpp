#include "command.h"
#include "commandcategory.h"
#include "commandicons.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "commandui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QToolBar>

#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const CommandDesign::CommandDef *findDef(const QString &id)
{
    for (const CommandDesign::CommandDef &def : vantrelCommandDesign().commands) {
        if (def.id == id)
            return &def;
    }
    return nullptr;
}

// The bar as the user sees it: command identifiers, "|" for a separator.
QString renderBar(QToolBar *bar)
{
    QStringList out;
    const QList<QAction *> actions = bar->actions();
    for (QAction *action : actions) {
        if (action->isSeparator()) {
            out.append(QStringLiteral("|"));
            continue;
        }
        QWidget *widget = bar->widgetForAction(action);
        CommandUI *ui = widget ? widget->findChild<CommandUI *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
        out.append(ui ? ui->command()->id() : QStringLiteral("?"));
    }
    return out.join(QLatin1Char(' '));
}

struct BarCase { const char *name; const char *caption; const char *items; };
const BarCase bars[] = {
    {"tlbFile", "File", "FlNew FlOpen FlSave FlSaveAll | FlPrint"},
    {"tlbDebug", "Debug",
     "DbgConnect DbgAttach DbgDisconnect | DbgGoFast DbgGo DbgBreak DbgStepIn DbgStepOver DbgStepOut "
     "DbgRunTo | DbgToggle | DbgLinewise DbgBonE"},
    {"tlbBlocks", "Blocks", "BlkCollapse BlkExpand BlkCollapseAll BlkExpandAll"},
    {"tlbView", "View", "VwImmediate VwStack VwVars VwBPs"},
    {"tlbEdit", "Edit", "EdGoto EdCut EdCopy EdPaste EdDelete | EdFind EdFindNext EdReplace | EdUndo EdRedo"},
    {"tlbBookmarks", "Bookmarks", "BmkToggle | BmkFirst BmkPrevious BmkNext BmkLast | BmkClearAll"},
};

} // namespace

TEST(CommandTable, HoldsFortyThreeUniqueCommandsInSixCategories)
{
    const CommandDesign &design = vantrelCommandDesign();
    QStringList categories;
    for (const CommandDesign::CategoryDef &category : design.categories) {
        categories.append(category.name);
        EXPECT_EQ(category.caption, category.name);
        EXPECT_TRUE(category.visible);
    }
    EXPECT_EQ(categories, (QStringList{"Debug", "Blocks", "View", "Edit", "Bookmarks", "File"}));

    ASSERT_EQ(design.commands.size(), 43);
    QSet<QString> ids;
    for (const CommandDesign::CommandDef &def : design.commands) {
        EXPECT_FALSE(ids.contains(def.id)) << def.id.toStdString();
        ids.insert(def.id);
        EXPECT_TRUE(categories.contains(def.category)) << def.id.toStdString();
        EXPECT_EQ(def.image.isEmpty(), def.id == "FlSaveAs" || def.id == "EdGoto") << def.id.toStdString();
        EXPECT_EQ(def.dropDown, def.id == "EdUndo") << def.id.toStdString();
    }
}

TEST(CommandTable, KeepsTheProgramsTextsExactly)
{
    struct Case { const char *id; QString toolTip; QString caption; QString description; };
    const Case cases[] = {
        {"BlkCollapse", "Collapse Block on Current Line (Ctrl+'-') ", "Collapse", ""},
        {"BlkExpand", "Expand Block on Current Line (Ctrl+'+')", "Expand", ""},
        {"DbgGoFast", "Fast Forward (Shift+F5)", "Fast Forward",
         "Resume fast non-step execution.  Interruption using the Break button or menu command is not possible."},
        {"DbgRunTo", "Run Fast to Cursor Line (Ctrl+F8)", "Run to Cursor",
         "Run until execution reaches the line containing the cursor, or until a breakpoint is encountered. "
         "Interruption using the Break button or menu command is not possible."},
        {"DbgAttach", QString::fromUtf8("Attach to running Cach\u00e9 or Ensemble process"), "Attach",
         "Attach to a running process and debug it"},
        {"DbgConnect", "Connect using Rovivi Ziveza", "Connect", "Connect to a waiting debug session"},
        {"EdUndo", "Undo", "", ""},
        {"EdGoto", "Go to Line (Ctrl+G)", "Goto Line", "Goto to a line label"},
        {"FlSaveAs", "Save As", "Save As...", "Save current routine under a different name"},
        {"DbgToggle", "Toggle Breakpoint on Current Line", "Toggle Breakpoint", "Toggle Breakpoint on Current Line"},
    };
    for (const Case &c : cases) {
        const CommandDesign::CommandDef *def = findDef(QString::fromLatin1(c.id));
        ASSERT_TRUE(def) << c.id;
        EXPECT_EQ(def->toolTip, c.toolTip) << c.id;
        EXPECT_EQ(def->caption, c.caption) << c.id;
        EXPECT_EQ(def->description, c.description) << c.id;
    }
}

TEST(CommandTable, GivesEachCommandItsCategoryAndStyle)
{
    const QMap<QString, QStringList> byCategory = {
        {"Debug", {"DbgDisconnect", "DbgStepIn", "DbgStepOver", "DbgStepOut", "DbgGo", "DbgBreak", "DbgRunTo",
                   "DbgToggle", "DbgBonE", "DbgGoFast", "DbgConnect", "DbgLinewise", "DbgAttach"}},
        {"Bookmarks", {"BmkToggle", "BmkFirst", "BmkPrevious", "BmkNext", "BmkLast", "BmkClearAll"}},
        {"Edit", {"EdUndo", "EdCut", "EdCopy", "EdPaste", "EdFind", "EdFindNext", "EdReplace", "EdDelete",
                  "EdGoto", "EdRedo"}},
        {"View", {"VwStack", "VwImmediate", "VwVars", "VwBPs"}},
        {"File", {"FlPrint", "FlOpen", "FlSave", "FlSaveAll", "FlNew", "FlSaveAs"}},
        {"Blocks", {"BlkCollapse", "BlkExpand", "BlkCollapseAll", "BlkExpandAll"}},
    };
    const QSet<QString> pressStyle = {"DbgStepIn", "DbgStepOver", "DbgStepOut", "DbgGo", "DbgBreak",
                                      "DbgRunTo", "DbgBonE", "DbgGoFast", "DbgLinewise", "BmkToggle",
                                      "FlPrint", "FlOpen", "FlSave", "FlSaveAll", "FlSaveAs"};
    QStringList inTableOrder;
    for (const CommandDesign::CommandDef &def : vantrelCommandDesign().commands) {
        inTableOrder.append(def.id);
        EXPECT_TRUE(byCategory.value(def.category).contains(def.id)) << def.id.toStdString();
        const int style = def.id == "EdGoto" ? Command::GotoBoxStyle
                          : pressStyle.contains(def.id) ? Command::PressStyle
                                                        : Command::PlainStyle;
        EXPECT_EQ(def.style, style) << def.id.toStdString();
    }
    QStringList listed;
    for (const QStringList &ids : byCategory)
        listed += ids;
    listed.sort();
    inTableOrder.sort();
    EXPECT_EQ(listed, inTableOrder);
}

TEST(CommandTable, BarsCarryEveryCommandButSaveAsOnceInTheirOrder)
{
    const CommandDesign &design = vantrelCommandDesign();
    ASSERT_EQ(design.bars.size(), int(std::size(bars)));
    QStringList onBars;
    for (int i = 0; i < design.bars.size(); ++i) {
        const CommandDesign::BarDef &def = design.bars.at(i);
        EXPECT_EQ(def.name, QString::fromLatin1(bars[i].name));
        EXPECT_EQ(def.caption, QString::fromLatin1(bars[i].caption));
        const QList<CommandDesign::BarItem> items = CommandDesign::parseButtons(def.buttons);
        QStringList ids;
        for (const CommandDesign::BarItem &item : items) {
            ids.append(item.isSeparator() ? QStringLiteral("|") : item.id);
            if (!item.isSeparator())
                onBars.append(item.id);
            EXPECT_EQ(item.width, item.id == "EdGoto" ? 100 : 0) << item.id.toStdString();
        }
        EXPECT_EQ(ids.join(QLatin1Char(' ')), QString::fromLatin1(bars[i].items));
    }
    EXPECT_EQ(design.bars.first().buttons,
              "key=FlNew!dm=0,key=FlOpen!dm=0,key=FlSave!dm=0,key=FlSaveAll!dm=0,-1,key=FlPrint!dm=0");

    // Save As is only in the menu.
    QStringList all;
    for (const CommandDesign::CommandDef &def : design.commands) {
        if (def.id != "FlSaveAs")
            all.append(def.id);
    }
    onBars.sort();
    all.sort();
    EXPECT_EQ(onBars, all);
}

TEST(CommandTable, LoadsIntoBarsActionsAndCategories)
{
    CommandManager manager;
    manager.load(vantrelCommandDesign());

    const QList<QToolBar *> toolBars = manager.toolBars();
    ASSERT_EQ(toolBars.size(), int(std::size(bars)));
    for (int i = 0; i < toolBars.size(); ++i) {
        EXPECT_EQ(toolBars.at(i)->objectName(), QString::fromLatin1(bars[i].name));
        EXPECT_EQ(toolBars.at(i)->windowTitle(), QString::fromLatin1(bars[i].caption));
        EXPECT_EQ(renderBar(toolBars.at(i)), QString::fromLatin1(bars[i].items));
        EXPECT_EQ(toolBars.at(i)->parent(), nullptr);
    }

    ASSERT_EQ(manager.commands().size(), 43);
    for (Command *cmd : manager.commands()) {
        const std::string id = cmd->id().toStdString();
        const CommandDesign::CommandDef *def = findDef(cmd->id());
        ASSERT_TRUE(def) << id;
        ASSERT_TRUE(cmd->category()) << id;
        EXPECT_EQ(cmd->category()->name(), def->category) << id;
        EXPECT_EQ(cmd->icon().isNull(), def->image.isEmpty()) << id;
        EXPECT_EQ(cmd->uiObjects().size(), cmd->id() == "FlSaveAs" ? 0 : 1) << id;
        QAction *action = cmd->action();
        EXPECT_EQ(action->text(), def->caption) << id;
        EXPECT_EQ(action->toolTip(), def->toolTip) << id;
        EXPECT_EQ(action->statusTip(), def->description) << id;
        EXPECT_EQ(action->isCheckable(), def->style == Command::PressStyle) << id;
    }
    EXPECT_EQ(manager.categoryByName("Bookmarks"), manager.command("BmkNext")->category());
    EXPECT_EQ(manager.categories().size(), 6);
}

namespace {

// How much of a picture is drawn: the sum of its pixels' opacity.
qint64 coverage(const QImage &image)
{
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qAlpha(image.pixel(x, y));
    return sum;
}

bool hasColour(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 0 && (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)))
                return true;
        }
    return false;
}

} // namespace

// Every command with an image shows a real picture: a theme icon found under its
// standard name or one of our own, each different from the others, and a disabled
// state that is plainly fainter and grey. Save As and the go-to box have none.
TEST(CommandIcons, EveryCommandShowsARealPictureWithADistinctDisabledState)
{
    CommandManager manager;
    manager.load(vantrelCommandDesign());
    QMap<QString, QString> seen;   // picture bytes -> command
    for (Command *cmd : manager.commands()) {
        const std::string id = cmd->id().toStdString();
        const CommandDesign::CommandDef *def = findDef(cmd->id());
        ASSERT_TRUE(def) << id;
        if (cmd->id() == "FlSaveAs" || cmd->id() == "EdGoto") {
            EXPECT_TRUE(def->image.isEmpty()) << id;
            EXPECT_TRUE(cmd->icon().isNull()) << id;
            continue;
        }
        const QString source = CommandIcons::source(def->image);
        ASSERT_FALSE(source.isEmpty()) << id;
        if (source.startsWith(":/"))
            EXPECT_TRUE(QFile::exists(source)) << id << " " << source.toStdString();
        else
            EXPECT_TRUE(QIcon::hasThemeIcon(source)) << id << " " << source.toStdString() << " in theme "
                                                     << QIcon::themeName().toStdString();

        const QIcon icon = cmd->icon();
        ASSERT_FALSE(icon.isNull()) << id;
        const QImage normal = icon.pixmap(22).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage disabled = icon.pixmap(22, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(normal.isNull()) << id;
        EXPECT_GT(coverage(normal), 20 * 255) << id;
        EXPECT_LE(coverage(disabled) * 2, coverage(normal)) << id;
        EXPECT_FALSE(hasColour(disabled)) << id;

        const QByteArray bytes(reinterpret_cast<const char *>(normal.constBits()), normal.sizeInBytes());
        const QString key = QString::fromLatin1(bytes.toBase64());
        EXPECT_FALSE(seen.contains(key)) << id << " looks like " << seen.value(key).toStdString();
        seen.insert(key, cmd->id());
    }
}
