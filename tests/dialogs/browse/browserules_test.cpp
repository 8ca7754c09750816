#include "routinerequest.h"
#include "serverbrowsedialog.h"

#include <QComboBox>

#include <gtest/gtest.h>

TEST(RoutineRequest, EachRequestHasItsOwnFieldOrder)
{
    EXPECT_EQ(RoutineRequest::existence(2, "USER", "ABC"), QStringList({"SIE", "2", "USER", "ABC"}));
    EXPECT_EQ(RoutineRequest::lock(1, "ABC", "USER"), QStringList({"SIN", "1", "ABC", "USER"}));
    EXPECT_EQ(RoutineRequest::release(3, "ABC", "USER"), QStringList({"SIU", "3", "ABC", "USER"}));
    // By code, with or without the transaction's "!": the same orders.
    EXPECT_EQ(RoutineRequest::build("!SIE", 2, "ABC", "USER"), QStringList({"SIE", "2", "USER", "ABC"}));
    EXPECT_EQ(RoutineRequest::build("SIN", 1, "ABC", "USER"), QStringList({"SIN", "1", "ABC", "USER"}));
    EXPECT_EQ(RoutineRequest::build("SIU", 1, "ABC", "USER"), QStringList({"SIU", "1", "ABC", "USER"}));
}

TEST(BrowseRules, PatternsAreTextsWithWildcardsOrNothing)
{
    const struct { const char *text; bool pattern; } cases[] = {
        {"", true}, {"*", true}, {"A*", true}, {"A?", true}, {"A;B", true}, {"AB", false}, {"abc.mac", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ServerBrowseDialog::isPattern(c.text), c.pattern) << c.text;
}

TEST(BrowseRules, SplitItemTypeTakesTheEndingOnlyOnCache)
{
    const struct { const char *brand, *name; int type; const char *outName; int outType; } cases[] = {
        {"CACHE", "abc.MAC", 1, "abc", 2},   {"CACHE", "abc.int", 2, "abc", 1}, {"CACHE", "X.Inc", 1, "X", 3},
        {"CACHE", "abc.txt", 1, "abc.txt", 1}, {"CACHE", "mac", 3, "mac", 3},  {"CACHE", ".mac", 1, "", 2},
        {"DSM", "abc.mac", 1, "abc.mac", 1},
    };
    for (const auto &c : cases) {
        int type = c.type;
        QString name = c.name;
        ServerBrowseDialog::SplitItemType(c.brand, type, name);
        EXPECT_EQ(name, QString(c.outName)) << c.brand << " " << c.name;
        EXPECT_EQ(type, c.outType) << c.brand << " " << c.name;
    }
}

TEST(BrowseRules, ListFieldsSplitAtTheirFirstCharacter)
{
    EXPECT_EQ(ServerBrowseDialog::splitList(",A,B"), QStringList({"A", "B"}));
    EXPECT_EQ(ServerBrowseDialog::splitList("|63000,1|5"), QStringList({"63000,1", "5"}));
    EXPECT_EQ(ServerBrowseDialog::splitList(","), QStringList({""}));
    EXPECT_TRUE(ServerBrowseDialog::splitList("").isEmpty());
}

TEST(BrowseRules, FlagCharactersGiveTypeGhostStatusAndIcon)
{
    const struct { int c; const char *brand; int type; bool ghosted; const char *status, *icon; } cases[] = {
        {1, "CACHE", 1, false, "", "CACHE1.0"},
        {17, "CACHE", 1, true, "", "CACHE1.0"},
        {34, "CACHE", 2, false, "Unregistered", "CACHE2.1"},
        {67, "CACHE", 3, false, "Registered", "CACHE3.2"},
        {99, "CACHE", 3, false, "Checked out", "CACHE3.3"},
        {65, "DSM", 1, false, "Registered", "Default.2"},
        // A type outside 1..3 is taken as the type that was listed (here 2).
        {0x45, "CACHE", 2, false, "Registered", "CACHE2.2"},
        {0x40, "DSM", 2, false, "Registered", "Default.2"},
    };
    for (const auto &c : cases) {
        const auto f = ServerBrowseDialog::decodeFlag(QChar(c.c), c.brand, 2);
        EXPECT_EQ(f.type, c.type) << c.c;
        EXPECT_EQ(f.ghosted, c.ghosted) << c.c;
        EXPECT_EQ(f.status, QString(c.status)) << c.c;
        EXPECT_EQ(f.iconKey, QString(c.icon)) << c.c;
    }
    // A missing flag character: the listed type, no status, not ghosted.
    const auto missing = ServerBrowseDialog::decodeFlag(QChar(), "CACHE", 3);
    EXPECT_EQ(missing.type, 3);
    EXPECT_FALSE(missing.ghosted);
    EXPECT_EQ(missing.status, QString());
    EXPECT_EQ(missing.iconKey, QString("CACHE3.0"));
    // Nothing listed and nothing flagged: no icon of its own.
    EXPECT_EQ(ServerBrowseDialog::decodeFlag(QChar(), "CACHE", 0).iconKey, QString("Default.0"));
}

TEST(BrowseRules, HorologDetailsBecomeDatesOrNothing)
{
    EXPECT_EQ(ServerBrowseDialog::horologDate("63000,3600"), QDateTime(QDate(2013, 6, 27), QTime(1, 0)));
    EXPECT_EQ(ServerBrowseDialog::horologDate("0,0"), QDateTime(QDate(1840, 12, 31), QTime(0, 0)));
    for (const char *bad : {"63000", "", "a,b", "63000,", ",5"})
        EXPECT_FALSE(ServerBrowseDialog::horologDate(bad).isValid()) << bad;
}

TEST(BrowseRules, PatternHistoryKeepsEightNewestFirst)
{
    ServerBrowseDialog dialog;
    for (int i = 1; i <= 9; ++i)
        dialog.filePattern(QString("P%1*").arg(i));
    EXPECT_EQ(dialog.patternHistory(),
              QStringList({"P9*", "P8*", "P7*", "P6*", "P5*", "P4*", "P3*", "P2*"}));
    // A pattern filed again moves to the top; "*" is never filed; the box keeps its text.
    dialog.cboSvrItems()->setEditText("typed");
    dialog.filePattern("P5*");
    dialog.filePattern("*");
    EXPECT_EQ(dialog.patternHistory(),
              QStringList({"P5*", "P9*", "P8*", "P7*", "P6*", "P4*", "P3*", "P2*"}));
    EXPECT_EQ(dialog.cboSvrItems()->itemText(0), QString("*"));
    EXPECT_EQ(dialog.cboSvrItems()->currentText(), QString("typed"));
}
