#pragma once

#include <QIcon>

// Vantrel's own picture, drawn at the sizes title bars, task bars and switchers ask for.
// The main window carries it; its dialogs and child windows take it from there.
QIcon programIcon();
