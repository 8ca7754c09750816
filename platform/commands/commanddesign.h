#pragma once

#include <QList>
#include <QString>

// The commands, categories and tool bars of a window, as design data: what
// CommandManager::load builds its objects from.
//
// A bar's buttons are one text in the manager's notation, items separated by
// commas: "key=<identifier>" followed by options "!name=value", or "-1" for a
// separator. The option "Width" sets the width of a go-to box; "dm" is accepted
// and has no effect.
//
//   "key=FlNew!dm=0,key=FlOpen!dm=0,-1,key=FlPrint!dm=0"
struct CommandDesign
{
    struct CategoryDef
    {
        QString name;
        QString caption;
        bool visible = true;
    };

    struct CommandDef
    {
        QString id;            // unique, matched case-sensitively
        QString category;      // name of one of the categories
        QString toolTip;
        QString caption;
        QString description;   // the longer help line, shown in the status bar
        int style = 0;         // a Command::Style value
        QString image;         // CommandIcons name; "" for no image
        bool dropDown = false; // the tool-bar button has a drop-down part
    };

    struct BarDef
    {
        QString name;          // object name of the tool bar ("tlbFile")
        QString caption;
        QString buttons;       // in the notation above
    };

    struct BarItem
    {
        QString id;            // empty for a separator
        int width = 0;         // 0 when the item gives none
        bool isSeparator() const { return id.isEmpty(); }
    };

    QList<CategoryDef> categories;
    QList<CommandDef> commands;
    QList<BarDef> bars;

    // Items that are neither "-1" nor start with "key=" and a non-empty identifier
    // are dropped, so one bad item does not cost the rest of the bar.
    static QList<BarItem> parseButtons(const QString &buttons);
};
