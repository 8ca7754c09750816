#include "commanddesign.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// "A", "|" for a separator, "A@100" for an item with a width.
QString render(const QList<CommandDesign::BarItem> &items)
{
    QStringList out;
    for (const CommandDesign::BarItem &item : items) {
        if (item.isSeparator())
            out.append(QStringLiteral("|"));
        else if (item.width)
            out.append(item.id + QLatin1Char('@') + QString::number(item.width));
        else
            out.append(item.id);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

TEST(CommandDesign, ParsesBarNotationIntoItemsInOrder)
{
    struct Case { const char *buttons; const char *items; };
    const Case cases[] = {
        {"key=FlNew!dm=0,key=FlOpen!dm=0,key=FlSave!dm=0,key=FlSaveAll!dm=0,-1,key=FlPrint!dm=0",
         "FlNew FlOpen FlSave FlSaveAll | FlPrint"},
        {"key=EdGoto!dm=0!Width=100,key=EdCut!dm=0", "EdGoto@100 EdCut"},
        {"key=EdGoto!width=80!dm=0", "EdGoto@80"},
        {"-1,-1,key=A", "| | A"},
        {" key=A!dm=0 , -1 ,key=B,", "A | B"},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(render(CommandDesign::parseButtons(QString::fromLatin1(c.buttons))), QString::fromLatin1(c.items))
            << c.buttons;
}

TEST(CommandDesign, DropsBadItemsAndKeepsTheRestOfTheBar)
{
    struct Case { const char *buttons; const char *items; };
    const Case cases[] = {
        {"key=,key=A", "A"},                       // no identifier
        {"FlNew,key=A", "A"},                      // no "key="
        {"-2,key=A", "A"},                         // not the separator
        {"key=A!Width=abc", "A"},                  // a width that is no number
        {"key=A!Width=-5,key=B!Width=0", "A B"},   // nor a usable one
        {"key=A!Width", "A"},                      // an option without a value
    };
    for (const Case &c : cases)
        EXPECT_EQ(render(CommandDesign::parseButtons(QString::fromLatin1(c.buttons))), QString::fromLatin1(c.items))
            << c.buttons;
}
