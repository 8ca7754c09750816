#pragma once

#include "commanddesign.h"

// The main window's commands: 43 commands in six categories (Debug, Blocks, View,
// Edit, Bookmarks, File) and the six tool bars tlbFile, tlbDebug, tlbBlocks,
// tlbView, tlbEdit and tlbBookmarks. Texts are the program's own and are shown
// exactly as stored here.
const CommandDesign &vantrelCommandDesign();
