#pragma once

#include <QIcon>
#include <QString>

// The icons of the file dialogs, by key, drawn once in code and cached: the item
// types ("Default.0".."Default.3", "CACHE1.0".."CACHE3.3": type 1 INT, 2 MAC, 3 INC,
// suffix .0 no version control, .1 unregistered, .2 registered, .3 checked out) and
// the tree's nodes ("Server", "Namespace", "Location", "Locations"). An unknown key
// gives the "Default.0" icon. Each icon holds 16- and 32-pixel images.
namespace ItemIcons {
QIcon icon(const QString &key);
bool isKnown(const QString &key);
} // namespace ItemIcons
