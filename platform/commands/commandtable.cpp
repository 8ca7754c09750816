#include "commandtable.h"

#include "command.h"

namespace {

CommandDesign::CommandDef def(const char *id, const char *category, const char *toolTip,
                              const char *caption, const char *description, int style)
{
    CommandDesign::CommandDef d;
    d.id = QString::fromLatin1(id);
    d.category = QString::fromLatin1(category);
    d.toolTip = QString::fromLatin1(toolTip);
    d.caption = QString::fromLatin1(caption);
    d.description = QString::fromLatin1(description);
    d.style = style;
    d.image = d.id;
    return d;
}

CommandDesign buildDesign()
{
    constexpr int Plain = Command::PlainStyle;
    constexpr int Press = Command::PressStyle;

    CommandDesign design;
    for (const char *name : {"Debug", "Blocks", "View", "Edit", "Bookmarks", "File"})
        design.categories.append({QString::fromLatin1(name), QString::fromLatin1(name), true});

    design.commands = {
        def("DbgDisconnect", "Debug", "Disconnect", "Disconnect", "Disconnect from active debug session", Plain),
        def("DbgStepIn", "Debug", "Step In (F8)", "Step In", "Step into next command", Press),
        def("DbgStepOver", "Debug", "Step Over (Shift+F8)", "Step Over", "Step over next command", Press),
        def("DbgStepOut", "Debug", "Step Out (Ctrl+Shift+F8)", "Step Out", "Step out from current stack level", Press),
        def("DbgGo", "Debug", "Go (F5)", "Go", "Resume non-step execution", Press),
        def("DbgBreak", "Debug", "Break", "Break",
            "Suspend execution at next opportunity to allow stepping and other interaction", Press),
        def("DbgRunTo", "Debug", "Run Fast to Cursor Line (Ctrl+F8)", "Run to Cursor",
            "Run until execution reaches the line containing the cursor, or until a breakpoint is "
            "encountered. Interruption using the Break button or menu command is not possible.", Press),
        def("DbgToggle", "Debug", "Toggle Breakpoint on Current Line", "Toggle Breakpoint",
            "Toggle Breakpoint on Current Line", Plain),
        def("DbgBonE", "Debug", "Break on Error (Shift+F7)", "Break on Error",
            "Cause a break when a program error occurs", Press),
        def("DbgGoFast", "Debug", "Fast Forward (Shift+F5)", "Fast Forward",
            "Resume fast non-step execution.  Interruption using the Break button or menu command "
            "is not possible.", Press),
        def("DbgConnect", "Debug", "Connect using Rovivi Ziveza", "Connect", "Connect to a waiting debug session", Plain),
        def("DbgLinewise", "Debug", "Linewise Stepping (F7)", "Linewise Stepping",
            "Cause Step In and Step Over to operate per-line rather than per-command", Press),
        def("DbgAttach", "Debug", "Attach to running Cach\xE9 or Ensemble process", "Attach",
            "Attach to a running process and debug it", Plain),
        def("BmkToggle", "Bookmarks", "Toggle Bookmark", "Toggle", "Toggle bookmark on current line", Press),
        def("BmkFirst", "Bookmarks", "First Bookmark", "First", "Move to first bookmark", Plain),
        def("BmkPrevious", "Bookmarks", "Previous Bookmark", "Previous", "Move to previous bookmark", Plain),
        def("BmkNext", "Bookmarks", "Next Bookmark", "Next", "Move to next bookmark", Plain),
        def("BmkLast", "Bookmarks", "Last Bookmark", "Last", "Move to last bookmark", Plain),
        def("BmkClearAll", "Bookmarks", "Clear All Bookmarks", "Clear All", "Clear all bookmarks", Plain),
        def("EdUndo", "Edit", "Undo", "", "", Plain),
        def("EdCut", "Edit", "Cut", "Cut", "", Plain),
        def("EdCopy", "Edit", "Copy", "Copy", "", Plain),
        def("EdPaste", "Edit", "Paste", "Paste", "", Plain),
        def("EdFind", "Edit", "Find", "Find", "", Plain),
        def("EdFindNext", "Edit", "Find Next", "Find Next", "", Plain),
        def("EdReplace", "Edit", "Replace", "Replace", "", Plain),
        def("EdDelete", "Edit", "Delete", "Delete", "", Plain),
        def("EdGoto", "Edit", "Go to Line (Ctrl+G)", "Goto Line", "Goto to a line label", Command::GotoBoxStyle),
        def("EdRedo", "Edit", "Redo", "", "", Plain),
        def("VwStack", "View", "Stack Window", "Stack", "Stack window", Plain),
        def("VwImmediate", "View", "Immediate Window", "Immediate", "Immediate window", Plain),
        def("VwVars", "View", "Variables Window", "Variables", "Variables window", Plain),
        def("VwBPs", "View", "Breakpoints Window", "Breakpoints", "Breakpoints window", Plain),
        def("FlPrint", "File", "Print", "Print", "Print contents or selection of current document window", Press),
        def("FlOpen", "File", "Open", "Open", "Open a routine", Press),
        def("FlSave", "File", "Save", "Save", "Save a routine", Press),
        def("FlSaveAll", "File", "Save All", "Save All", "Save all modified routines", Press),
        def("FlNew", "File", "New", "New", "Create a new routine", Plain),
        def("FlSaveAs", "File", "Save As", "Save As...", "Save current routine under a different name", Press),
        def("BlkCollapse", "Blocks", "Collapse Block on Current Line (Ctrl+'-') ", "Collapse", "", Plain),
        def("BlkExpand", "Blocks", "Expand Block on Current Line (Ctrl+'+')", "Expand", "", Plain),
        def("BlkCollapseAll", "Blocks", "Collapse All Blocks", "Collapse All", "", Plain),
        def("BlkExpandAll", "Blocks", "Expand All Blocks", "Expand All", "", Plain),
    };
    for (CommandDesign::CommandDef &d : design.commands) {
        if (d.id == QLatin1String("FlSaveAs") || d.id == QLatin1String("EdGoto"))
            d.image.clear();
        // The undo button's arrow opens the undo list.
        d.dropDown = d.id == QLatin1String("EdUndo");
    }

    design.bars = {
        {QStringLiteral("tlbFile"), QStringLiteral("File"),
         QStringLiteral("key=FlNew!dm=0,key=FlOpen!dm=0,key=FlSave!dm=0,key=FlSaveAll!dm=0,-1,key=FlPrint!dm=0")},
        {QStringLiteral("tlbDebug"), QStringLiteral("Debug"),
         QStringLiteral("key=DbgConnect!dm=0,key=DbgAttach!dm=0,key=DbgDisconnect!dm=0,-1,"
                        "key=DbgGoFast!dm=0,key=DbgGo!dm=0,key=DbgBreak!dm=0,key=DbgStepIn!dm=0,"
                        "key=DbgStepOver!dm=0,key=DbgStepOut!dm=0,key=DbgRunTo!dm=0,-1,"
                        "key=DbgToggle!dm=0,-1,key=DbgLinewise!dm=0,key=DbgBonE!dm=0")},
        {QStringLiteral("tlbBlocks"), QStringLiteral("Blocks"),
         QStringLiteral("key=BlkCollapse!dm=0,key=BlkExpand!dm=0,key=BlkCollapseAll!dm=0,key=BlkExpandAll!dm=0")},
        {QStringLiteral("tlbView"), QStringLiteral("View"),
         QStringLiteral("key=VwImmediate!dm=0,key=VwStack!dm=0,key=VwVars!dm=0,key=VwBPs!dm=0")},
        {QStringLiteral("tlbEdit"), QStringLiteral("Edit"),
         QStringLiteral("key=EdGoto!dm=0!Width=100,key=EdCut!dm=0,key=EdCopy!dm=0,key=EdPaste!dm=0,"
                        "key=EdDelete!dm=0,-1,key=EdFind!dm=0,key=EdFindNext!dm=0,key=EdReplace!dm=0,-1,"
                        "key=EdUndo!dm=0,key=EdRedo!dm=0")},
        {QStringLiteral("tlbBookmarks"), QStringLiteral("Bookmarks"),
         QStringLiteral("key=BmkToggle!dm=0,-1,key=BmkFirst!dm=0,key=BmkPrevious!dm=0,key=BmkNext!dm=0,"
                        "key=BmkLast!dm=0,-1,key=BmkClearAll!dm=0")},
    };
    return design;
}

} // namespace

const CommandDesign &vantrelCommandDesign()
{
    static const CommandDesign design = buildDesign();
    return design;
}
